#include "app/single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace velmora::app {

TSingleInstance::TSingleInstance(const QString& dir) {
    QString folder = dir;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    FPath = QDir(folder).filePath(QStringLiteral("VELMORA.lock"));
    FLock = std::make_unique<QLockFile>(FPath);
    // Age must never make a live instance's lock stale; a crashed owner's lock is still taken
    // over, since QLockFile checks whether the owning process runs.
    FLock->setStaleLockTime(0);
}

bool TSingleInstance::Acquire() {
    return FLock->isLocked() || FLock->tryLock(0);
}

}  // namespace velmora::app

// One instance per user: a second holder of the lock is refused while the first lives.
#include "app/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

#include "support/window_env.h"

namespace velmora::app::test {
namespace {

TEST(SingleInstance, SecondStartIsRefusedUntilTheFirstEnds) {
    QTemporaryDir dir;
    auto first = std::make_unique<TSingleInstance>(dir.path());
    ASSERT_TRUE(first->Acquire());
    EXPECT_TRUE(first->LockPath().endsWith("VELMORA.lock"));
    TSingleInstance second(dir.path());
    EXPECT_FALSE(second.Acquire());
    first.reset();
    EXPECT_TRUE(second.Acquire());
}

// The fallback folder of the lock and the socket is the user's own, or there is none: a folder
// another user could have made, linked or opened must never take the lock or the URL file.
TEST(SingleInstance, FallbackFolderIsPrivateOrRefused) {
    QTemporaryDir tmp;
    const QString own = QDir(tmp.path()).filePath(QStringLiteral("velmora-%1").arg(::getuid()));
    QString why;
    EXPECT_EQ(TSingleInstance::PrivateFolderIn(tmp.path(), &why), own) << why.toStdString();
    EXPECT_EQ(QFileInfo(own).permissions() &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFileDevice::Permissions());

    const struct {
        const char* name;
        std::function<void(const QString&)> plant;
    } hostile[] = {
        {"open to all",
         [](const QString& p) {
             QDir().mkpath(p);
             ::chmod(QFile::encodeName(p), 0777);
         }},
        {"a link", [&](const QString& p) { QFile::link(tmp.path(), p); }},
        {"a file",
         [](const QString& p) {
             QFile f(p);
             (void)f.open(QIODevice::WriteOnly);
         }},
    };
    for (const auto& c : hostile) {
        SCOPED_TRACE(c.name);
        QTemporaryDir other;
        c.plant(QDir(other.path()).filePath(QStringLiteral("velmora-%1").arg(::getuid())));
        why.clear();
        EXPECT_EQ(TSingleInstance::PrivateFolderIn(other.path(), &why), QString());
        EXPECT_FALSE(why.isEmpty());
    }
}

}  // namespace
}  // namespace velmora::app::test

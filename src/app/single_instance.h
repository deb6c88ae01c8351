// The one-instance-per-user rule: a lock file named after "VELMORA" in the user's runtime folder.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace velmora::app {

class TSingleInstance {
  public:
    // dir: where the lock lives; empty means the user's runtime folder.
    explicit TSingleInstance(const QString& dir = QString());
    // True when this process now holds the lock; false when another instance holds it.
    bool Acquire();
    QString LockPath() const { return FPath; }

  private:
    QString FPath;
    std::unique_ptr<QLockFile> FLock;
};

}  // namespace velmora::app

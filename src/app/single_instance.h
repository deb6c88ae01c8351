// The one-instance-per-user rule: a lock file named after "VELMORA" in the user's runtime
// folder, and beside it a local socket through which a second start hands its request to the
// running window.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace velmora::app {

class TSingleInstance : public QObject {
    Q_OBJECT
  public:
    // dir: where the lock and the socket live; empty means the user's runtime folder.
    explicit TSingleInstance(const QString& dir = QString());
    ~TSingleInstance() override;
    // True when this process now holds the lock (and listens on the socket); false when
    // another instance holds it.
    bool Acquire();
    QString LockPath() const { return FPath; }
    QString SocketPath() const { return FSocketPath; }

    // For a second start: asks the running instance to come to the front and, when urlsFile
    // is not empty, to load it. False when no running instance answered.
    bool AskRunningInstance(const QString& urlsFile, int timeoutMs = 3000) const;

  Q_SIGNALS:
    // A second start asked for the window; urlsFile is absolute, or empty.
    void Activated(const QString& urlsFile);

  private:
    void Listen();
    void ReadRequest();

    QString FPath;
    QString FSocketPath;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer* FServer = nullptr;
};

}  // namespace velmora::app

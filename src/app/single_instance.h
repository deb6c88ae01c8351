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
    // dir: where the lock and the socket live; empty means the user's runtime folder, else a
    // private folder of the user's under the temporary folder. Without a safe folder there is
    // no hand-over: Acquire always succeeds and Problem() says why.
    explicit TSingleInstance(const QString& dir = QString());
    ~TSingleInstance() override;
    // True when this process now holds the lock (and listens on the socket); false when
    // another instance holds it.
    bool Acquire();
    QString LockPath() const { return FPath; }
    // Why there is no single-instance hand-over, or empty.
    const QString& Problem() const { return FProblem; }

    // "<tmp>/velmora-<uid>", made with mode 0700 when missing; empty (and why) unless it is a
    // folder, no symbolic link, owned by this user and writable by nobody else: another local
    // user must not be able to take the lock or read what a second start hands over.
    static QString PrivateFolderIn(const QString& tmp, QString* why);
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
    QString FProblem;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer* FServer = nullptr;
};

}  // namespace velmora::app

#include "app/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace velmora::app {
namespace {

// One request per connection: this line, then the URL file's path or nothing, then a newline.
constexpr char kActivateLine[] = "VELMORA-ACTIVATE\n";
constexpr qint64 kMaxRequestBytes = 64 * 1024;

}  // namespace

QString TSingleInstance::PrivateFolderIn(const QString& tmp, QString* why) {
    const QByteArray path = QFile::encodeName(
        QDir(tmp).filePath(QStringLiteral("velmora-%1").arg(static_cast<qulonglong>(::getuid()))));
    ::mkdir(path.constData(), 0700);  // an existing one is judged below
    struct stat st {};
    const char* problem = nullptr;
    if (::lstat(path.constData(), &st) != 0)
        problem = "cannot be made";
    else if (!S_ISDIR(st.st_mode))
        problem = "is no folder of its own (a link or a file)";
    else if (st.st_uid != ::getuid())
        problem = "belongs to another user";
    else if ((st.st_mode & 077) != 0)
        problem = "can be written or read by other users";
    if (!problem) return QFile::decodeName(path);
    if (why) *why = QStringLiteral("%1 %2").arg(QFile::decodeName(path), QLatin1String(problem));
    return {};
}

TSingleInstance::TSingleInstance(const QString& dir) {
    QString folder = dir;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = PrivateFolderIn(QDir::tempPath(), &FProblem);
    if (folder.isEmpty()) return;
    FPath = QDir(folder).filePath(QStringLiteral("VELMORA.lock"));
    FSocketPath = QDir(folder).filePath(QStringLiteral("VELMORA.socket"));
    FLock = std::make_unique<QLockFile>(FPath);
    // Age must never make a live instance's lock stale; a crashed owner's lock is still taken
    // over, since QLockFile checks whether the owning process runs.
    FLock->setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() {
    if (FServer) FServer->close();
}

bool TSingleInstance::Acquire() {
    if (!FLock) return true;  // no safe folder: every start runs on its own
    if (FLock->isLocked()) return true;
    if (!FLock->tryLock(0)) return false;
    Listen();
    return true;
}

void TSingleInstance::Listen() {
    // The lock is ours, so a socket file left there belongs to a crashed owner.
    QLocalServer::removeServer(FSocketPath);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // Without the socket the program still works; a second start then only shows its warning.
    if (!FServer->listen(FSocketPath)) return;
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::ReadRequest);
}

void TSingleInstance::ReadRequest() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxRequestBytes) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine()) return;
            const QByteArray head = socket->peek(kMaxRequestBytes);
            // Both lines are needed; the second ends the request.
            if (head.count('\n') < 2) return;
            const QByteArray first = socket->readLine();
            QString urls = QString::fromUtf8(socket->readLine()).trimmed();
            socket->disconnectFromServer();
            if (first != kActivateLine) return;
            Q_EMIT Activated(urls);
        });
    }
}

bool TSingleInstance::AskRunningInstance(const QString& urlsFile, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(FSocketPath);
    if (!socket.waitForConnected(timeoutMs)) return false;
    // The running instance has its own working folder: send the path whole.
    const QString path = urlsFile.isEmpty() ? QString() : QFileInfo(urlsFile).absoluteFilePath();
    socket.write(kActivateLine);
    socket.write(path.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return true;
}

}  // namespace velmora::app

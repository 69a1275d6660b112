#include "app/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

namespace tavrin::app {
namespace {

constexpr int kWaitMs = 2000;
const QByteArray kRaise = QByteArrayLiteral("raise\n");

}  // namespace

SingleInstance::SingleInstance(QString where, QObject* parent) : QObject(parent), folder(std::move(where)) {
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::RuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return runtime;
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstance::socketPath() const { return QDir(folder).filePath(QString::fromLatin1(kName)); }

SingleInstance::Outcome SingleInstance::acquire() {
    if (folder.isEmpty() || !QDir(folder).exists()) return Outcome::Failed;
    lock = std::make_unique<QLockFile>(socketPath() + QStringLiteral(".lock"));
    // A lock left by a recorder that crashed is taken over (its process is gone).
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        listen();
        return Outcome::First;
    }
    if (lock->error() != QLockFile::LockFailedError) return Outcome::Failed;
    askToRaise(socketPath());
    return Outcome::Second;
}

void SingleInstance::listen() {
    // Holding the lock means any socket file there is left over from a crash.
    QLocalServer::removeServer(socketPath());
    server.setSocketOptions(QLocalServer::UserAccessOption);
    // Without the socket later launches cannot raise this one; the recorder still works.
    static_cast<void>(server.listen(socketPath()));
}

void SingleInstance::accept() {
    while (QLocalSocket* peer = server.nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
            if (peer->readAll().contains(kRaise)) emit raiseRequested();
        });
    }
}

void SingleInstance::askToRaise(const QString& path) {
    // The running recorder may still be starting or already closing; then
    // there is nobody to ask, and this launch goes quietly all the same.
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kWaitMs)) return;
    socket.write(kRaise);
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWaitMs);
}

void BringToFront(QWidget& window) {
    if (window.isMinimized()) window.showNormal();
    QWidget* target = QApplication::activeModalWidget();
    if (!target) target = &window;
    target->raise();
    target->activateWindow();
}

}  // namespace tavrin::app

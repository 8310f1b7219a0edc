#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView kActivate = "activate\n";

QString socketPath() {
    return SingleInstance::runtimeFolder() + u"/kivo.socket"_s;
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
    , m_lock(runtimeFolder() + u"/kivo.lock"_s) {
    // A lock whose process is gone is stale at once, however young.
    m_lock.setStaleLockTime(0);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *connection = m_server.nextPendingConnection()) {
            connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
            connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
                if (connection->readAll().contains(kActivate.toByteArray()))
                    Q_EMIT activationRequested();
                connection->disconnectFromServer();
            });
        }
    });
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::runtimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    return QDir::tempPath() + u"/kivo-"_s + QString::number(::getuid());
}

bool SingleInstance::claim() {
    // Only its user may place a lock or a socket there.
    if (!QFileInfo::exists(runtimeFolder()) && QDir().mkpath(runtimeFolder()))
        QFile::setPermissions(runtimeFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!m_lock.tryLock(0)) {
        // Even an instance that does not answer is alive: a second one must not run beside it.
        askRunningInstance();
        return false;
    }
    // The lock is ours: a socket file left behind is a killed instance's.
    QLocalServer::removeServer(socketPath());
    m_server.listen(socketPath());
    return true;
}

bool SingleInstance::askRunningInstance() const {
    // The running instance may have taken the lock a moment ago and not yet listen.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(500)) {
            socket.write(kActivate.toByteArray());
            const bool delivered = socket.waitForBytesWritten(1000);
            socket.waitForDisconnected(1000);
            return delivered;
        }
        QThread::msleep(50);
    }
    return false;
}

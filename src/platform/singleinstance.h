#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

// One Kivo per user at a time: two would overwrite each other's records and resume the same
// partial files. The first process holds a lock file and listens on a local socket, both in the
// user's runtime folder; a later one asks it to come to the front and leaves. A lock or socket
// left by a killed process is taken over.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the one instance; false when another one runs (it has been
    // asked to come to the front).
    bool claim();

    // The per-user folder of the lock and the socket: XDG_RUNTIME_DIR when set, else the
    // temporary folder.
    static QString runtimeFolder();

Q_SIGNALS:
    // A later launch asked this one to come to the front.
    void activationRequested();

private:
    bool askRunningInstance() const;

    QLockFile m_lock;
    QLocalServer m_server;
};

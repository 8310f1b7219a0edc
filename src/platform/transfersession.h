#pragma once

#include "platform/transfererror.h"
#include "platform/transfertask.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class TransferSessionCore;

// The background transfer session: HTTP downloads that run on a thread of their own, wait for a
// server that cannot be reached, continue with Range/If-Range, and outlive the process. A journal
// in the session's folder records the live tasks and their partial files; a session created
// later with the same folder (also after a kill) hands them back through allTasks, and the
// running ones continue by themselves.
//
// The tasks' events are signals of the session, delivered on the thread the session lives on, in
// the order they happened: a task's progress comes before its end, and every task ends with
// exactly one taskCompleted; a finished task announces its file with fileDownloaded first.
class TransferSession : public QObject {
    Q_OBJECT

public:
    struct Configuration {
        QString identifier;
        // The journal and the partial files.
        QString folder;
        // A transfer that cannot connect retries after this delay, doubling up to the maximum.
        std::chrono::milliseconds initialRetryDelay{1000};
        std::chrono::milliseconds maximumRetryDelay{30'000};
        // The longest a task may take, waiting included.
        std::chrono::milliseconds resourceTimeout{std::chrono::seconds(86'400)};
        // The longest a transfer may receive nothing before it fails with resume data.
        std::chrono::milliseconds requestTimeout{std::chrono::seconds(600)};
        // The bytes written are recorded at least this often, which bounds what a kill makes
        // the next launch fetch again.
        qint64 recordInterval = 512 * 1024;
        // ... and flushed to disk at least this often, which bounds what a power loss costs.
        std::chrono::milliseconds flushInterval{2000};

        // The session's defaults, in the application's own folder.
        static Configuration background(const QString &identifier);
    };

    explicit TransferSession(const Configuration &configuration, QObject *parent = nullptr);
    // Stops the transfers without ending them: they stay in the journal for the next session.
    ~TransferSession() override;

    const Configuration &configuration() const { return m_configuration; }

    // A new task, suspended until resumed.
    TransferTaskPtr downloadTask(const QUrl &url);
    // A task that continues from resume data; none when the bytes are not resume data.
    TransferTaskPtr downloadTask(const QByteArray &resumeData);
    // The running and suspended tasks, delivered on the session's thread.
    void allTasks(std::function<void(QList<TransferTaskPtr>)> handler);
    // Resume data that will never be used again: its partial file is removed.
    void discardResumeData(const QByteArray &resumeData);
    // Once at start-up, after the journal was read: removes the files of the session's folder
    // that no live task and no given partial-file name (of resume data still kept) refers to.
    void removeUnreferencedFiles(const QSet<QString> &partialFileNames);

Q_SIGNALS:
    void dataWritten(const TransferTaskPtr &task, qint64 totalBytesWritten, qint64 totalBytesExpected);
    void waitingForConnectivity(const TransferTaskPtr &task);
    // The finished file at location now belongs to the receivers: move it away. One that nobody
    // takes is removed when the next session starts.
    void fileDownloaded(const TransferTaskPtr &task, const QString &location);
    // No error: the task finished and its file was handed over by fileDownloaded.
    void taskCompleted(const TransferTaskPtr &task, const std::optional<TransferError> &error);
    // Everything that happened to the tasks restored at start-up has been delivered.
    void backgroundEventsFinished();

private:
    Configuration m_configuration;
    std::shared_ptr<TransferSessionLink> m_link;
    QThread m_thread;
    TransferSessionCore *m_core = nullptr;
};

#pragma once

#include "platform/transfererror.h"
#include "platform/transfertask.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class TransferSessionCore;

// Receives the events of a TransferSession's tasks, on the session's own thread, one at a time.
class TransferSessionDelegate {
public:
    virtual ~TransferSessionDelegate() = default;

    virtual void didWriteData(const TransferTaskPtr &task, qint64 bytesWritten, qint64 totalBytesWritten,
                              qint64 totalBytesExpected) = 0;
    virtual void taskIsWaitingForConnectivity(const TransferTaskPtr &task) = 0;
    // No error: the task finished and its file was handed over by didFinishDownloading.
    virtual void didCompleteWithError(const TransferTaskPtr &task,
                                      const std::optional<TransferError> &error) = 0;
    // The file at location is deleted when this returns: move it before returning.
    virtual void didFinishDownloading(const TransferTaskPtr &task, const QString &location) = 0;
    // Everything that happened to the tasks restored at start-up has been delivered.
    virtual void didFinishEventsForBackgroundSession() = 0;
};

// The background transfer session: HTTP downloads that run on a thread of their own, wait for a
// server that cannot be reached, continue with Range/If-Range, and outlive the process. A journal
// in the session's folder records the live tasks and their partial files; a session created
// later with the same folder (also after a kill) hands them back through allTasks, and the
// running ones continue by themselves.
class TransferSession {
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

    TransferSession(const Configuration &configuration, TransferSessionDelegate *delegate);
    // Stops the transfers without ending them: they stay in the journal for the next session.
    ~TransferSession();
    TransferSession(const TransferSession &) = delete;
    TransferSession &operator=(const TransferSession &) = delete;

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

private:
    Configuration m_configuration;
    std::shared_ptr<TransferSessionLink> m_link;
    QThread m_thread;
    TransferSessionCore *m_core = nullptr;
};

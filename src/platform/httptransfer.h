#pragma once

#include "platform/transfererror.h"
#include "platform/transferjournal.h"
#include "platform/transfertask.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// One download on the transfer session's thread: the HTTP requests, the partial file, retries
// while the server cannot be reached, continuation with Range/If-Range, and the decision when
// the bytes received so far are worth keeping.
class HttpTransfer : public QObject {
    Q_OBJECT

public:
    struct Settings {
        std::chrono::milliseconds initialRetryDelay;
        std::chrono::milliseconds maximumRetryDelay;
        std::chrono::milliseconds resourceTimeout;
        std::chrono::milliseconds requestTimeout;
        qint64 recordInterval;
        std::chrono::milliseconds flushInterval;
    };

    // Where a transfer picks up: the bytes already in its partial file and the version of the
    // remote file they belong to.
    struct Start {
        qint64 bytesReceived = 0;
        qint64 bytesDurable = 0;
        qint64 bytesExpected = -1;
        QByteArray etag;
        QByteArray lastModified;
    };

    HttpTransfer(TransferTaskPtr task, QNetworkAccessManager *network, const Settings &settings,
                 const QString &partialFilePath, const Start &start, QObject *parent = nullptr);
    ~HttpTransfer() override;

    const TransferTaskPtr &task() const { return m_task; }
    QString partialFilePath() const { return m_partialFilePath; }
    TransferJournal::Entry journalEntry() const;

    void resume();
    // Ends the transfer and removes its partial file; reports failed(Cancelled).
    void cancel();
    // Ends the transfer; keeps the partial file when resume data is produced.
    std::optional<QByteArray> stopProducingResumeData();
    // The process is going away: stop the network work, put the partial file on disk, and keep
    // the task as it is for the next launch.
    void stopForShutdown();

Q_SIGNALS:
    void progressed(qint64 bytesWritten, qint64 totalBytesWritten, qint64 totalBytesExpected);
    void waitingForConnectivity();
    // Emitted with the file to flush to disk before the new counts are recorded, or none.
    void journalChanged(TransferJournal::Durability durability,
                        const std::shared_ptr<TransferJournal::FileSync> &syncFirst);
    // The whole file lies at partialFilePath(), closed.
    void finished();
    void failed(const TransferError &error);

private:
    bool openPartialFile();
    void startAttempt();
    void abortReply();
    void discardReply(QNetworkReply *reply);
    bool acceptResponseHeaders();
    void onReadyRead();
    void onFinished();
    void retryAfterFailure(const QString &reason);
    void restartFromZero();
    void truncatePartialFile();
    void reportProgress(bool force);
    void fail(TransferError::Code code, const QString &description, bool keepResumeData);
    void complete();
    void endTransfer();
    void removePartialFile();
    bool hasValidator() const { return !m_etag.isEmpty() || !m_lastModified.isEmpty(); }
    std::optional<QByteArray> makeResumeData();
    void publishCounts();
    void recordProgress();
    void recordState();

    TransferTaskPtr m_task;
    QNetworkAccessManager *m_network;
    Settings m_settings;

    QString m_partialFilePath;
    QFile m_file;
    QString m_openError;
    std::shared_ptr<TransferJournal::FileSync> m_sync;
    qint64 m_offset = 0;         // bytes in the partial file
    qint64 m_expected = -1;      // size of the whole file, -1 while unknown
    qint64 m_recordedOffset = 0; // bytes the journal claims as written
    qint64 m_durableOffset = 0;  // bytes the journal claims as on disk
    qint64 m_reportedOffset = 0; // bytes the last progress report named
    QByteArray m_etag;
    QByteArray m_lastModified;

    QNetworkReply *m_reply = nullptr;
    bool m_inReplySignal = false;
    bool m_headersAccepted = false;
    bool m_rangeAlreadyComplete = false;
    qint64 m_attemptBytes = 0;
    int m_restartsFromZero = 0;

    QTimer m_retryTimer;
    QTimer m_idleTimer;
    QElapsedTimer m_sinceData;
    std::chrono::milliseconds m_retryDelay;
    bool m_waiting = false;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceReport;
    QElapsedTimer m_sinceFlush;
    QByteArray m_chunk;
};

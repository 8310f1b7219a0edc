#pragma once

#include "platform/transfersession.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <chrono>
#include <optional>

// A TransferSession delegate for tests: records every event (they arrive on the session's
// thread) and takes each finished file to a place of its own, as a real delegate must.
class SessionRecorder : public TransferSessionDelegate {
public:
    explicit SessionRecorder(const QString &finishedFolder);

    // A session "test" in `folder` with short waits, so that retries and time-outs happen within
    // a test's patience.
    static TransferSession::Configuration
    quickConfiguration(const QString &folder,
                       std::chrono::milliseconds requestTimeout = std::chrono::seconds(10));

    struct Completion {
        QUrl url;
        std::optional<TransferError> error;
    };

    int waitingCount() const { return m_waiting.load(); }
    qint64 lastWritten() const { return m_lastWritten.load(); }
    bool eventsDelivered() const { return m_eventsDelivered.load(); }
    QList<Completion> completions() const;
    // The finished files in order, moved out of the session's hands.
    QStringList finishedFiles() const;
    int finishedCount() const { return int(finishedFiles().size()); }
    QString finishedFile(int index = 0) const { return finishedFiles().value(index); }

private:
    void didWriteData(const TransferTaskPtr &task, qint64 bytesWritten, qint64 totalBytesWritten,
                      qint64 totalBytesExpected) override;
    void taskIsWaitingForConnectivity(const TransferTaskPtr &task) override;
    void didCompleteWithError(const TransferTaskPtr &task,
                              const std::optional<TransferError> &error) override;
    void didFinishDownloading(const TransferTaskPtr &task, const QString &location) override;
    void didFinishEventsForBackgroundSession() override;

    QString m_finishedFolder;
    std::atomic<int> m_waiting = 0;
    std::atomic<qint64> m_lastWritten = 0;
    std::atomic<bool> m_eventsDelivered = false;
    mutable QMutex m_mutex;
    QList<Completion> m_completions;
    QStringList m_finished;
};

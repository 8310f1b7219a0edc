#pragma once

#include "platform/transfersession.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <optional>

// A TransferSession delegate for tests: records every event (they arrive on the session's
// thread) and takes each finished file to a place of its own, as a real delegate must.
class SessionRecorder : public TransferSessionDelegate {
public:
    explicit SessionRecorder(const QString &finishedFolder);

    struct Completion {
        QUrl url;
        std::optional<TransferError> error;
    };

    int waitingCount() const;
    int progressCount() const;
    qint64 lastWritten() const;
    qint64 lastExpected() const;
    QList<Completion> completions() const;
    // The finished file of the n-th finished task, moved out of the session's hands.
    QString finishedFile(int index = 0) const;
    int finishedCount() const;
    bool eventsDelivered() const;

private:
    void didWriteData(const TransferTaskPtr &task, qint64 bytesWritten, qint64 totalBytesWritten,
                      qint64 totalBytesExpected) override;
    void taskIsWaitingForConnectivity(const TransferTaskPtr &task) override;
    void didCompleteWithError(const TransferTaskPtr &task,
                              const std::optional<TransferError> &error) override;
    void didFinishDownloading(const TransferTaskPtr &task, const QString &location) override;
    void didFinishEventsForBackgroundSession() override;

    QString m_finishedFolder;
    mutable QMutex m_mutex;
    int m_waiting = 0;
    int m_progress = 0;
    qint64 m_lastWritten = 0;
    qint64 m_lastExpected = 0;
    QList<Completion> m_completions;
    QList<QString> m_finished;
    bool m_eventsDelivered = false;
};

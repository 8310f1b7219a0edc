#pragma once

#include "platform/transfersession.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// Records every event of a TransferSession and takes each finished file to a place of its own,
// as the engine does.
class SessionRecorder : public QObject {
    Q_OBJECT

public:
    SessionRecorder(TransferSession *session, const QString &finishedFolder);

    // A session "test" in `folder` with short waits, so that retries and time-outs happen within
    // a test's patience.
    static TransferSession::Configuration
    quickConfiguration(const QString &folder,
                       std::chrono::milliseconds requestTimeout = std::chrono::seconds(10));

    struct Completion {
        QUrl url;
        std::optional<TransferError> error;
    };

    int waitingCount() const { return m_waiting; }
    qint64 lastWritten() const { return m_lastWritten; }
    bool eventsDelivered() const { return m_eventsDelivered; }
    const QList<Completion> &completions() const { return m_completions; }
    // The finished files in order, moved out of the session's hands.
    const QStringList &finishedFiles() const { return m_finished; }
    int finishedCount() const { return int(m_finished.size()); }
    QString finishedFile(int index = 0) const { return m_finished.value(index); }
    // One word per event in arrival order: "written", "waiting", "file" and "completed".
    const QStringList &events() const { return m_events; }

private:
    QString m_finishedFolder;
    int m_waiting = 0;
    qint64 m_lastWritten = 0;
    bool m_eventsDelivered = false;
    QList<Completion> m_completions;
    QStringList m_finished;
    QStringList m_events;
};

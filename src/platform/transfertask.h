#pragma once

#include "platform/transfererror.h"

#include <QByteArray>
#include <QMutex>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class TransferSessionCore;

// The path from task handles to the session's thread. The session clears `core` before it goes
// away; a handle that outlives its session then does nothing.
struct TransferSessionLink {
    QMutex mutex;
    TransferSessionCore *core = nullptr;
    std::atomic<quint64> nextTaskIdentifier = 1;
};

// One download task of a TransferSession, as its callers hold it. Every member may be used from
// any thread: the counters are snapshots the session keeps current, and the operations are
// handed to the session's thread.
class TransferTask {
public:
    // Numbered as the platform numbers them; callers act on running and suspended only.
    enum class State { running = 0, suspended = 1, canceling = 2, completed = 3 };

    TransferTask(quint64 identifier, const QUrl &originalURL, std::shared_ptr<TransferSessionLink> link);

    quint64 taskIdentifier() const { return m_identifier; }
    // The URL of the request the task was created with (before any redirect).
    QUrl originalURL() const { return m_originalURL; }
    State state() const { return m_state.load(); }
    qint64 countOfBytesReceived() const { return m_bytesReceived.load(); }
    // -1 while unknown.
    qint64 countOfBytesExpectedToReceive() const { return m_bytesExpected.load(); }

    // A task is created suspended; resume starts or continues it. No effect on a running task.
    void resume();
    // Ends the task and removes its partial data; the completion reports TransferError::Cancelled.
    void cancel();
    // Ends the task keeping its partial data. The handler gets the resume data on the session's
    // thread, or nothing when there is nothing to continue (no bytes yet, or no validator to
    // prove a later continuation belongs to the same file).
    void cancelByProducingResumeData(std::function<void(std::optional<QByteArray>)> handler);

    // Kept current by the session.
    void setState(State state) { m_state.store(state); }
    void setCounts(qint64 received, qint64 expected) {
        m_bytesReceived.store(received);
        m_bytesExpected.store(expected);
    }

private:
    template<typename Function>
    void post(Function &&function);

    const quint64 m_identifier;
    const QUrl m_originalURL;
    const std::shared_ptr<TransferSessionLink> m_link;
    std::atomic<State> m_state = State::suspended;
    std::atomic<qint64> m_bytesReceived = 0;
    std::atomic<qint64> m_bytesExpected = -1;
};

using TransferTaskPtr = std::shared_ptr<TransferTask>;

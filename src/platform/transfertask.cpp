#include "transfertask.h"

#include "platform/transfersessioncore.h"

TransferTask::TransferTask(quint64 identifier, const QUrl &originalURL,
                           std::shared_ptr<TransferSessionLink> link)
    : m_identifier(identifier)
    , m_originalURL(originalURL)
    , m_link(std::move(link)) {
}

template<typename Function>
void TransferTask::post(Function &&function) {
    const QMutexLocker lock(&m_link->mutex);
    if (TransferSessionCore *core = m_link->core) {
        // The core is the context: if it is gone before the job runs, the job is dropped.
        QMetaObject::invokeMethod(
            core, [core, function = std::forward<Function>(function)] { function(*core); },
            Qt::QueuedConnection);
    }
}

void TransferTask::resume() {
    post([id = m_identifier](TransferSessionCore &core) { core.resumeTask(id); });
}

void TransferTask::cancel() {
    post([id = m_identifier](TransferSessionCore &core) { core.cancelTask(id); });
}

void TransferTask::cancelByProducingResumeData(std::function<void(std::optional<QByteArray>)> handler) {
    post([id = m_identifier, handler = std::move(handler)](TransferSessionCore &core) {
        core.cancelTaskProducingResumeData(id, handler);
    });
}

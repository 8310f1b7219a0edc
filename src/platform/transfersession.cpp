#include "transfersession.h"

#include "platform/resumedata.h"
#include "platform/standarddirs.h"
#include "platform/transfersessioncore.h"

using namespace Qt::StringLiterals;

TransferSession::Configuration TransferSession::Configuration::background(const QString &identifier) {
    Configuration configuration;
    configuration.identifier = identifier;
    configuration.folder = StandardDirs::applicationSupport() + u"/TransferSessions/"_s + identifier;
    return configuration;
}

TransferSession::TransferSession(const Configuration &configuration, QObject *parent)
    : QObject(parent)
    , m_configuration(configuration)
    , m_link(std::make_shared<TransferSessionLink>()) {
    m_thread.setObjectName(u"TransferSession "_s + configuration.identifier);
    m_core = new TransferSessionCore(configuration, m_link);
    m_core->moveToThread(&m_thread);
    // Queued explicitly: the events cross from the session's thread to this object's, one queue
    // keeping their order.
    connect(m_core, &TransferSessionCore::dataWritten, this, &TransferSession::dataWritten,
            Qt::QueuedConnection);
    connect(m_core, &TransferSessionCore::waitingForConnectivity, this,
            &TransferSession::waitingForConnectivity, Qt::QueuedConnection);
    connect(m_core, &TransferSessionCore::fileDownloaded, this, &TransferSession::fileDownloaded,
            Qt::QueuedConnection);
    connect(m_core, &TransferSessionCore::taskCompleted, this, &TransferSession::taskCompleted,
            Qt::QueuedConnection);
    connect(m_core, &TransferSessionCore::backgroundEventsFinished, this,
            &TransferSession::backgroundEventsFinished, Qt::QueuedConnection);
    m_link->core = m_core;
    m_thread.start();
    QMetaObject::invokeMethod(m_core, &TransferSessionCore::start, Qt::QueuedConnection);
}

TransferSession::~TransferSession() {
    {
        const QMutexLocker lock(&m_link->mutex);
        m_link->core = nullptr;
    }
    TransferSessionCore *core = m_core;
    QMetaObject::invokeMethod(
        core,
        [core] {
            core->shutdown();
            delete core;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

TransferTaskPtr TransferSession::downloadTask(const QUrl &url) {
    auto task = std::make_shared<TransferTask>(m_link->nextTaskIdentifier++, url, m_link);
    QMetaObject::invokeMethod(
        m_core, [core = m_core, task] { core->addTask(task, std::nullopt); }, Qt::QueuedConnection);
    return task;
}

TransferTaskPtr TransferSession::downloadTask(const QByteArray &resumeData) {
    const std::optional<ResumeData> decoded = ResumeData::decode(resumeData);
    if (!decoded)
        return nullptr;
    auto task = std::make_shared<TransferTask>(m_link->nextTaskIdentifier++, decoded->url, m_link);
    task->setCounts(decoded->bytesReceived, decoded->bytesExpected);
    QMetaObject::invokeMethod(
        m_core, [core = m_core, task, decoded] { core->addTask(task, decoded); }, Qt::QueuedConnection);
    return task;
}

void TransferSession::allTasks(std::function<void(QList<TransferTaskPtr>)> handler) {
    QMetaObject::invokeMethod(
        m_core, [core = m_core, handler = std::move(handler)] { core->allTasks(handler); },
        Qt::QueuedConnection);
}

void TransferSession::discardResumeData(const QByteArray &resumeData) {
    const std::optional<ResumeData> decoded = ResumeData::decode(resumeData);
    if (!decoded)
        return;
    QMetaObject::invokeMethod(
        m_core, [core = m_core, name = decoded->partialFileName] { core->discardPartialFile(name); },
        Qt::QueuedConnection);
}

void TransferSession::removeUnreferencedFiles(const QSet<QString> &partialFileNames) {
    QMetaObject::invokeMethod(
        m_core, [core = m_core, partialFileNames] { core->removeUnreferencedFiles(partialFileNames); },
        Qt::QueuedConnection);
}

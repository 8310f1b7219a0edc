#include "transfersessioncore.h"

#include "platform/console.h"
#include "platform/uuid.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString kFinishedSuffix = u".download"_s;

} // namespace

TransferSessionCore::TransferSessionCore(const TransferSession::Configuration &configuration,
                                         std::shared_ptr<TransferSessionLink> link)
    : m_configuration(configuration)
    , m_link(std::move(link))
    , m_journal(configuration.folder) {
}

TransferSessionCore::~TransferSessionCore() = default;

void TransferSessionCore::start() {
    m_network = new QNetworkAccessManager(this);
    m_network->setAutoDeleteReplies(false);

    // Finished files that were never taken belong to nobody now.
    QDir folder(m_configuration.folder);
    for (const QString &name : folder.entryList({u"*"_s + kFinishedSuffix}, QDir::Files))
        folder.remove(name);

    for (const TransferJournal::Entry &entry : m_journal.load()) {
        auto task = std::make_shared<TransferTask>(m_link->nextTaskIdentifier++, entry.url, m_link);
        HttpTransfer *restored =
            createTransfer(task, entry.partialFileName,
                           HttpTransfer::Start{entry.writtenBytes, entry.durableBytes, entry.expectedBytes,
                                               entry.etag, entry.lastModified});
        if (entry.running)
            restored->resume();
    }
    record();
    // After the events of the restored transfers that are already queued.
    QMetaObject::invokeMethod(this, &TransferSessionCore::backgroundEventsFinished, Qt::QueuedConnection);
}

void TransferSessionCore::shutdown() {
    for (const auto &[identifier, transfer] : m_transfers)
        transfer->stopForShutdown();
    record();
    m_journal.waitForPendingWrites();
    for (const auto &[identifier, transfer] : m_transfers)
        delete transfer;
    m_transfers.clear();
    delete std::exchange(m_network, nullptr);
}

void TransferSessionCore::addTask(const TransferTaskPtr &task, const std::optional<ResumeData> &resumeData) {
    // Two tasks must never write one partial file: a second continuation of the same resume
    // data starts a file of its own.
    const bool partialFileInUse =
        resumeData && std::any_of(m_transfers.begin(), m_transfers.end(), [&](const auto &entry) {
            return QFileInfo(entry.second->partialFilePath()).fileName() == resumeData->partialFileName;
        });
    if (resumeData && !partialFileInUse) {
        createTransfer(task, resumeData->partialFileName,
                       HttpTransfer::Start{resumeData->bytesReceived, resumeData->bytesReceived,
                                           resumeData->bytesExpected, resumeData->etag,
                                           resumeData->lastModified});
    } else {
        createTransfer(task, newUuidString() + u".part"_s, HttpTransfer::Start{});
    }
    record();
}

HttpTransfer *TransferSessionCore::createTransfer(const TransferTaskPtr &task, const QString &partialFileName,
                                                  const HttpTransfer::Start &start) {
    const HttpTransfer::Settings settings{
        m_configuration.initialRetryDelay, m_configuration.maximumRetryDelay, m_configuration.resourceTimeout,
        m_configuration.requestTimeout,    m_configuration.recordInterval,    m_configuration.flushInterval};
    auto *transfer = new HttpTransfer(task, m_network, settings,
                                      m_configuration.folder + u'/' + partialFileName, start, this);
    m_transfers.emplace(task->taskIdentifier(), transfer);

    connect(transfer, &HttpTransfer::progressed, this,
            [this, transfer](qint64, qint64 total, qint64 expected) {
                Q_EMIT dataWritten(transfer->task(), total, expected);
            });
    connect(transfer, &HttpTransfer::waitingForConnectivity, this,
            [this, transfer] { Q_EMIT waitingForConnectivity(transfer->task()); });
    connect(transfer, &HttpTransfer::journalChanged, this, &TransferSessionCore::record);
    connect(transfer, &HttpTransfer::finished, this, [this, transfer] { deliverFinishedFile(transfer); });
    connect(transfer, &HttpTransfer::failed, this, [this, transfer](const TransferError &error) {
        const TransferTaskPtr task = transfer->task();
        removeTransfer(transfer);
        Q_EMIT taskCompleted(task, error);
    });
    return transfer;
}

void TransferSessionCore::deliverFinishedFile(HttpTransfer *transfer) {
    const TransferTaskPtr task = transfer->task();
    const QString location = m_configuration.folder + u'/' + newUuidString() + kFinishedSuffix;
    if (!QFile::rename(transfer->partialFilePath(), location)) {
        QFile::remove(transfer->partialFilePath());
        removeTransfer(transfer);
        Q_EMIT taskCompleted(
            task,
            TransferError{TransferError::CannotWriteToFile, u"The finished file could not be moved."_s, {}});
        return;
    }
    Q_EMIT fileDownloaded(task, location);
    removeTransfer(transfer);
    Q_EMIT taskCompleted(task, std::nullopt);
}

void TransferSessionCore::resumeTask(quint64 identifier) {
    if (HttpTransfer *found = transfer(identifier))
        found->resume();
}

void TransferSessionCore::cancelTask(quint64 identifier) {
    if (HttpTransfer *found = transfer(identifier))
        found->cancel();
}

void TransferSessionCore::cancelTaskProducingResumeData(
    quint64 identifier, const std::function<void(std::optional<QByteArray>)> &handler) {
    HttpTransfer *found = transfer(identifier);
    if (!found) {
        handler(std::nullopt);
        return;
    }
    const TransferTaskPtr task = found->task();
    const std::optional<QByteArray> resumeData = found->stopProducingResumeData();
    removeTransfer(found);
    handler(resumeData);
    Q_EMIT taskCompleted(task, TransferError{TransferError::Cancelled, u"cancelled"_s, resumeData});
}

void TransferSessionCore::allTasks(const std::function<void(QList<TransferTaskPtr>)> &handler) {
    QList<TransferTaskPtr> tasks;
    for (const auto &[identifier, transfer] : m_transfers)
        tasks.append(transfer->task());
    handler(tasks);
}

void TransferSessionCore::removeUnreferencedFiles(const QSet<QString> &referenced) {
    QSet<QString> kept = referenced;
    const QString journal = QFileInfo(m_journal.path()).fileName();
    kept.insert(journal);
    for (const auto &[identifier, transfer] : m_transfers)
        kept.insert(QFileInfo(transfer->partialFilePath()).fileName());
    const QDir folder(m_configuration.folder);
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        // The journal's writer thread may be writing its next version beside it; finished files
        // wait for their receivers.
        if (kept.contains(name) || name.startsWith(u'.' + journal + u'.') || name.endsWith(kFinishedSuffix))
            continue;
        if (QFile::remove(folder.filePath(name)))
            printLine(u"Removed a leftover: "_s + folder.filePath(name));
    }
}

void TransferSessionCore::discardPartialFile(const QString &fileName) {
    for (const auto &[identifier, transfer] : m_transfers) {
        if (QFileInfo(transfer->partialFilePath()).fileName() == fileName)
            return;
    }
    QFile::remove(m_configuration.folder + u'/' + fileName);
}

HttpTransfer *TransferSessionCore::transfer(quint64 identifier) const {
    const auto found = m_transfers.find(identifier);
    return found == m_transfers.end() ? nullptr : found->second;
}

void TransferSessionCore::removeTransfer(HttpTransfer *transfer) {
    m_transfers.erase(transfer->task()->taskIdentifier());
    // Often called from inside the transfer's own signal.
    transfer->deleteLater();
    record();
}

void TransferSessionCore::record(TransferJournal::Durability durability,
                                 const std::shared_ptr<TransferJournal::FileSync> &syncFirst) {
    QList<TransferJournal::Entry> entries;
    for (const auto &[identifier, transfer] : m_transfers)
        entries.append(transfer->journalEntry());
    m_journal.record(std::move(entries), durability, syncFirst);
}

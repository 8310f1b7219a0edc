#pragma once

#include "platform/httptransfer.h"
#include "platform/resumedata.h"
#include "platform/transferjournal.h"
#include "platform/transfersession.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QNetworkAccessManager;

// The part of a TransferSession that lives on the session's thread: the transfers, their
// network access manager and the journal. Task handles and the session reach it only through
// queued calls.
class TransferSessionCore : public QObject {
    Q_OBJECT

public:
    TransferSessionCore(const TransferSession::Configuration &configuration,
                        std::shared_ptr<TransferSessionLink> link);
    ~TransferSessionCore() override;

    // Builds the network access and brings back the journal's tasks; the running ones go on.
    void start();
    // Stops every transfer where it stands and records it for the next session.
    void shutdown();

    void addTask(const TransferTaskPtr &task, const std::optional<ResumeData> &resumeData);
    void resumeTask(quint64 identifier);
    void cancelTask(quint64 identifier);
    void cancelTaskProducingResumeData(quint64 identifier,
                                       const std::function<void(std::optional<QByteArray>)> &handler);
    void allTasks(const std::function<void(QList<TransferTaskPtr>)> &handler);
    void discardPartialFile(const QString &fileName);
    // Removes the files of the folder that neither the journal, a live transfer nor the given
    // names (partial files that resume data still promises) refer to.
    void removeUnreferencedFiles(const QSet<QString> &referenced);

Q_SIGNALS:
    // The session's events, on the session's thread; TransferSession passes them on.
    void dataWritten(const TransferTaskPtr &task, qint64 totalBytesWritten, qint64 totalBytesExpected);
    void waitingForConnectivity(const TransferTaskPtr &task);
    void fileDownloaded(const TransferTaskPtr &task, const QString &location);
    void taskCompleted(const TransferTaskPtr &task, const std::optional<TransferError> &error);
    void backgroundEventsFinished();

private:
    HttpTransfer *createTransfer(const TransferTaskPtr &task, const QString &partialFileName,
                                 const HttpTransfer::Start &start);
    HttpTransfer *transfer(quint64 identifier) const;
    void removeTransfer(HttpTransfer *transfer);
    void deliverFinishedFile(HttpTransfer *transfer);
    void record(TransferJournal::Durability durability = TransferJournal::Durability::survivesPowerLoss,
                const std::shared_ptr<TransferJournal::FileSync> &syncFirst = {});

    TransferSession::Configuration m_configuration;
    std::shared_ptr<TransferSessionLink> m_link;
    QNetworkAccessManager *m_network = nullptr;
    TransferJournal m_journal;
    std::map<quint64, HttpTransfer *> m_transfers; // in order of creation
};

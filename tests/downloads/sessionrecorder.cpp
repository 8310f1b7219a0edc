#include "sessionrecorder.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

SessionRecorder::SessionRecorder(TransferSession *session, const QString &finishedFolder)
    : m_finishedFolder(finishedFolder) {
    QDir().mkpath(finishedFolder);
    connect(session, &TransferSession::dataWritten, this,
            [this](const TransferTaskPtr &, qint64 written, qint64) {
                m_lastWritten = written;
                m_events.append(u"written"_s);
            });
    connect(session, &TransferSession::waitingForConnectivity, this, [this](const TransferTaskPtr &) {
        ++m_waiting;
        m_events.append(u"waiting"_s);
    });
    connect(session, &TransferSession::fileDownloaded, this,
            [this](const TransferTaskPtr &, const QString &location) {
                const QString target =
                    m_finishedFolder + u"/finished-"_s + QString::number(m_finished.size());
                QFile::remove(target);
                if (QFile::rename(location, target))
                    m_finished.append(target);
                m_events.append(u"file"_s);
            });
    connect(session, &TransferSession::taskCompleted, this,
            [this](const TransferTaskPtr &task, const std::optional<TransferError> &error) {
                m_completions.append(Completion{task->originalURL(), error});
                m_events.append(u"completed"_s);
            });
    connect(session, &TransferSession::backgroundEventsFinished, this, [this] { m_eventsDelivered = true; });
}

TransferSession::Configuration SessionRecorder::quickConfiguration(const QString &folder,
                                                                   std::chrono::milliseconds requestTimeout) {
    TransferSession::Configuration configuration;
    configuration.identifier = u"test"_s;
    configuration.folder = folder;
    configuration.initialRetryDelay = std::chrono::milliseconds(50);
    configuration.maximumRetryDelay = std::chrono::milliseconds(200);
    configuration.requestTimeout = requestTimeout;
    configuration.recordInterval = 256 * 1024;
    return configuration;
}

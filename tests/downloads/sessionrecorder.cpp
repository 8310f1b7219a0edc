#include "sessionrecorder.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>

using namespace Qt::StringLiterals;

SessionRecorder::SessionRecorder(const QString &finishedFolder)
    : m_finishedFolder(finishedFolder) {
    QDir().mkpath(finishedFolder);
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

QList<SessionRecorder::Completion> SessionRecorder::completions() const {
    const QMutexLocker lock(&m_mutex);
    return m_completions;
}

QStringList SessionRecorder::finishedFiles() const {
    const QMutexLocker lock(&m_mutex);
    return m_finished;
}

void SessionRecorder::didWriteData(const TransferTaskPtr &, qint64, qint64 totalBytesWritten, qint64) {
    m_lastWritten = totalBytesWritten;
}

void SessionRecorder::taskIsWaitingForConnectivity(const TransferTaskPtr &) {
    ++m_waiting;
}

void SessionRecorder::didCompleteWithError(const TransferTaskPtr &task,
                                           const std::optional<TransferError> &error) {
    const QMutexLocker lock(&m_mutex);
    m_completions.append(Completion{task->originalURL(), error});
}

void SessionRecorder::didFinishDownloading(const TransferTaskPtr &, const QString &location) {
    const QMutexLocker lock(&m_mutex);
    const QString target = m_finishedFolder + u"/finished-"_s + QString::number(m_finished.size());
    QFile::remove(target);
    if (QFile::rename(location, target))
        m_finished.append(target);
}

void SessionRecorder::didFinishEventsForBackgroundSession() {
    m_eventsDelivered = true;
}

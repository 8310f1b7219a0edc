#include "sessionrecorder.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>

using namespace Qt::StringLiterals;

SessionRecorder::SessionRecorder(const QString &finishedFolder)
    : m_finishedFolder(finishedFolder) {
    QDir().mkpath(finishedFolder);
}

int SessionRecorder::waitingCount() const {
    const QMutexLocker lock(&m_mutex);
    return m_waiting;
}

int SessionRecorder::progressCount() const {
    const QMutexLocker lock(&m_mutex);
    return m_progress;
}

qint64 SessionRecorder::lastWritten() const {
    const QMutexLocker lock(&m_mutex);
    return m_lastWritten;
}

qint64 SessionRecorder::lastExpected() const {
    const QMutexLocker lock(&m_mutex);
    return m_lastExpected;
}

QList<SessionRecorder::Completion> SessionRecorder::completions() const {
    const QMutexLocker lock(&m_mutex);
    return m_completions;
}

QString SessionRecorder::finishedFile(int index) const {
    const QMutexLocker lock(&m_mutex);
    return m_finished.value(index);
}

int SessionRecorder::finishedCount() const {
    const QMutexLocker lock(&m_mutex);
    return int(m_finished.size());
}

bool SessionRecorder::eventsDelivered() const {
    const QMutexLocker lock(&m_mutex);
    return m_eventsDelivered;
}

void SessionRecorder::didWriteData(const TransferTaskPtr &, qint64, qint64 totalBytesWritten,
                                   qint64 totalBytesExpected) {
    const QMutexLocker lock(&m_mutex);
    ++m_progress;
    m_lastWritten = totalBytesWritten;
    m_lastExpected = totalBytesExpected;
}

void SessionRecorder::taskIsWaitingForConnectivity(const TransferTaskPtr &) {
    const QMutexLocker lock(&m_mutex);
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
    const QMutexLocker lock(&m_mutex);
    m_eventsDelivered = true;
}

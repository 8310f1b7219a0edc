// Downloads: starting, pausing, resuming and cancelling transfers, their states, and resume data
// that outlives the process.

#include "downloadmanager.h"

#include "platform/atomicfile.h"
#include "platform/console.h"
#include "platform/defaultsstore.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

bool DownloadManager::isPlainFileName(const QString &name) {
    // Names read back from the settings: one file directly inside its folder, never a path.
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/') && !name.contains(QChar(0));
}

void DownloadManager::restoreTasks(const QList<TransferTaskPtr> &liveTasks) {
    for (const TransferTaskPtr &task : liveTasks) {
        const QUrl url = task->originalURL();
        if (url.isEmpty())
            continue;
        m_tasks.insert(url, task);
        switch (task->state()) {
        case TransferTask::State::running: {
            const qint64 received = task->countOfBytesReceived();
            const qint64 expected = task->countOfBytesExpectedToReceive();
            setDownloadStatus(
                url, DownloadStatus::downloading(expected > 0 ? double(received) / double(expected) : 0,
                                                 received, expected));
            break;
        }
        case TransferTask::State::suspended:
            setDownloadStatus(url, DownloadStatus::paused());
            break;
        default:
            break;
        }
    }
    for (auto it = m_diskResumeDataPaths.cbegin(); it != m_diskResumeDataPaths.cend(); ++it) {
        const QUrl url(it.key(), QUrl::StrictMode);
        if (url.isValid() && !url.isEmpty() && !m_tasks.contains(url))
            setDownloadStatus(url, DownloadStatus::paused());
    }
}

void DownloadManager::startDownload(const QUrl &url) {
    if (localFileURL(url))
        return;
    if (downloadStatus(url).kind() == DownloadStatus::Case::Paused) {
        resumeDownload(url);
        return;
    }
    if (m_tasks.contains(url)) {
        continueWithTask(url);
        return;
    }
    TransferTaskPtr task;
    if (const std::optional<QByteArray> resumeData = loadResumeData(url))
        task = m_urlSession->downloadTask(*resumeData);
    // Resume data the session cannot read is no worse than none.
    if (!task)
        task = m_urlSession->downloadTask(url);
    startTask(url, task);
}

void DownloadManager::resumeDownload(const QUrl &url) {
    const std::optional<QByteArray> resumeData = loadResumeData(url);
    TransferTaskPtr task = resumeData ? m_urlSession->downloadTask(*resumeData) : nullptr;
    if (!task) {
        if (m_tasks.contains(url))
            continueWithTask(url);
        else
            startTask(url, m_urlSession->downloadTask(url));
        return;
    }
    // The resume data stays recorded until the download finishes or is cancelled.
    startTask(url, task);
}

void DownloadManager::continueWithTask(const QUrl &url) {
    const TransferTaskPtr task = m_tasks.value(url);
    // An ended task cannot be resumed; it would show a transfer that never moves.
    if (task->state() == TransferTask::State::completed) {
        startTask(url, m_urlSession->downloadTask(url));
        return;
    }
    task->resume();
    setDownloadStatus(url, DownloadStatus::started());
}

void DownloadManager::startTask(const QUrl &url, const TransferTaskPtr &task) {
    m_tasks.insert(url, task);
    task->resume();
    setDownloadStatus(url, DownloadStatus::started());
}

void DownloadManager::pauseDownload(const QUrl &url) {
    const TransferTaskPtr task = m_tasks.value(url);
    if (!task)
        return;
    task->cancelByProducingResumeData([this, url, task](const std::optional<QByteArray> &resumeData) {
        QMetaObject::invokeMethod(
            this,
            [this, url, task, resumeData] {
                if (resumeData)
                    saveResumeData(*resumeData, url);
                setDownloadStatus(url, DownloadStatus::paused());
                if (m_tasks.value(url) == task)
                    m_tasks.remove(url);
            },
            Qt::QueuedConnection);
    });
}

void DownloadManager::cancelDownload(const QUrl &url) {
    if (const TransferTaskPtr task = m_tasks.take(url))
        task->cancel();
    clearResumeData(url);
    removeDownloadStatus(url);
}

void DownloadManager::saveResumeData(const QByteArray &data, const QUrl &url) {
    const QString caches = StandardDirs::caches();
    const QString fileName = newUuidString();
    QDir().mkpath(caches);
    QString error;
    if (!AtomicFile::write(caches + u'/' + fileName, data, &error)) {
        printLine(u"Failed to save resume data: "_s + error);
        return;
    }
    const QString key = url.toString(QUrl::FullyEncoded);
    const QString older = m_diskResumeDataPaths.value(key);
    m_diskResumeDataPaths.insert(key, fileName);
    if (!storeResumeDataPaths()) {
        // Unrecorded, the new file would be nobody's; the recorded older one still serves.
        if (older.isEmpty())
            m_diskResumeDataPaths.remove(key);
        else
            m_diskResumeDataPaths.insert(key, older);
        QFile::remove(caches + u'/' + fileName);
        printLine(u"Failed to save resume data: the settings could not be written"_s);
        return;
    }
    m_resumeDataMap.insert(url, data);
    // The older file is replaced only once the new one is recorded: a failure above keeps it.
    if (isPlainFileName(older) && older != fileName)
        QFile::remove(caches + u'/' + older);
}

std::optional<QByteArray> DownloadManager::loadResumeData(const QUrl &url) {
    if (const auto found = m_resumeDataMap.constFind(url); found != m_resumeDataMap.cend())
        return *found;
    const QString fileName = m_diskResumeDataPaths.value(url.toString(QUrl::FullyEncoded));
    if (!isPlainFileName(fileName))
        return std::nullopt;
    QFile file(StandardDirs::caches() + u'/' + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

void DownloadManager::clearResumeData(const QUrl &url) {
    const std::optional<QByteArray> resumeData = loadResumeData(url);
    m_resumeDataMap.remove(url);
    const QString fileName = m_diskResumeDataPaths.take(url.toString(QUrl::FullyEncoded));
    if (!fileName.isEmpty()) {
        if (isPlainFileName(fileName))
            QFile::remove(StandardDirs::caches() + u'/' + fileName);
        storeResumeDataPaths();
    }
    // The partial data behind it will never be continued.
    if (resumeData)
        m_urlSession->discardResumeData(*resumeData);
}

bool DownloadManager::storeResumeDataPaths() {
    return DefaultsStore().setStringMap(kResumeDataMapKey, m_diskResumeDataPaths);
}

bool DownloadManager::isCurrentTask(const QUrl &url, const TransferTaskPtr &task) const {
    const auto found = m_tasks.constFind(url);
    return found == m_tasks.cend() || *found == task;
}

// The session's events, on the main thread.

void DownloadManager::showProgress(const TransferTaskPtr &task, qint64 totalBytesWritten,
                                   qint64 totalBytesExpected) {
    const QUrl url = task->originalURL();
    if (url.isEmpty() || !isCurrentTask(url, task))
        return;
    const double progress =
        totalBytesExpected > 0 ? double(totalBytesWritten) / double(totalBytesExpected) : 0;
    setDownloadStatus(url, DownloadStatus::downloading(progress, totalBytesWritten, totalBytesExpected));
}

void DownloadManager::showWaitingForConnection(const TransferTaskPtr &task) {
    const QUrl url = task->originalURL();
    if (!url.isEmpty() && isCurrentTask(url, task))
        setDownloadStatus(url, DownloadStatus::waitingForConnection());
}

void DownloadManager::endTask(const TransferTaskPtr &task, const std::optional<TransferError> &error) {
    const QUrl url = task->originalURL();
    // A finished task is settled by its file (takeDownloadedFile).
    if (!error || url.isEmpty() || !isCurrentTask(url, task))
        return;
    if (error->resumeData) {
        saveResumeData(*error->resumeData, url);
        setDownloadStatus(url, DownloadStatus::paused());
        return;
    }
    removeDownloadStatus(url);
    // The task has ended: left in place, a later start would resume nothing.
    m_tasks.remove(url);
}

void DownloadManager::runBackgroundCompletionHandler() {
    if (auto handler = std::exchange(m_backgroundCompletionHandler, nullptr))
        handler();
}

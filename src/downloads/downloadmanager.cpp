#include "downloadmanager.h"

#include "platform/defaultsstore.h"

using namespace Qt::StringLiterals;

DownloadManager::DownloadManager(QObject *parent)
    : DownloadManager(TransferSession::Configuration::background(kBackgroundSessionID), parent) {
}

DownloadManager::DownloadManager(const TransferSession::Configuration &session, QObject *parent)
    : QObject(parent) {
    construct(session);
}

DownloadManager::~DownloadManager() {
    // The session's transfers stop before the state they report to goes; events it already
    // queued die with it.
    m_urlSession.reset();
}

void DownloadManager::construct(const TransferSession::Configuration &session) {
    DefaultsStore defaults;
    m_isAutoUnzipEnabled = defaults.boolValue(kAutoUnzipEnabledKey).value_or(false);

    m_urlSession = std::make_unique<TransferSession>(session);
    connect(m_urlSession.get(), &TransferSession::dataWritten, this, &DownloadManager::showProgress);
    connect(m_urlSession.get(), &TransferSession::waitingForConnectivity, this,
            &DownloadManager::showWaitingForConnection);
    connect(m_urlSession.get(), &TransferSession::fileDownloaded, this, &DownloadManager::takeDownloadedFile);
    connect(m_urlSession.get(), &TransferSession::taskCompleted, this, &DownloadManager::endTask);
    connect(m_urlSession.get(), &TransferSession::backgroundEventsFinished, this,
            &DownloadManager::runBackgroundCompletionHandler);

    restoreBookmark(kCustomDownloadFolderKey, BookmarkedFolder::downloads);
    restoreBookmark(kCustomLiveContainerFolderKey, BookmarkedFolder::liveContainer);

    m_diskResumeDataPaths = defaults.stringMap(kResumeDataMapKey).value_or(QMap<QString, QString>());

    loadPendingBackups();
    recoverInterruptedWork();

    m_urlSession->allTasks([this](const QList<TransferTaskPtr> &liveTasks) {
        QMetaObject::invokeMethod(
            this, [this, liveTasks] { restoreTasks(liveTasks); }, Qt::QueuedConnection);
    });

    refreshFileList();
    scanInstalledApps();
}

void DownloadManager::setAutoUnzipEnabled(bool enabled) {
    DefaultsStore().setBool(kAutoUnzipEnabledKey, enabled);
    if (m_isAutoUnzipEnabled == enabled)
        return;
    m_isAutoUnzipEnabled = enabled;
    Q_EMIT isAutoUnzipEnabledChanged();
}

DownloadStatus DownloadManager::downloadStatus(const QUrl &url) const {
    return m_downloadStates.value(url, DownloadStatus::none());
}

void DownloadManager::setDownloadStatus(const QUrl &url, const DownloadStatus &status) {
    const auto found = m_downloadStates.constFind(url);
    if (found != m_downloadStates.cend() && *found == status)
        return;
    m_downloadStates.insert(url, status);
    Q_EMIT downloadStatesChanged();
}

void DownloadManager::removeDownloadStatus(const QUrl &url) {
    if (m_downloadStates.remove(url))
        Q_EMIT downloadStatesChanged();
}

void DownloadManager::setFileList(const QList<QUrl> &files) {
    if (m_fileList == files)
        return;
    m_fileList = files;
    Q_EMIT fileListChanged();
}

void DownloadManager::removeExtractingFile(const QUrl &file) {
    if (m_extractingFiles.remove(file))
        Q_EMIT extractingFilesChanged();
}

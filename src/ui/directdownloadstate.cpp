#include "ui/directdownloadstate.h"

#include "model/urltext.h"

DirectDownloadState::DirectDownloadState(QObject *parent)
    : QObject(parent) {
}

void DirectDownloadState::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    disconnect(m_folderConnection);
    m_downloadManager = manager;
    if (manager)
        m_folderConnection = connect(manager, &DownloadManager::customDownloadFolderChanged, this,
                                     &DirectDownloadState::customFolderNameChanged);
    Q_EMIT downloadManagerChanged();
    Q_EMIT customFolderNameChanged();
}

QString DirectDownloadState::customFolderName() const {
    if (!m_downloadManager || !m_downloadManager->customDownloadFolder())
        return {};
    return m_downloadManager->customDownloadFolder()->adjusted(QUrl::StripTrailingSlash).fileName();
}

bool DirectDownloadState::startTypedDownload(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !m_downloadManager)
        return false;
    const std::optional<QUrl> url = UrlText::toUrl(UrlText::withWebScheme(trimmed));
    // A web address names a host; "https://" before a stray word gives none.
    if (!url || url->host().isEmpty())
        return false;
    m_downloadManager->startDownload(*url);
    return true;
}

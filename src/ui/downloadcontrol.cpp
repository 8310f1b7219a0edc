#include "ui/downloadcontrol.h"

#include "downloads/downloadmanager.h"

#include <algorithm>

DownloadControl::DownloadControl(QObject *parent)
    : QObject(parent) {
}

void DownloadControl::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_downloadManager = manager;
    if (manager) {
        m_connections = {
            connect(manager, &DownloadManager::downloadStatesChanged, this, &DownloadControl::update),
            connect(manager, &DownloadManager::fileListChanged, this, &DownloadControl::update),
            connect(manager, &DownloadManager::customDownloadFolderChanged, this, &DownloadControl::update),
        };
    }
    update();
    Q_EMIT downloadManagerChanged();
}

void DownloadControl::setDownloadURL(const QString &url) {
    if (m_downloadURL == url)
        return;
    m_downloadURL = url;
    update();
    Q_EMIT downloadURLChanged();
}

std::optional<QUrl> DownloadControl::parsedURL() const {
    const QUrl url(m_downloadURL, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || (url.host().isEmpty() && !url.isLocalFile()))
        return std::nullopt;
    return url;
}

void DownloadControl::update() {
    Face face = Face::Get;
    double progress = 0;
    QUrl fileURL;
    const std::optional<QUrl> url = parsedURL();
    if (url && m_downloadManager) {
        if (const std::optional<QUrl> local = m_downloadManager->localFileURL(*url)) {
            face = Face::File;
            fileURL = *local;
        } else {
            const DownloadStatus status = m_downloadManager->downloadStatus(*url);
            switch (status.kind()) {
            case DownloadStatus::Case::Downloading:
                face = Face::Downloading;
                progress = std::clamp(status.progress(), 0.01, 1.0);
                break;
            case DownloadStatus::Case::Paused:
                face = Face::Paused;
                break;
            case DownloadStatus::Case::WaitingForConnection:
                face = Face::WaitingForConnection;
                break;
            case DownloadStatus::Case::None:
                break;
            }
        }
    }
    if (face == m_face && progress == m_progress && fileURL == m_fileURL)
        return;
    m_face = face;
    m_progress = progress;
    m_fileURL = fileURL;
    Q_EMIT stateChanged();
}

void DownloadControl::activate() {
    const std::optional<QUrl> url = parsedURL();
    if (!url || !m_downloadManager)
        return;
    switch (m_face) {
    case Face::Downloading:
    case Face::WaitingForConnection:
        m_downloadManager->pauseDownload(*url);
        break;
    case Face::Paused:
        m_downloadManager->resumeDownload(*url);
        break;
    case Face::Get:
        m_downloadManager->startDownload(*url);
        break;
    case Face::File:
        // The screen shows the share sheet for the file.
        break;
    }
}

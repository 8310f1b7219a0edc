#include "ui/appdetailstate.h"

#include "downloads/downloadmanager.h"
#include "ui/appitemtexts.h"

#include <algorithm>

using namespace Qt::StringLiterals;

AppDetailState::AppDetailState(QObject *parent)
    : QObject(parent) {
}

void AppDetailState::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    disconnect(m_connection);
    m_downloadManager = manager;
    if (manager) {
        m_connection =
            connect(manager, &DownloadManager::installedAppsChanged, this, &AppDetailState::installedChanged);
    }
    Q_EMIT downloadManagerChanged();
    Q_EMIT installedChanged();
}

void AppDetailState::setApp(const AppItem &app) {
    if (m_app == app)
        return;
    m_app = app;
    Q_EMIT appChanged();
    Q_EMIT installedChanged();
}

bool AppDetailState::isInstalled() const {
    if (!m_downloadManager)
        return false;
    const QList<LocalApp> &installed = m_downloadManager->installedApps();
    return std::any_of(installed.cbegin(), installed.cend(),
                       [this](const LocalApp &app) { return app.bundleID == m_app.bundleIdentifier; });
}

QString AppDetailState::versionLine() const {
    return AppItemTexts::versionLine(m_app);
}

QString AppDetailState::aboutText() const {
    return AppItemTexts::aboutText(m_app);
}

QUrl AppDetailState::iconURL() const {
    return m_app.iconURL ? QUrl(*m_app.iconURL) : QUrl();
}

QList<QUrl> AppDetailState::screenshotURLs() const {
    QList<QUrl> urls;
    for (const QString &text : m_app.screenshotURLs) {
        const QUrl url(text);
        if (url.isValid() && !url.isEmpty())
            urls.append(url);
    }
    return urls;
}

AppDetailState::OpenResult AppDetailState::open() const {
    if (!m_downloadManager || !isInstalled())
        return OpenResult::NothingInstalled;
    if (!m_downloadManager->hasLCAppInfo(m_app.bundleIdentifier))
        return OpenResult::SetupNeeded;
    if (const std::optional<QString> folder = m_downloadManager->installedFolderName(m_app.bundleIdentifier))
        m_downloadManager->launchApp(*folder);
    return OpenResult::Launched;
}

void AppDetailState::openLiveContainerForSetup() const {
    if (!m_downloadManager)
        return;
    m_downloadManager->launchApp(
        m_downloadManager->installedFolderName(m_app.bundleIdentifier).value_or(u"Unknown"_s));
}

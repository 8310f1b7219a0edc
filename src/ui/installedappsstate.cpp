#include "ui/installedappsstate.h"

#include "downloads/livecontainer.h"
#include "platform/propertylist.h"
#include "services/notificationmanager.h"

#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

InstalledAppsState::InstalledAppsState(QObject *parent)
    : QObject(parent) {
}

void InstalledAppsState::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    m_downloadManager = manager;
    Q_EMIT downloadManagerChanged();
}

void InstalledAppsState::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    m_store = store;
    Q_EMIT storeChanged();
}

InstalledAppsState::LaunchResult InstalledAppsState::launch(const LocalApp &app) const {
    if (!m_downloadManager || !m_downloadManager->hasLCAppInfo(app.bundleID))
        return LaunchResult::SetupNeeded;
    m_downloadManager->launchApp(app.url.fileName());
    return LaunchResult::Launched;
}

void InstalledAppsState::openLiveContainerForSetup(const LocalApp &app) const {
    if (m_downloadManager)
        m_downloadManager->launchApp(app.url.fileName());
}

void InstalledAppsState::deleteApp(const LocalApp &app) {
    if (!m_downloadManager)
        return;
    // What the engine is about to remove, read before it goes.
    QStringList paths{app.url.toLocalFile()};
    const std::optional<QUrl> containers = m_downloadManager->dataContainersFolder();
    const QString appInfoPath = app.url.toLocalFile() + u'/' + LiveContainer::kAppInfoFileName;
    if (containers && QFileInfo::exists(appInfoPath)) {
        if (const auto appInfo = PropertyList::readDictionary(appInfoPath)) {
            for (const QString &name : LiveContainer::dataContainerNames(*appInfo))
                paths.append(containers->toLocalFile() + u'/' + name);
        }
    }

    m_downloadManager->deleteInstalledApp(app);

    const QList<LocalApp> &installed = m_downloadManager->installedApps();
    const bool stillListed = std::any_of(installed.cbegin(), installed.cend(),
                                         [&app](const LocalApp &other) { return other.id() == app.id(); });
    if (!stillListed)
        return;
    QStringList left;
    for (const QString &path : std::as_const(paths)) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            left.append(path);
    }
    NotificationManager::shared().showNotification(
        tr("Could Not Delete %1").arg(app.name),
        tr("Not removed: %1").arg(left.isEmpty() ? app.url.toLocalFile() : left.join(u", "_s)),
        NotificationType::Error);
}

void InstalledAppsState::checkForUpdates() const {
    if (m_store && m_downloadManager)
        m_store->checkForUpdates(m_downloadManager->installedApps());
}

void InstalledAppsState::rescan() const {
    if (m_downloadManager)
        m_downloadManager->scanInstalledApps();
}

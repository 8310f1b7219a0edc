// Installed apps: the scan of the applications folder, lookups by bundle identifier, deleting
// an app with its data, and opening apps in LiveContainer.

#include "downloadmanager.h"

#include "downloads/installedappsscanner.h"
#include "downloads/installfiles.h"
#include "downloads/livecontainer.h"
#include "platform/propertylist.h"

#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

void DownloadManager::scanInstalledApps() {
    setInstalledApps(InstalledAppsScanner::scan(applicationsFolder().toLocalFile()));
}

std::optional<QUrl> DownloadManager::findIconFile(const QUrl &appFolder, const QString &base) const {
    return InstalledAppsScanner::findIconFile(appFolder.toLocalFile(), base);
}

const LocalApp *DownloadManager::installedApp(const QString &bundleID) const {
    const auto found = std::find_if(m_installedApps.cbegin(), m_installedApps.cend(),
                                    [&](const LocalApp &app) { return app.bundleID == bundleID; });
    return found == m_installedApps.cend() ? nullptr : &*found;
}

bool DownloadManager::hasLCAppInfo(const QString &bundleID) const {
    const LocalApp *app = installedApp(bundleID);
    return app && LiveContainer::hasAppInfoFile(app->url.toLocalFile());
}

std::optional<QString> DownloadManager::installedVersion(const QString &bundleID) const {
    const LocalApp *app = installedApp(bundleID);
    return app ? app->version : std::nullopt;
}

std::optional<QString> DownloadManager::installedFolderName(const QString &bundleID) const {
    const LocalApp *app = installedApp(bundleID);
    return app ? std::optional(app->url.fileName()) : std::nullopt;
}

QVariant DownloadManager::installedVersionValue(const QString &bundleID) const {
    const auto version = installedVersion(bundleID);
    return version ? QVariant(*version) : QVariant();
}

QVariant DownloadManager::installedFolderNameValue(const QString &bundleID) const {
    const auto name = installedFolderName(bundleID);
    return name ? QVariant(*name) : QVariant();
}

void DownloadManager::deleteInstalledApp(const LocalApp &app) {
    const QString appFolder = app.url.toLocalFile();
    const QString appInfoPath = appFolder + u'/' + LiveContainer::kAppInfoFileName;
    const auto containers = dataContainersFolder();
    if (containers && LiveContainer::hasAppInfoFile(appFolder)) {
        if (const auto appInfo = PropertyList::readDictionary(appInfoPath)) {
            // Only names that stay inside the data containers folder: the file may have come
            // inside an archive rather than from LiveContainer.
            for (const QString &name : LiveContainer::dataContainerNames(*appInfo))
                InstallFiles::removeItem(containers->toLocalFile() + u'/' + name);
        }
    }
    InstallFiles::removeItem(appFolder);
    scanInstalledApps();
}

bool DownloadManager::launchApp(const QString &folderName) const {
    return LiveContainer::launchApp(folderName);
}

bool DownloadManager::openLiveContainer() const {
    return LiveContainer::openLiveContainer();
}

void DownloadManager::setInstalledApps(const QList<LocalApp> &apps) {
    if (m_installedApps == apps)
        return;
    m_installedApps = apps;
    Q_EMIT installedAppsChanged();
}

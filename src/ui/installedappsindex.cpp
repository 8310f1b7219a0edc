#include "ui/installedappsindex.h"

#include "platform/versioncompare.h"

#include <QCoreApplication>

InstalledAppsIndex::InstalledAppsIndex(const QList<LocalApp> &installedApps) {
    m_firstVersion.reserve(installedApps.size());
    for (const LocalApp &app : installedApps) {
        if (!m_firstVersion.contains(app.bundleID))
            m_firstVersion.insert(app.bundleID, app.version);
    }
}

std::optional<QString> InstalledAppsIndex::installedVersion(const QString &bundleID) const {
    const auto found = m_firstVersion.constFind(bundleID);
    return found == m_firstVersion.cend() ? std::nullopt : *found;
}

InstalledAppsIndex::Badge InstalledAppsIndex::badge(const AppItem &item) const {
    const auto found = m_firstVersion.constFind(item.bundleIdentifier);
    if (found == m_firstVersion.cend())
        return Badge::none;
    if (found->has_value() && VersionCompare::compare(item.version, **found) > 0)
        return Badge::update;
    return Badge::installed;
}

QString InstalledAppsIndex::badgeText(Badge badge) {
    switch (badge) {
    case Badge::update:
        return QCoreApplication::translate("InstalledAppsIndex", "UPDATE");
    case Badge::installed:
        return QCoreApplication::translate("InstalledAppsIndex", "INSTALLED");
    case Badge::none:
        break;
    }
    return {};
}

bool InstalledAppsIndex::isCurrent(const AppItem &item) const {
    const std::optional<QString> installed = installedVersion(item.bundleIdentifier);
    return installed && *installed == item.version;
}

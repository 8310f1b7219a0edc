#pragma once

#include "model/appitem.h"
#include "model/localapp.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// What the store screens need to know about the installed apps, looked up by bundle identifier:
// whether one is installed and the version of the first one found. Built once per change of the
// installed apps, so that 100,000 rows can ask without scanning the list each time.
class InstalledAppsIndex {
public:
    enum class Badge { none, update, installed };

    InstalledAppsIndex() = default;
    explicit InstalledAppsIndex(const QList<LocalApp> &installedApps);

    bool isInstalled(const QString &bundleID) const { return m_firstVersion.contains(bundleID); }
    // The version of the first installed app with this identifier; nothing when that app has none
    // or when none is installed.
    std::optional<QString> installedVersion(const QString &bundleID) const;

    // "UPDATE" when the item's version is newer than the installed version, otherwise "INSTALLED"
    // when the identifier is installed at all.
    Badge badge(const AppItem &item) const;
    static QString badgeText(Badge badge);
    // The item is the version that is installed (same text, not merely equal under comparison).
    bool isCurrent(const AppItem &item) const;

private:
    QHash<QString, std::optional<QString>> m_firstVersion;
};

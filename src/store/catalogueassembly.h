#pragma once

#include "model/appitem.h"
#include "model/localapp.h"
#include "model/sortoptions.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// The algorithms behind the catalogue, free of any engine state so they can run on any thread:
// every function reads only its arguments. The store engine calls them from background tasks and
// assigns their results on the main thread.
namespace CatalogueAssembly {

// The key under which an app's versions are grouped. Without a usable bundle identifier every
// download is its own app; strict grouping also tells apart builds whose name, source or
// description differ.
QString variantKey(const AppItem &app, bool strictGrouping);

// The newest-first order of one app's builds: the greater version first, and for the very same
// version text the later date.
bool isNewerBuild(const AppItem &a, const AppItem &b);

struct Catalogue {
    // Every group in input order.
    QHash<QString, QList<AppItem>> groups;
    // The newest build of each group, sorted for display.
    QList<AppItem> displayApps;
};

// Groups the apps of all sources (taken in order, as one list) and picks and sorts the
// representatives. Groups first seen earlier come first among representatives with equal sort
// keys, so equal rows keep the order of the repositories and their feeds.
Catalogue assemble(const QList<QList<AppItem>> &sources, AppSortOption order, bool strictGrouping);

// Stable: apps with equal keys keep their order. Names A to Z in the user's locale ignoring
// case; dates and sizes largest first, an absent date counting as "" and an absent size as 0.
void sortForDisplay(QList<AppItem> &apps, AppSortOption order);

// One group's builds for the detail screen, the greatest version first; equal versions keep feed
// order.
QList<AppItem> versionsNewestFirst(QList<AppItem> versions);

// The apps of one source (all when none is given) whose name or bundle identifier contains the
// search text, ignoring case by Unicode case folding; a text of only white space matches all.
// Keeps the order of `apps`.
QList<AppItem> filterApps(const QList<AppItem> &apps, const std::optional<QString> &sourceRepoName,
                          const QString &searchText);

// The greatest version offered per bundle identifier, whatever the repository; apps without a
// usable bundle identifier offer nothing.
QHash<QString, QString> latestVersions(const QList<QList<AppItem>> &sources);

// The installed apps that have a greater version on offer, by bundle identifier, with that
// version. Apps that do not know their own version are never listed.
QMap<QString, QString> availableUpdates(const QList<LocalApp> &installedApps,
                                        const QHash<QString, QString> &latest);

} // namespace CatalogueAssembly

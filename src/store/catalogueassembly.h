#pragma once

#include "model/appitem.h"
#include "model/localapp.h"
#include "model/sortoptions.h"
#include "store/variantgroups.h"

#include <QList>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// The algorithms behind the catalogue, free of any engine state so they can run on any thread:
// every function reads only its arguments. The store engine calls them from background tasks and
// assigns their results on the main thread.
namespace CatalogueAssembly {

// False for an empty identifier and for the texts that stand in for a missing one.
bool isUsableBundleIdentifier(const QString &bundleIdentifier);

// What names the app a build belongs to: its bundle identifier, or, without a usable one, its
// download address, so that every such download is its own app.
const QString &variantBase(const AppItem &app);

// The key under which an app's versions are grouped: the base, and with strict grouping also the
// name, source and description, so that builds differing in those are told apart.
QString variantKey(const AppItem &app, bool strictGrouping);

// An absent text as the empty one, without a copy.
inline QStringView orEmpty(const std::optional<QString> &text) {
    return text ? QStringView(*text) : QStringView();
}

// The newest-first order of one app's builds: the greater version first, and for the very same
// version text the later date.
bool isNewerBuild(const AppItem &a, const AppItem &b);

// The names and bundle identifiers of a list of rows, case-folded into one text, so that a search
// scans contiguous memory instead of two strings scattered over the heap per row.
struct SearchIndex {
    // Per row: the folded name, U+0000, the folded bundle identifier, U+0000.
    QString foldedText;
    // Where each row begins in foldedText, and where the last one ends.
    std::vector<qsizetype> rowStart;
    // Per row: its position in `sources`, or -1 without a source.
    std::vector<int> sourceOf;
    QStringList sources;
};

SearchIndex buildSearchIndex(const QList<AppItem> &rows);

struct Catalogue {
    std::shared_ptr<const VariantGroups> groups;
    // The newest build of each group, sorted for display.
    QList<AppItem> displayApps;
    SearchIndex searchIndex;
};

// Groups the apps of all sources (taken in order, as one list) and picks and sorts the
// representatives. Groups first seen earlier come first among representatives with equal sort
// keys, so equal rows keep the order of the repositories and their feeds. Uses a second thread of
// the global pool when there is enough work. The groups of `previous` are kept when they were made
// of the same lists, and rows equal to its rows share them, so that comparing the two costs
// little and unchanged rows come back as `previous` itself.
Catalogue assemble(const QList<QList<AppItem>> &sources, AppSortOption order, bool strictGrouping,
                   const Catalogue &previous = {});

// Stable: apps with equal keys keep their order. Names A to Z in the user's locale ignoring
// case; dates and sizes largest first, an absent date counting as "" and an absent size as 0.
void sortForDisplay(QList<AppItem> &apps, AppSortOption order);

// One group's builds for the detail screen, the greatest version first; equal versions keep feed
// order.
QList<AppItem> versionsNewestFirst(QList<AppItem> versions);

// The apps of one source (all when none is given) whose name or bundle identifier contains the
// search text, ignoring case by Unicode simple case folding (the folding of QString's
// case-insensitive search, the same in every locale); a text of only white space matches all.
// Keeps the order of `apps`.
QList<AppItem> filterApps(const QList<AppItem> &apps, const std::optional<QString> &sourceRepoName,
                          const QString &searchText);
// The same through the search index built for `apps`.
QList<AppItem> filterApps(const QList<AppItem> &apps, const SearchIndex &index,
                          const std::optional<QString> &sourceRepoName, const QString &searchText);

// The installed apps for which `sources` offer a greater version, by bundle identifier, with the
// greatest version offered (the first of equal ones). Builds without a usable bundle identifier
// offer nothing; installed apps that do not know their own version are never listed.
QMap<QString, QString> availableUpdates(const QList<QList<AppItem>> &sources,
                                        const QList<LocalApp> &installedApps);

} // namespace CatalogueAssembly

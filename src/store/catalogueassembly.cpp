#include "catalogueassembly.h"

#include "platform/localecompare.h"
#include "platform/versioncompare.h"

#include <QHashSeed>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <bit>
#include <numeric>
#include <vector>

using namespace Qt::StringLiterals;

namespace CatalogueAssembly {

namespace {

QStringView orEmpty(const std::optional<QString> &text) {
    return text ? QStringView(*text) : QStringView();
}

// What the group key is made of. Apps with equal parts have equal keys, so grouping can compare
// the parts where they lie instead of building a key text for every app.
struct KeyParts {
    QStringView base;
    QStringView name;
    QStringView source;
    QStringView description;

    KeyParts(const AppItem &app, bool strict)
        : base(app.bundleIdentifier.isEmpty() || app.bundleIdentifier == u"unknown"_s
                   ? QStringView(app.downloadURL)
                   : QStringView(app.bundleIdentifier)) {
        if (strict) {
            name = app.name;
            source = orEmpty(app.sourceRepoName);
            description = orEmpty(app.localizedDescription);
        }
    }

    friend bool operator==(const KeyParts &a, const KeyParts &b) {
        return a.base == b.base && a.name == b.name && a.source == b.source && a.description == b.description;
    }

    // Descriptions are long and the builds of one app repeat them: their length and both ends
    // tell groups apart well enough, and equality settles the rest.
    size_t hash(size_t seed) const {
        constexpr qsizetype kEnds = 32;
        const qsizetype ends = std::min(description.size(), kEnds);
        return qHashMulti(seed, base, name, source, description.size(), description.first(ends),
                          description.last(ends));
    }

    // Key texts join the parts with "|#|"; without any '|' in the parts, two different sets of
    // parts can never join to the same text.
    bool mayJoinAmbiguously() const {
        return base.contains(u'|') || name.contains(u'|') || source.contains(u'|') ||
               description.contains(u'|');
    }
};

std::vector<const AppItem *> flatten(const QList<QList<AppItem>> &sources) {
    qsizetype total = 0;
    for (const QList<AppItem> &source : sources)
        total += source.size();
    std::vector<const AppItem *> apps;
    apps.reserve(size_t(total));
    for (const QList<AppItem> &source : sources) {
        for (const AppItem &app : source)
            apps.push_back(&app);
    }
    return apps;
}

// The stable display order of `items` as a permutation of their indices.
std::vector<qsizetype> displayOrder(const std::vector<const AppItem *> &items, AppSortOption order) {
    std::vector<qsizetype> permutation(items.size());
    std::iota(permutation.begin(), permutation.end(), 0);
    switch (order.value()) {
    case AppSortOption::name: {
        // Collating every pair is what makes a large name sort slow; a sort key per row is built
        // once and compares as plain bytes.
        std::vector<QCollatorSortKey> keys;
        keys.reserve(items.size());
        for (const AppItem *item : items)
            keys.push_back(LocaleCompare::sortKey(item->name));
        std::stable_sort(permutation.begin(), permutation.end(),
                         [&keys](qsizetype a, qsizetype b) { return keys[a].compare(keys[b]) < 0; });
        break;
    }
    case AppSortOption::date:
        std::stable_sort(permutation.begin(), permutation.end(), [&items](qsizetype a, qsizetype b) {
            return orEmpty(items[a]->versionDate) > orEmpty(items[b]->versionDate);
        });
        break;
    case AppSortOption::size:
        std::stable_sort(permutation.begin(), permutation.end(), [&items](qsizetype a, qsizetype b) {
            return items[a]->size.value_or(0) > items[b]->size.value_or(0);
        });
        break;
    }
    return permutation;
}

} // namespace

QString variantKey(const AppItem &app, bool strictGrouping) {
    const QString &base = app.bundleIdentifier.isEmpty() || app.bundleIdentifier == u"unknown"_s
                              ? app.downloadURL
                              : app.bundleIdentifier;
    if (!strictGrouping)
        return base;
    const QString separator = u"|#|"_s;
    return base + separator + app.name + separator + app.sourceRepoName.value_or(QString()) + separator +
           app.localizedDescription.value_or(QString());
}

bool isNewerBuild(const AppItem &a, const AppItem &b) {
    if (a.version != b.version)
        return VersionCompare::compare(a.version, b.version) > 0;
    return orEmpty(a.versionDate) > orEmpty(b.versionDate);
}

Catalogue assemble(const QList<QList<AppItem>> &sources, AppSortOption order, bool strictGrouping) {
    const std::vector<const AppItem *> apps = flatten(sources);
    const qsizetype appCount = qsizetype(apps.size());

    // One pass of grouping in an open-addressing table of group numbers; groups are numbered in
    // the order they are first seen.
    const size_t seed = QHashSeed::globalSeed();
    const size_t capacity = std::bit_ceil(size_t(std::max<qsizetype>(16, appCount * 2)));
    const size_t mask = capacity - 1;
    std::vector<int> table(capacity, -1);
    std::vector<int> groupOf(size_t(appCount), 0);
    std::vector<qsizetype> firstApp;
    std::vector<size_t> groupHash;
    for (qsizetype i = 0; i < appCount; ++i) {
        const KeyParts parts(*apps[i], strictGrouping);
        const size_t hash = parts.hash(seed);
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const int group = table[slot];
            if (group < 0) {
                table[slot] = int(firstApp.size());
                groupOf[i] = int(firstApp.size());
                firstApp.push_back(i);
                groupHash.push_back(hash);
                break;
            }
            if (groupHash[group] == hash && KeyParts(*apps[firstApp[group]], strictGrouping) == parts) {
                groupOf[i] = group;
                break;
            }
        }
    }
    const int groupCount = int(firstApp.size());

    // Parts holding '|' may join to the key text of other parts; such groups share that key and
    // are one group. The earlier group takes the later one in.
    std::vector<QString> keys(static_cast<size_t>(groupCount));
    std::vector<int> ownerOf(static_cast<size_t>(groupCount));
    std::iota(ownerOf.begin(), ownerOf.end(), 0);
    if (strictGrouping) {
        QHash<QString, int> ambiguousKeys;
        for (int group = 0; group < groupCount; ++group) {
            const AppItem &first = *apps[firstApp[group]];
            if (!KeyParts(first, true).mayJoinAmbiguously())
                continue;
            keys[group] = variantKey(first, true);
            const auto owner = ambiguousKeys.constFind(keys[group]);
            if (owner != ambiguousKeys.cend())
                ownerOf[group] = *owner;
            else
                ambiguousKeys.insert(keys[group], group);
        }
    }

    // The members of every group in input order, laid out one group after another.
    std::vector<qsizetype> memberStart(size_t(groupCount) + 1, 0);
    for (qsizetype i = 0; i < appCount; ++i)
        ++memberStart[ownerOf[groupOf[i]] + 1];
    std::partial_sum(memberStart.begin(), memberStart.end(), memberStart.begin());
    std::vector<qsizetype> members(static_cast<size_t>(appCount));
    {
        std::vector<qsizetype> next(memberStart.begin(), memberStart.end() - 1);
        for (qsizetype i = 0; i < appCount; ++i)
            members[next[ownerOf[groupOf[i]]]++] = i;
    }

    // The first of the newest builds, as a stable newest-first sort would put it at the front.
    std::vector<int> liveGroups;
    std::vector<const AppItem *> representatives;
    for (int group = 0; group < groupCount; ++group) {
        if (ownerOf[group] != group)
            continue;
        qsizetype newest = members[memberStart[group]];
        for (qsizetype m = memberStart[group] + 1; m < memberStart[group + 1]; ++m) {
            if (isNewerBuild(*apps[members[m]], *apps[newest]))
                newest = members[m];
        }
        liveGroups.push_back(group);
        representatives.push_back(apps[newest]);
    }

    Catalogue catalogue;
    catalogue.groups.reserve(qsizetype(liveGroups.size()));
    for (int group : liveGroups) {
        QList<AppItem> versions;
        versions.reserve(memberStart[group + 1] - memberStart[group]);
        for (qsizetype m = memberStart[group]; m < memberStart[group + 1]; ++m)
            versions.append(*apps[members[m]]);
        const QString key =
            keys[group].isNull() ? variantKey(*apps[firstApp[group]], strictGrouping) : keys[group];
        catalogue.groups.insert(key, std::move(versions));
    }

    const std::vector<qsizetype> permutation = displayOrder(representatives, order);
    catalogue.displayApps.reserve(qsizetype(permutation.size()));
    for (qsizetype index : permutation)
        catalogue.displayApps.append(*representatives[index]);
    return catalogue;
}

void sortForDisplay(QList<AppItem> &apps, AppSortOption order) {
    std::vector<const AppItem *> items;
    items.reserve(size_t(apps.size()));
    for (const AppItem &app : std::as_const(apps))
        items.push_back(&app);
    QList<AppItem> sorted;
    sorted.reserve(apps.size());
    for (qsizetype index : displayOrder(items, order))
        sorted.append(*items[index]);
    apps = std::move(sorted);
}

QList<AppItem> versionsNewestFirst(QList<AppItem> versions) {
    std::stable_sort(versions.begin(), versions.end(), [](const AppItem &a, const AppItem &b) {
        return VersionCompare::compare(a.version, b.version) > 0;
    });
    return versions;
}

QList<AppItem> filterApps(const QList<AppItem> &apps, const std::optional<QString> &sourceRepoName,
                          const QString &searchText) {
    const bool searching = !searchText.trimmed().isEmpty();
    if (!sourceRepoName && !searching)
        return apps;
    const auto matches = [&](const AppItem &app) {
        if (sourceRepoName && app.sourceRepoName != sourceRepoName)
            return false;
        return !searching || app.name.contains(searchText, Qt::CaseInsensitive) ||
               app.bundleIdentifier.contains(searchText, Qt::CaseInsensitive);
    };
    QList<AppItem> result;
    for (const AppItem &app : apps) {
        if (matches(app))
            result.append(app);
    }
    return result;
}

QHash<QString, QString> latestVersions(const QList<QList<AppItem>> &sources) {
    QHash<QString, QString> latest;
    for (const QList<AppItem> &source : sources) {
        for (const AppItem &app : source) {
            if (app.bundleIdentifier.isEmpty() || app.bundleIdentifier == u"unknown"_s)
                continue;
            const qsizetype known = latest.size();
            QString &entry = latest[app.bundleIdentifier];
            if (latest.size() != known || VersionCompare::compare(app.version, entry) > 0)
                entry = app.version;
        }
    }
    return latest;
}

QMap<QString, QString> availableUpdates(const QList<LocalApp> &installedApps,
                                        const QHash<QString, QString> &latest) {
    QMap<QString, QString> updates;
    for (const LocalApp &installed : installedApps) {
        if (!installed.version)
            continue;
        const auto offered = latest.constFind(installed.bundleID);
        if (offered != latest.cend() && VersionCompare::compare(*offered, *installed.version) > 0)
            updates.insert(installed.bundleID, *offered);
    }
    return updates;
}

} // namespace CatalogueAssembly

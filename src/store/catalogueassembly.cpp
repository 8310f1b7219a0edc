#include "catalogueassembly.h"

#include "platform/localecompare.h"
#include "platform/versioncompare.h"

#include <QFuture>
#include <QHashSeed>
#include <QStringMatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <bit>
#include <limits>
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

    // Reading text is what costs here: the bundle identifier (or address) and the source, which
    // one repository shares among all its apps, are hashed; of the name and description only the
    // lengths, which sit in the item. Equality settles the rest.
    size_t cheapHash(size_t seed) const {
        return qHashMulti(seed, base, source, name.size(), description.size());
    }
};

constexpr qsizetype kWorthSplitting = 4096;

// Runs both jobs at once, the second on a thread of the global pool; if the pool is busy, waiting
// for it runs the second job here.
template<typename First, typename Second>
void runBoth(const First &first, const Second &second) {
    QFuture<void> other = QtConcurrent::run([&second] { second(); });
    first();
    other.waitForFinished();
}

// Runs work(begin, end) over [0, count), in two halves at once when there is enough of it.
template<typename Work>
void forBothHalves(qsizetype count, const Work &work) {
    if (count < kWorthSplitting) {
        work(qsizetype(0), count);
        return;
    }
    const qsizetype middle = count / 2;
    runBoth([&] { work(qsizetype(0), middle); }, [&] { work(middle, count); });
}

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

using NameKeys = std::vector<std::optional<QCollatorSortKey>>;

NameKeys nameKeysOf(const std::vector<const AppItem *> &items) {
    NameKeys keys(items.size());
    forBothHalves(qsizetype(items.size()), [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            keys[i] = LocaleCompare::sortKey(items[i]->name);
    });
    return keys;
}

// The stable display order of `items` as a permutation of their indices. For the name order,
// `nameKeys` holds the collation key of every item.
std::vector<qsizetype> displayOrder(const std::vector<const AppItem *> &items, AppSortOption order,
                                    const NameKeys &nameKeys) {
    std::vector<qsizetype> permutation(items.size());
    std::iota(permutation.begin(), permutation.end(), 0);
    const auto sortStably = [&permutation](const auto &before) {
        if (permutation.size() < size_t(kWorthSplitting)) {
            std::stable_sort(permutation.begin(), permutation.end(), before);
            return;
        }
        // Both halves at once, then a merge that prefers the first half on ties: still stable.
        const auto middle = permutation.begin() + qsizetype(permutation.size() / 2);
        runBoth([&] { std::stable_sort(permutation.begin(), middle, before); },
                [&] { std::stable_sort(middle, permutation.end(), before); });
        std::inplace_merge(permutation.begin(), middle, permutation.end(), before);
    };
    switch (order.value()) {
    case AppSortOption::name:
        // Collating every pair is what makes a large name sort slow; a key per row is built once
        // and compares as plain bytes.
        sortStably([&nameKeys](qsizetype a, qsizetype b) { return nameKeys[a]->compare(*nameKeys[b]) < 0; });
        break;
    case AppSortOption::date:
        sortStably([&items](qsizetype a, qsizetype b) {
            return orEmpty(items[a]->versionDate) > orEmpty(items[b]->versionDate);
        });
        break;
    case AppSortOption::size:
        sortStably([&items](qsizetype a, qsizetype b) {
            return items[a]->size.value_or(0) > items[b]->size.value_or(0);
        });
        break;
    }
    return permutation;
}

// Appends `text` with every code point replaced by its simple case folding, exactly as QString's
// case-insensitive search folds (a code unit at a time, surrogate pairs as one code point).
void appendFolded(QString &out, QStringView text) {
    qsizetype written = out.size();
    out.resize(written + text.size());
    char16_t *folded = reinterpret_cast<char16_t *>(out.data());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            folded[written++] = unit >= u'A' && unit <= u'Z' ? unit + 0x20 : unit;
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            const char32_t point = QChar::toCaseFolded(QChar::surrogateToUcs4(unit, text[++i].unicode()));
            if (QChar::requiresSurrogates(point)) {
                folded[written++] = QChar::highSurrogate(point);
                folded[written++] = QChar::lowSurrogate(point);
            } else {
                folded[written++] = char16_t(point);
            }
        } else {
            folded[written++] = QChar(unit).toCaseFolded().unicode();
        }
    }
    out.resize(written);
}

struct Grouping {
    std::vector<int> groupOf;
    // Per group, numbered in the order groups are first seen.
    std::vector<qsizetype> firstApp;
    std::vector<qsizetype> newestApp;
};

// One pass of grouping in an open-addressing table of group numbers. Each group keeps its first
// newest build, which is what a stable newest-first sort would put at its front. Cheap hashes
// leave most of the text unread; when too many different groups share one (a coincidence of
// lengths, or a feed made so), nothing is returned and the caller hashes the whole texts instead.
std::optional<Grouping> groupApps(const std::vector<const AppItem *> &apps, bool strict,
                                  bool hashWholeTexts) {
    constexpr int kMostGroupsSharingAHash = 16;
    const qsizetype appCount = qsizetype(apps.size());
    const size_t seed = QHashSeed::globalSeed();
    std::vector<size_t> hashes(apps.size());
    forBothHalves(appCount, [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i) {
            const KeyParts parts(*apps[i], strict);
            hashes[i] = hashWholeTexts
                            ? qHashMulti(seed, parts.base, parts.source, parts.name, parts.description)
                            : parts.cheapHash(seed);
        }
    });

    // Apps are dealt to two tables by one bit of their hash, so both threads group at once; each
    // table numbers its groups in the order it first sees them.
    struct Partition {
        std::vector<qsizetype> firstApp;
        std::vector<qsizetype> newestApp;
        bool crowded = false;
    };
    Partition partitions[2];
    std::vector<int> localGroupOf(apps.size());
    const auto partitionOf = [](size_t hash) {
        return int(hash >> (std::numeric_limits<size_t>::digits - 1));
    };
    const auto fill = [&](int which) {
        Partition &partition = partitions[which];
        const size_t capacity = std::bit_ceil(size_t(std::max<qsizetype>(16, appCount)));
        const size_t mask = capacity - 1;
        std::vector<int> table(capacity, -1);
        for (qsizetype i = 0; i < appCount; ++i) {
            const size_t hash = hashes[i];
            if (partitionOf(hash) != which)
                continue;
            int sharingHash = 0;
            for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
                const int group = table[slot];
                if (group < 0) {
                    table[slot] = int(partition.firstApp.size());
                    localGroupOf[i] = int(partition.firstApp.size());
                    partition.firstApp.push_back(i);
                    partition.newestApp.push_back(i);
                    break;
                }
                const qsizetype first = partition.firstApp[group];
                if (hashes[first] != hash)
                    continue;
                if (KeyParts(*apps[first], strict) == KeyParts(*apps[i], strict)) {
                    localGroupOf[i] = group;
                    qsizetype &newest = partition.newestApp[group];
                    if (isNewerBuild(*apps[i], *apps[newest]))
                        newest = i;
                    break;
                }
                if (++sharingHash > kMostGroupsSharingAHash && !hashWholeTexts) {
                    partition.crowded = true;
                    return;
                }
            }
        }
    };
    if (appCount < kWorthSplitting) {
        fill(0);
        fill(1);
    } else {
        runBoth([&] { fill(0); }, [&] { fill(1); });
    }
    if (partitions[0].crowded || partitions[1].crowded)
        return std::nullopt;

    // One numbering in the order groups are first seen: merge the two ascending lists of first
    // apps.
    Grouping grouping;
    const qsizetype groupCount = qsizetype(partitions[0].firstApp.size() + partitions[1].firstApp.size());
    grouping.firstApp.reserve(size_t(groupCount));
    grouping.newestApp.reserve(size_t(groupCount));
    std::vector<int> globalGroup[2] = {std::vector<int>(partitions[0].firstApp.size()),
                                       std::vector<int>(partitions[1].firstApp.size())};
    for (size_t next[2] = {0, 0}; next[0] + next[1] < size_t(groupCount);) {
        const bool takeFirst = next[1] == partitions[1].firstApp.size() ||
                               (next[0] < partitions[0].firstApp.size() &&
                                partitions[0].firstApp[next[0]] < partitions[1].firstApp[next[1]]);
        const int which = takeFirst ? 0 : 1;
        globalGroup[which][next[which]] = int(grouping.firstApp.size());
        grouping.firstApp.push_back(partitions[which].firstApp[next[which]]);
        grouping.newestApp.push_back(partitions[which].newestApp[next[which]]);
        ++next[which];
    }
    grouping.groupOf.resize(apps.size());
    forBothHalves(appCount, [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            grouping.groupOf[i] = globalGroup[partitionOf(hashes[i])][localGroupOf[i]];
    });
    return grouping;
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

SearchIndex buildSearchIndex(const QList<AppItem> &rows) {
    SearchIndex index;
    index.rowStart.resize(size_t(rows.size()) + 1);
    index.sourceOf.resize(size_t(rows.size()));
    QHash<QString, int> sourceNumbers;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        const std::optional<QString> &source = rows[row].sourceRepoName;
        if (!source) {
            index.sourceOf[row] = -1;
            continue;
        }
        const auto known = sourceNumbers.constFind(*source);
        if (known != sourceNumbers.cend()) {
            index.sourceOf[row] = *known;
        } else {
            index.sourceOf[row] = int(index.sources.size());
            sourceNumbers.insert(*source, int(index.sources.size()));
            index.sources.append(*source);
        }
    }

    // Each half folds into a text of its own; the second is appended and its offsets shifted.
    const qsizetype middle = rows.size() / 2;
    QString halves[2];
    const auto fold = [&](int half) {
        const qsizetype first = half == 0 ? 0 : middle;
        const qsizetype last = half == 0 ? middle : rows.size();
        QString &text = halves[half];
        for (qsizetype row = first; row < last; ++row) {
            index.rowStart[row] = text.size();
            appendFolded(text, rows[row].name);
            text.append(QChar(u'\0'));
            appendFolded(text, rows[row].bundleIdentifier);
            text.append(QChar(u'\0'));
        }
    };
    if (rows.size() < kWorthSplitting) {
        fold(0);
        fold(1);
    } else {
        runBoth([&] { fold(0); }, [&] { fold(1); });
    }
    for (qsizetype row = middle; row < rows.size(); ++row)
        index.rowStart[row] += halves[0].size();
    index.foldedText = std::move(halves[0]);
    index.foldedText.append(halves[1]);
    index.rowStart[rows.size()] = index.foldedText.size();
    return index;
}

Catalogue assemble(const QList<QList<AppItem>> &sources, AppSortOption order, bool strictGrouping,
                   const Catalogue &previous) {
    const std::vector<const AppItem *> apps = flatten(sources);
    const qsizetype appCount = qsizetype(apps.size());
    std::optional<Grouping> grouping = groupApps(apps, strictGrouping, false);
    if (!grouping)
        grouping = groupApps(apps, strictGrouping, true);
    const std::vector<int> &groupOf = grouping->groupOf;
    const std::vector<qsizetype> &firstApp = grouping->firstApp;
    const std::vector<qsizetype> &newestApp = grouping->newestApp;
    const int groupCount = int(firstApp.size());

    // Parts holding '|' may join to the key text of other parts; such groups share that key and
    // are one group, the earlier taking the later in. Found when the keys go into the map, which
    // is then built once more.
    std::vector<int> ownerOf(size_t(groupCount), 0);
    std::iota(ownerOf.begin(), ownerOf.end(), 0);
    Catalogue catalogue;
    std::vector<const AppItem *> representatives;
    for (bool merged = false;;) {
        // The members of every group in input order, laid out one group after another.
        std::vector<qsizetype> memberStart(size_t(groupCount) + 1, 0);
        for (qsizetype i = 0; i < appCount; ++i)
            ++memberStart[ownerOf[groupOf[i]] + 1];
        std::partial_sum(memberStart.begin(), memberStart.end(), memberStart.begin());
        std::vector<qsizetype> members(apps.size());
        {
            std::vector<qsizetype> next(memberStart.begin(), memberStart.end() - 1);
            for (qsizetype i = 0; i < appCount; ++i)
                members[next[ownerOf[groupOf[i]]]++] = i;
        }
        std::vector<int> liveGroups;
        liveGroups.reserve(size_t(groupCount));
        for (int group = 0; group < groupCount; ++group) {
            if (ownerOf[group] == group)
                liveGroups.push_back(group);
        }

        const qsizetype liveCount = qsizetype(liveGroups.size());
        std::vector<QString> keys(liveGroups.size());
        std::vector<QList<AppItem>> versions(liveGroups.size());
        // Per group, the list of the previous catalogue it equals, which it then shares.
        std::vector<const AppItem *> keptList(liveGroups.size(), nullptr);
        representatives.assign(liveGroups.size(), nullptr);
        forBothHalves(liveCount, [&](qsizetype begin, qsizetype end) {
            for (qsizetype live = begin; live < end; ++live) {
                const int group = liveGroups[live];
                const auto first = members.cbegin() + memberStart[group];
                const auto last = members.cbegin() + memberStart[group + 1];
                keys[live] = variantKey(*apps[firstApp[group]], strictGrouping);
                const auto previousList = previous.groups.constFind(keys[live]);
                if (previousList != previous.groups.cend() &&
                    std::equal(previousList->cbegin(), previousList->cend(), first, last,
                               [&apps](const AppItem &kept, qsizetype app) { return kept == *apps[app]; })) {
                    versions[live] = *previousList;
                    keptList[live] = previousList->constData();
                } else {
                    versions[live].reserve(last - first);
                    for (auto member = first; member != last; ++member)
                        versions[live].append(*apps[*member]);
                }
                qsizetype newest = merged ? *first : newestApp[group];
                for (auto member = first; merged && member != last; ++member) {
                    if (isNewerBuild(*apps[*member], *apps[newest]))
                        newest = *member;
                }
                representatives[live] = apps[newest];
            }
        });
        // Nothing changed when every group equals a different one of the same number of
        // previous groups: the previous map is then kept as it is.
        bool everyGroupKept = !merged && liveCount == previous.groups.size() &&
                              std::find(keptList.cbegin(), keptList.cend(), nullptr) == keptList.cend();
        if (everyGroupKept) {
            std::vector<const AppItem *> distinct = keptList;
            std::sort(distinct.begin(), distinct.end());
            everyGroupKept = std::adjacent_find(distinct.cbegin(), distinct.cend()) == distinct.cend();
        }

        // The map and the rows need nothing of each other: they are built at the same time.
        bool keysRepeat = false;
        const auto fillGroups = [&] {
            if (everyGroupKept) {
                catalogue.groups = previous.groups;
                return;
            }
            catalogue.groups.clear();
            catalogue.groups.reserve(liveCount);
            for (qsizetype live = 0; live < liveCount; ++live) {
                const qsizetype before = catalogue.groups.size();
                catalogue.groups.insert(keys[live], std::move(versions[live]));
                keysRepeat = keysRepeat || catalogue.groups.size() == before;
            }
        };
        const auto fillRows = [&] {
            const std::vector<qsizetype> permutation =
                displayOrder(representatives, order,
                             order == AppSortOption::name ? nameKeysOf(representatives) : NameKeys());
            const qsizetype rowCount = qsizetype(permutation.size());
            catalogue.displayApps = QList<AppItem>(rowCount);
            AppItem *rows = catalogue.displayApps.data();
            std::atomic<qsizetype> keptRows = 0;
            forBothHalves(rowCount, [&](qsizetype begin, qsizetype end) {
                qsizetype kept = 0;
                for (qsizetype row = begin; row < end; ++row) {
                    const AppItem &representative = *representatives[permutation[row]];
                    if (row < previous.displayApps.size() && previous.displayApps[row] == representative) {
                        rows[row] = previous.displayApps[row];
                        ++kept;
                    } else {
                        rows[row] = representative;
                    }
                }
                keptRows += kept;
            });
            if (keptRows == rowCount && rowCount == previous.displayApps.size())
                catalogue.displayApps = previous.displayApps;
            catalogue.searchIndex = buildSearchIndex(catalogue.displayApps);
        };
        if (liveCount < kWorthSplitting) {
            fillGroups();
            fillRows();
        } else {
            runBoth(fillRows, fillGroups);
        }
        if (!keysRepeat)
            break;
        QHash<QString, int> ownerOfKey;
        for (qsizetype live = 0; live < liveCount; ++live) {
            const int owner = ownerOfKey.value(keys[live], -1);
            if (owner < 0)
                ownerOfKey.insert(keys[live], liveGroups[live]);
            else
                ownerOf[liveGroups[live]] = owner;
        }
        merged = true;
    }

    return catalogue;
}

void sortForDisplay(QList<AppItem> &apps, AppSortOption order) {
    std::vector<const AppItem *> items;
    items.reserve(size_t(apps.size()));
    for (const AppItem &app : std::as_const(apps))
        items.push_back(&app);
    QList<AppItem> sorted;
    sorted.reserve(apps.size());
    for (qsizetype index :
         displayOrder(items, order, order == AppSortOption::name ? nameKeysOf(items) : NameKeys()))
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
    QList<AppItem> result;
    for (const AppItem &app : apps) {
        if (sourceRepoName && app.sourceRepoName != sourceRepoName)
            continue;
        if (!searching || app.name.contains(searchText, Qt::CaseInsensitive) ||
            app.bundleIdentifier.contains(searchText, Qt::CaseInsensitive))
            result.append(app);
    }
    return result;
}

QList<AppItem> filterApps(const QList<AppItem> &apps, const SearchIndex &index,
                          const std::optional<QString> &sourceRepoName, const QString &searchText) {
    const bool searching = !searchText.trimmed().isEmpty();
    if (!sourceRepoName && !searching)
        return apps;
    QString needle;
    appendFolded(needle, searchText);
    // The separator could make a match run from a name into its bundle identifier.
    if (needle.contains(QChar(u'\0')))
        return filterApps(apps, sourceRepoName, searchText);

    int wantedSource = -1;
    if (sourceRepoName) {
        wantedSource = int(index.sources.indexOf(*sourceRepoName));
        if (wantedSource < 0)
            return {};
    }
    QList<AppItem> result;
    if (!searching) {
        for (qsizetype row = 0; row < apps.size(); ++row) {
            if (index.sourceOf[row] == wantedSource)
                result.append(apps[row]);
        }
        return result;
    }
    const QStringMatcher matcher(needle, Qt::CaseSensitive);
    for (qsizetype at = matcher.indexIn(index.foldedText, 0); at >= 0;) {
        const qsizetype row =
            std::upper_bound(index.rowStart.begin(), index.rowStart.end(), at) - index.rowStart.begin() - 1;
        if (wantedSource < 0 || index.sourceOf[row] == wantedSource)
            result.append(apps[row]);
        at = matcher.indexIn(index.foldedText, index.rowStart[row + 1]);
    }
    return result;
}

QMap<QString, QString> availableUpdates(const QList<QList<AppItem>> &sources,
                                        const QList<LocalApp> &installedApps) {
    // Only the bundle identifiers installed with a version can be listed, so only theirs are
    // followed: a small table that stays in the cache while every offered build passes by.
    QHash<QString, std::optional<QString>> latest;
    for (const LocalApp &installed : installedApps) {
        if (installed.version)
            latest.insert(installed.bundleID, std::nullopt);
    }
    latest.remove(QString());
    latest.remove(u"unknown"_s);
    if (latest.isEmpty())
        return {};
    for (const QList<AppItem> &source : sources) {
        for (const AppItem &app : source) {
            const auto entry = latest.find(app.bundleIdentifier);
            if (entry == latest.end())
                continue;
            if (!*entry || VersionCompare::compare(app.version, **entry) > 0)
                *entry = app.version;
        }
    }

    QMap<QString, QString> updates;
    for (const LocalApp &installed : installedApps) {
        if (!installed.version)
            continue;
        const auto offered = latest.constFind(installed.bundleID);
        if (offered != latest.cend() && *offered &&
            VersionCompare::compare(**offered, *installed.version) > 0)
            updates.insert(installed.bundleID, **offered);
    }
    return updates;
}

} // namespace CatalogueAssembly

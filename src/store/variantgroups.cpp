#include "variantgroups.h"

#include "platform/parallelhalves.h"
#include "store/catalogueassembly.h"

#include <QHashSeed>

#include <algorithm>
#include <atomic>
#include <bit>
#include <limits>
#include <numeric>
#include <optional>

using ParallelHalves::forBothHalves;
using ParallelHalves::kWorthSplitting;
using ParallelHalves::runBoth;

namespace {

// What the key text is made of. Apps with equal parts have equal keys, so grouping can compare
// the parts where they lie instead of building a key text for every app.
struct KeyParts {
    QStringView base;
    QStringView name;
    QStringView source;
    QStringView description;

    KeyParts(const AppItem &app, bool strict)
        : base(CatalogueAssembly::variantBase(app)) {
        if (strict) {
            name = app.name;
            source = CatalogueAssembly::orEmpty(app.sourceRepoName);
            description = CatalogueAssembly::orEmpty(app.localizedDescription);
        }
    }

    friend bool operator==(const KeyParts &a, const KeyParts &b) {
        return a.base == b.base && a.name == b.name && a.source == b.source && a.description == b.description;
    }

    // Reading text is what costs here: the bundle identifier (or address) and the source, which
    // one repository shares among all its apps, are hashed; of the name and description only the
    // lengths, which sit in the item. Equality settles the rest.
    size_t hash(size_t seed, bool wholeTexts) const {
        return wholeTexts ? qHashMulti(seed, base, source, name, description)
                          : qHashMulti(seed, base, source, name.size(), description.size());
    }

    // Without '|' in the parts before the description, each part ends at the next separator of
    // the key text, so equal texts come from equal parts whatever the description holds.
    bool mayJoinAmbiguously() const {
        return base.contains(u'|') || name.contains(u'|') || source.contains(u'|');
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

struct Grouping {
    std::vector<size_t> hashes;
    std::vector<int> groupOf;
    // Per group, numbered in the order groups are first seen.
    std::vector<qsizetype> firstApp;
    std::vector<qsizetype> newestApp;
};

// One pass of grouping by key parts in an open-addressing table of group numbers. Each group
// keeps its first newest build. Cheap hashes leave most of the text unread; when too many
// different groups share one (a coincidence of lengths, or a feed made so), nothing is returned
// and the caller hashes the whole texts instead.
std::optional<Grouping> groupByParts(const std::vector<const AppItem *> &apps, bool strict, bool wholeTexts) {
    constexpr int kMostGroupsSharingAHash = 16;
    const qsizetype appCount = qsizetype(apps.size());
    const size_t seed = QHashSeed::globalSeed();
    Grouping grouping;
    std::vector<size_t> &hashes = grouping.hashes;
    hashes.resize(apps.size());
    forBothHalves(appCount, [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            hashes[i] = KeyParts(*apps[i], strict).hash(seed, wholeTexts);
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
                    if (CatalogueAssembly::isNewerBuild(*apps[i], *apps[newest]))
                        newest = i;
                    break;
                }
                if (++sharingHash > kMostGroupsSharingAHash && !wholeTexts) {
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

VariantGroups VariantGroups::group(QList<QList<AppItem>> sources, bool strictGrouping) {
    VariantGroups groups;
    groups.m_sources = std::move(sources);
    groups.m_strict = strictGrouping;
    groups.m_apps = flatten(groups.m_sources);
    const std::vector<const AppItem *> &apps = groups.m_apps;
    const qsizetype appCount = qsizetype(apps.size());

    std::optional<Grouping> grouping = groupByParts(apps, strictGrouping, false);
    groups.m_wholeTextHashes = !grouping;
    if (!grouping)
        grouping = groupByParts(apps, strictGrouping, true);
    const qsizetype partGroupCount = qsizetype(grouping->firstApp.size());

    // Parts holding '|' may join to the key text of other parts; such groups share that key and
    // are one group, the first seen taking the others in.
    std::vector<int> ownerOf(static_cast<size_t>(partGroupCount));
    std::iota(ownerOf.begin(), ownerOf.end(), 0);
    std::atomic<bool> ambiguous = false;
    if (strictGrouping) {
        forBothHalves(partGroupCount, [&](qsizetype begin, qsizetype end) {
            for (qsizetype group = begin; group < end && !ambiguous; ++group) {
                if (KeyParts(*apps[grouping->firstApp[group]], true).mayJoinAmbiguously())
                    ambiguous = true;
            }
        });
    }
    // Each key text under the first group seen with it; renumbered below, it finds the groups.
    QHash<QString, int> firstWithKey;
    bool merged = false;
    if (ambiguous) {
        for (qsizetype group = 0; group < partGroupCount; ++group) {
            const QString key = CatalogueAssembly::variantKey(*apps[grouping->firstApp[group]], true);
            const auto owner = firstWithKey.constFind(key);
            if (owner == firstWithKey.cend()) {
                firstWithKey.insert(key, int(group));
            } else {
                ownerOf[group] = *owner;
                merged = true;
            }
        }
    }

    // Groups that took none in keep their numbers relative to each other.
    std::vector<int> numberOf(static_cast<size_t>(partGroupCount), -1);
    int groupCount = 0;
    for (qsizetype group = 0; group < partGroupCount; ++group) {
        if (ownerOf[group] == group)
            numberOf[group] = groupCount++;
    }
    const auto finalGroupOf = [&](qsizetype app) {
        return numberOf[ownerOf[grouping->groupOf[app]]];
    };

    groups.m_memberStart.assign(size_t(groupCount) + 1, 0);
    for (qsizetype i = 0; i < appCount; ++i)
        ++groups.m_memberStart[finalGroupOf(i) + 1];
    std::partial_sum(groups.m_memberStart.begin(), groups.m_memberStart.end(), groups.m_memberStart.begin());
    groups.m_members.resize(apps.size());
    {
        std::vector<qsizetype> next(groups.m_memberStart.begin(), groups.m_memberStart.end() - 1);
        for (qsizetype i = 0; i < appCount; ++i)
            groups.m_members[next[finalGroupOf(i)]++] = i;
    }

    groups.m_newest.resize(size_t(groupCount));
    for (qsizetype group = 0; group < partGroupCount; ++group) {
        if (numberOf[group] >= 0)
            groups.m_newest[numberOf[group]] = grouping->newestApp[group];
    }
    if (merged) {
        for (int group = 0; group < groupCount; ++group) {
            qsizetype &newest = groups.m_newest[group];
            newest = groups.m_members[groups.m_memberStart[group]];
            for (qsizetype at = groups.m_memberStart[group]; at < groups.m_memberStart[group + 1]; ++at) {
                if (CatalogueAssembly::isNewerBuild(*apps[groups.m_members[at]], *apps[newest]))
                    newest = groups.m_members[at];
            }
        }
    }

    if (ambiguous) {
        for (int &group : firstWithKey)
            group = numberOf[group];
        groups.m_groupOfKeyText = std::move(firstWithKey);
        return groups;
    }
    const size_t capacity = std::bit_ceil(size_t(std::max(16, groupCount * 2)));
    groups.m_table.assign(capacity, -1);
    groups.m_groupHash.resize(size_t(groupCount));
    for (qsizetype group = 0; group < partGroupCount; ++group) {
        const int number = numberOf[group];
        const size_t hash = grouping->hashes[grouping->firstApp[group]];
        groups.m_groupHash[number] = hash;
        size_t slot = hash & (capacity - 1);
        while (groups.m_table[slot] >= 0)
            slot = (slot + 1) & (capacity - 1);
        groups.m_table[slot] = number;
    }
    return groups;
}

bool VariantGroups::isMadeOf(const QList<QList<AppItem>> &sources, bool strictGrouping) const {
    if (strictGrouping != m_strict || sources.size() != m_sources.size())
        return false;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        if (sources[i].constData() != m_sources[i].constData() || sources[i].size() != m_sources[i].size())
            return false;
    }
    return true;
}

int VariantGroups::findGroup(const AppItem &app) const {
    if (m_table.empty())
        return m_groupOfKeyText.value(CatalogueAssembly::variantKey(app, m_strict), -1);
    const KeyParts parts(app, m_strict);
    const size_t hash = parts.hash(QHashSeed::globalSeed(), m_wholeTextHashes);
    const size_t mask = m_table.size() - 1;
    for (size_t slot = hash & mask; m_table[slot] >= 0; slot = (slot + 1) & mask) {
        const int group = m_table[slot];
        if (m_groupHash[group] == hash &&
            KeyParts(*m_apps[m_members[m_memberStart[group]]], m_strict) == parts)
            return group;
    }
    return -1;
}

QList<AppItem> VariantGroups::buildsOf(int group) const {
    QList<AppItem> builds;
    builds.reserve(m_memberStart[group + 1] - m_memberStart[group]);
    for (qsizetype at = m_memberStart[group]; at < m_memberStart[group + 1]; ++at)
        builds.append(*m_apps[m_members[at]]);
    return builds;
}

QList<AppItem> VariantGroups::versionsOf(const AppItem &app) const {
    const int group = findGroup(app);
    return group < 0 ? QList<AppItem>() : buildsOf(group);
}

QHash<QString, QList<AppItem>> VariantGroups::toHash() const {
    QHash<QString, QList<AppItem>> hash;
    hash.reserve(size());
    for (int group = 0; group < int(size()); ++group)
        hash.insert(CatalogueAssembly::variantKey(*m_apps[m_members[m_memberStart[group]]], m_strict),
                    buildsOf(group));
    return hash;
}

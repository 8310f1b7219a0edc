#pragma once

#include "model/appitem.h"

#include <QHash>
#include <QList>
#include <QString>

#include <vector>

// The builds of a catalogue grouped by variant key. Groups are kept as positions in the shared
// lists the builds came from: grouping a hundred thousand builds copies none of them and builds
// no key text. Immutable once made, so any thread may read it.
class VariantGroups {
public:
    VariantGroups() = default;
    VariantGroups(VariantGroups &&) = default;
    VariantGroups &operator=(VariantGroups &&) = default;
    // The positions point into the lists; a copy of them must not outlive the original.
    VariantGroups(const VariantGroups &) = delete;
    VariantGroups &operator=(const VariantGroups &) = delete;

    // Groups the builds of all sources, taken in order as one list. Builds whose key texts are
    // equal are one group. Uses a second thread of the global pool when there is enough work.
    static VariantGroups group(QList<QList<AppItem>> sources, bool strictGrouping);

    qsizetype size() const { return qsizetype(m_newest.size()); }
    bool isEmpty() const { return m_newest.empty(); }
    // Whether these groups were made of these very lists (shared, not merely equal).
    bool isMadeOf(const QList<QList<AppItem>> &sources, bool strictGrouping) const;

    // Per group, numbered in the order groups are first seen: its newest build, the first of
    // equal ones, as a stable newest-first sort would put it.
    const AppItem &newestBuild(qsizetype group) const { return *m_apps[size_t(m_newest[size_t(group)])]; }
    // The builds of the group `app` belongs to, in input order; empty when it belongs to none.
    QList<AppItem> versionsOf(const AppItem &app) const;
    // Every group under its key text.
    QHash<QString, QList<AppItem>> toHash() const;

private:
    int findGroup(const AppItem &app) const;
    QList<AppItem> buildsOf(int group) const;

    QList<QList<AppItem>> m_sources;
    bool m_strict = true;
    std::vector<const AppItem *> m_apps;
    // The builds of group g are m_members[m_memberStart[g] .. m_memberStart[g + 1]).
    std::vector<qsizetype> m_memberStart;
    std::vector<qsizetype> m_members;
    std::vector<qsizetype> m_newest;
    // Finding an app's group: an open-addressing table of groups by the hash of their key parts,
    // or, when some key text contains the separator and texts may join differently, a table of
    // key texts.
    bool m_wholeTextHashes = false;
    std::vector<size_t> m_groupHash;
    std::vector<int> m_table;
    QHash<QString, int> m_groupOfKeyText;
};

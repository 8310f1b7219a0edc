#include "catalogueassembly.h"

#include "platform/localecompare.h"
#include "platform/parallelhalves.h"
#include "platform/versioncompare.h"
#include "store/textnumbering.h"

#include <algorithm>
#include <atomic>
#include <numeric>
#include <vector>

using namespace Qt::StringLiterals;

namespace CatalogueAssembly {

namespace {

using ParallelHalves::forBothHalves;
using ParallelHalves::kWorthSplitting;
using ParallelHalves::runBoth;

// Sorts stably, both halves at once when there are enough, then a merge that prefers the first
// half on ties: still stable.
template<typename T, typename Before>
void sortStably(std::vector<T> &items, const Before &before) {
    if (items.size() < size_t(kWorthSplitting)) {
        std::stable_sort(items.begin(), items.end(), before);
        return;
    }
    const auto middle = items.begin() + qsizetype(items.size() / 2);
    runBoth([&] { std::stable_sort(items.begin(), middle, before); },
            [&] { std::stable_sort(middle, items.end(), before); });
    std::inplace_merge(items.begin(), middle, items.end(), before);
}

// Per item, the place of its name in the collation order of all the names. Names that collate
// as equal share a place. Building a collation key is the costly step, so each distinct text gets
// one, and the keys are sorted once instead of the rows.
std::vector<int> nameRanksOf(const std::vector<const AppItem *> &items) {
    const size_t count = items.size();
    std::vector<size_t> hashes(count);
    forBothHalves(qsizetype(count), [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            hashes[i] = TextNumbering::hashOf(items[i]->name);
    });
    std::vector<int> distinctOf(count);
    std::vector<size_t> firstWithText;
    TextNumbering distinct{qsizetype(count)};
    for (size_t i = 0; i < count; ++i) {
        distinctOf[i] = distinct.add(items[i]->name, hashes[i]);
        if (size_t(distinctOf[i]) == firstWithText.size())
            firstWithText.push_back(i);
    }
    std::vector<std::optional<QCollatorSortKey>> keys(firstWithText.size());
    forBothHalves(distinct.size(), [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            keys[i] = LocaleCompare::sortKey(items[firstWithText[i]]->name);
    });
    std::vector<int> byKey(size_t(distinct.size()));
    std::iota(byKey.begin(), byKey.end(), 0);
    const auto before = [&keys](int a, int b) {
        return keys[a]->compare(*keys[b]) < 0;
    };
    sortStably(byKey, before);
    std::vector<int> rankOfDistinct(size_t(distinct.size()));
    int rank = 0;
    for (size_t i = 0; i < byKey.size(); ++i) {
        if (i > 0 && before(byKey[i - 1], byKey[i]))
            ++rank;
        rankOfDistinct[byKey[i]] = rank;
    }
    std::vector<int> ranks(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        ranks[i] = rankOfDistinct[distinctOf[i]];
    return ranks;
}

// The display order by name: ranks are small numbers, and counting them out keeps equal names in
// input order.
std::vector<qsizetype> orderByName(const std::vector<const AppItem *> &items) {
    const std::vector<int> ranks = nameRanksOf(items);
    std::vector<qsizetype> next(items.size() + 1, 0);
    for (int rank : ranks)
        ++next[size_t(rank) + 1];
    std::partial_sum(next.begin(), next.end(), next.begin());
    std::vector<qsizetype> permutation(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        permutation[size_t(next[size_t(ranks[i])]++)] = qsizetype(i);
    return permutation;
}

// The stable display order of `items` as a permutation of their indices.
std::vector<qsizetype> displayOrder(const std::vector<const AppItem *> &items, AppSortOption order) {
    std::vector<qsizetype> permutation(items.size());
    std::iota(permutation.begin(), permutation.end(), 0);
    switch (order.value()) {
    case AppSortOption::Name:
        return orderByName(items);
    case AppSortOption::Date:
        sortStably(permutation, [&items](qsizetype a, qsizetype b) {
            return orEmpty(items[a]->versionDate) > orEmpty(items[b]->versionDate);
        });
        break;
    case AppSortOption::Size:
        sortStably(permutation, [&items](qsizetype a, qsizetype b) {
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

} // namespace

bool isUsableBundleIdentifier(const QString &bundleIdentifier) {
    // The feed decoder's stand-in for a missing identifier names no app either.
    return !bundleIdentifier.isEmpty() && bundleIdentifier != u"unknown"_s &&
           bundleIdentifier != u"unknown.bundle.id"_s;
}

const QString &variantBase(const AppItem &app) {
    return isUsableBundleIdentifier(app.bundleIdentifier) ? app.bundleIdentifier : app.downloadURL;
}

QString variantKey(const AppItem &app, bool strictGrouping) {
    const QString &base = variantBase(app);
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
    TextNumbering sources;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        const std::optional<QString> &source = rows[row].sourceRepoName;
        index.sourceOf[row] = source ? sources.add(*source) : -1;
    }
    for (int number = 0; number < sources.size(); ++number)
        index.sources.append(sources.text(number).toString());

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
    Catalogue catalogue;
    catalogue.groups =
        previous.groups && previous.groups->isMadeOf(sources, strictGrouping)
            ? previous.groups
            : std::make_shared<const VariantGroups>(VariantGroups::group(sources, strictGrouping));
    const VariantGroups &groups = *catalogue.groups;
    std::vector<const AppItem *> representatives(size_t(groups.size()));
    for (qsizetype group = 0; group < groups.size(); ++group)
        representatives[group] = &groups.newestBuild(group);

    const std::vector<qsizetype> permutation = displayOrder(representatives, order);
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
    // Qt's own search picks its method by the needle: a vector scan for one character, where a
    // Boyer-Moore matcher could skip nothing and read every character through its table.
    const QStringView text(index.foldedText);
    for (qsizetype at = text.indexOf(needle, 0); at >= 0;) {
        const qsizetype row =
            std::upper_bound(index.rowStart.begin(), index.rowStart.end(), at) - index.rowStart.begin() - 1;
        if (wantedSource < 0 || index.sourceOf[row] == wantedSource)
            result.append(apps[row]);
        at = text.indexOf(needle, index.rowStart[row + 1]);
    }
    return result;
}

QMap<QString, QString> availableUpdates(const QList<QList<AppItem>> &sources,
                                        const QList<LocalApp> &installedApps) {
    // Only the bundle identifiers installed with a version can be listed, so only theirs are
    // followed: a small table that stays in the cache while every offered build passes by.
    TextNumbering followed{installedApps.size()};
    std::vector<std::optional<QString>> latest;
    for (const LocalApp &installed : installedApps) {
        if (installed.version && isUsableBundleIdentifier(installed.bundleID) &&
            followed.add(installed.bundleID) == qsizetype(latest.size()))
            latest.emplace_back();
    }
    if (latest.empty())
        return {};
    for (const QList<AppItem> &source : sources) {
        for (const AppItem &app : source) {
            const int number = followed.find(app.bundleIdentifier);
            if (number < 0)
                continue;
            std::optional<QString> &offered = latest[size_t(number)];
            if (!offered || VersionCompare::compare(app.version, *offered) > 0)
                offered = app.version;
        }
    }

    QMap<QString, QString> updates;
    for (const LocalApp &installed : installedApps) {
        if (!installed.version)
            continue;
        const int number = followed.find(installed.bundleID);
        if (number >= 0 && latest[size_t(number)] &&
            VersionCompare::compare(*latest[size_t(number)], *installed.version) > 0)
            updates.insert(installed.bundleID, *latest[size_t(number)]);
    }
    return updates;
}

} // namespace CatalogueAssembly

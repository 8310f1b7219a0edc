#include "model/reporesponse.h"
#include "platform/localecompare.h"
#include "platform/versioncompare.h"
#include "store/catalogueassembly.h"
#include "storetestsupport.h"
#include "support/testmain.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;
using namespace CatalogueAssembly;
using namespace StoreTest;

namespace {

AppItem withDate(AppItem item, const QString &date) {
    item.versionDate = date;
    return item;
}

AppItem withSize(AppItem item, qint64 size) {
    item.size = size;
    return item;
}

QStringList versionsOf(const QList<AppItem> &apps) {
    QStringList versions;
    for (const AppItem &item : apps)
        versions << item.version;
    return versions;
}

QStringList bundlesOf(const QList<AppItem> &apps) {
    QStringList bundles;
    for (const AppItem &item : apps)
        bundles << item.bundleIdentifier;
    return bundles;
}

// The grouping key written out by hand, for results computed without the code under test.
QString plainKey(const AppItem &item, bool strict) {
    const QString &id = item.bundleIdentifier;
    const QString base =
        id.isEmpty() || id == u"unknown"_s || id == u"unknown.bundle.id"_s ? item.downloadURL : id;
    if (!strict)
        return base;
    return base + u"|#|"_s + item.name + u"|#|"_s + item.sourceRepoName.value_or(QString()) + u"|#|"_s +
           item.localizedDescription.value_or(QString());
}

SavedRepo repository(const QString &name, const QList<AppItem> &apps) {
    return repo(name, QUrl(u"https://repo.example/"_s + name), apps);
}

// Makes one computation of the engine slow: the first caller sleeps on its worker thread, so a
// later computation finishes before it.
struct SlowFirstCall {
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);

    std::function<void()> hook() const {
        return [calls = calls] {
            if (calls->fetch_add(1) == 0)
                QThread::msleep(400);
        };
    }
};

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT

private:
    QNetworkAccessManager m_network;
    std::unique_ptr<AppStoreViewModel> m_engine;

    // An engine over `tree`, read from the repository file, whose start-up rebuild is already
    // under way so later rebuilds supersede it.
    void startEngine(const QList<SavedRepo> &tree, bool strictGrouping = true) {
        writeReposFile(tree);
        DefaultsStore().setBool(AppStoreViewModel::kStrictGrouping, strictGrouping);
        // Nothing listens there; a fetch going out by mistake fails at once.
        m_engine =
            std::make_unique<AppStoreViewModel>(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &m_network);
        QTRY_VERIFY(m_engine->m_catalogueGeneration >= 1);
    }

private Q_SLOTS:
    void cleanup() { m_engine.reset(); }

    void versionComparison_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");

        QTest::newRow("digit runs by value") << u"1.10"_s << u"1.9"_s << 1;
        QTest::newRow("leading zeros do not count") << u"1.01"_s << u"1.1"_s << 0;
        QTest::newRow("zeros before a greater value") << u"1.002"_s << u"1.1"_s << 1;
        QTest::newRow("prefix is smaller") << u"1.0"_s << u"1.0.0"_s << -1;
        QTest::newRow("suffix after digits") << u"1.0"_s << u"1.0b"_s << -1;
        QTest::newRow("empty is smallest") << u""_s << u"0"_s << -1;
        QTest::newRow("case-sensitive") << u"1.0b"_s << u"1.0B"_s << 1;
        QTest::newRow("letter after digit") << u"1.a"_s << u"1.5"_s << 1;
        QTest::newRow("punctuation before digit") << u"1.-"_s << u"1.0"_s << -1;
        QTest::newRow("longer run is greater")
            << u"123456789012345678901234567890"_s << u"99999999999999999999999999999"_s << 1;
        QTest::newRow("long runs differing late")
            << u"7.99999999999999999999999999998"_s << u"7.99999999999999999999999999999"_s << -1;
    }

    void versionComparison() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const auto sign = [](int value) {
            return (value > 0) - (value < 0);
        };
        QCOMPARE(sign(VersionCompare::compare(a, b)), order);
        QCOMPARE(sign(VersionCompare::compare(b, a)), -order);
    }

    // Two feeds each list one build with the same name and description. With strict grouping the
    // source tells them apart; without it the bundle identifier joins them, unless there is none:
    // missing, empty, or a text that only stands in for one.
    void buildsOfTwoSources_data() {
        QTest::addColumn<QByteArray>("identifier");
        QTest::addColumn<bool>("strict");
        QTest::addColumn<int>("rows");
        QTest::newRow("same identifier, strict") << QByteArray("'bundleIdentifier':'com.same',") << true << 2;
        QTest::newRow("same identifier, loose") << QByteArray("'bundleIdentifier':'com.same',") << false << 1;
        QTest::newRow("none, loose") << QByteArray() << false << 2;
        QTest::newRow("empty, loose") << QByteArray("'bundleID':'',") << false << 2;
        QTest::newRow("unknown, loose") << QByteArray("'bundleIdentifier':'unknown',") << false << 2;
    }

    void buildsOfTwoSources() {
        QFETCH(QByteArray, identifier);
        QFETCH(bool, strict);
        QFETCH(int, rows);
        QList<QList<AppItem>> sources;
        for (const QByteArray source : {"A", "B"}) {
            QByteArray json = "{'name':'" + source + "','apps':[{'name':'Tool'," + identifier +
                              "'version':'1.0','localizedDescription':'Same','downloadURL':'https://" +
                              source + ".example/tool.ipa'}]}";
            const DecodeResult<RepoResponse> feed = RepoResponse::decode(json.replace('\'', '"'));
            QVERIFY2(feed.ok(), qPrintable(feed.error()));
            QList<AppItem> apps = feed->apps;
            apps.first().sourceRepoName = QString::fromLatin1(source);
            sources.append(apps);
        }
        QCOMPARE(assemble(sources, AppSortOption::Name, strict).displayApps.size(), rows);
    }

    // Builds that differ only inside texts of equal length look alike to the quick first look of
    // grouping; many of them must still end up in their own groups.
    void lookalikeGroupsStayApart() {
        QList<AppItem> builds;
        for (int i = 0; i < 40; ++i) {
            AppItem item = app(u"com.same"_s, u"1.0"_s, u"Same"_s);
            item.localizedDescription = u"Text %1"_s.arg(i, 2, 10, QChar(u'0'));
            builds << item << withDate(item, u"2024"_s);
        }
        const Catalogue catalogue = assemble({builds}, AppSortOption::Name, true);
        QCOMPARE(catalogue.groups->size(), 40);
        QCOMPARE(catalogue.groups->toHash().value(variantKey(builds[6], true)),
                 (QList<AppItem>{builds[6], builds[7]}));
        QCOMPARE(catalogue.groups->versionsOf(builds[7]), (QList<AppItem>{builds[6], builds[7]}));
        QCOMPARE(catalogue.displayApps.size(), 40);
        QCOMPARE(catalogue.displayApps.first(), builds[1]);
    }

    // A fetch that finds a feed unchanged decodes equal builds into new texts. Whatever equals the
    // previous catalogue shares it, so comparing the two on the main thread is cheap; the result
    // is still exactly the catalogue of the new builds.
    void equalPartsShareThePreviousCatalogue() {
        const auto separateCopy = [](QList<AppItem> apps) {
            for (AppItem &item : apps) {
                item.name = QString(item.name.constData(), item.name.size());
                item.version = QString(item.version.constData(), item.version.size());
            }
            return apps;
        };
        const QList<AppItem> builds = {app(u"com.a"_s, u"1.0"_s, u"Alpha"_s, u"R"_s),
                                       app(u"com.a"_s, u"1.1"_s, u"Alpha"_s, u"R"_s),
                                       app(u"com.b"_s, u"2.0"_s, u"Beta"_s, u"R"_s)};
        const Catalogue previous = assemble({builds}, AppSortOption::Name, true);

        const Catalogue unchanged = assemble({separateCopy(builds)}, AppSortOption::Name, true, previous);
        QVERIFY(unchanged.displayApps.isSharedWith(previous.displayApps));
        QCOMPARE(unchanged.groups->toHash(), previous.groups->toHash());
        // The very same lists again, as after an edit of the tree elsewhere, keep the groups.
        QCOMPARE(assemble({builds}, AppSortOption::Date, true, previous).groups, previous.groups);

        QList<AppItem> changed = separateCopy(builds);
        changed[2].version = u"2.1"_s;
        const Catalogue next = assemble({changed}, AppSortOption::Name, true, previous);
        const Catalogue fresh = assemble({changed}, AppSortOption::Name, true);
        QCOMPARE(next.groups->toHash(), fresh.groups->toHash());
        QCOMPARE(next.displayApps, fresh.displayApps);
        QCOMPARE(next.displayApps.first().name.constData(), previous.displayApps.first().name.constData());
    }

    void representativeIsTheNewestBuild_data() {
        QTest::addColumn<QList<AppItem>>("builds");
        QTest::addColumn<int>("newest");

        const AppItem v19 = app(u"com.a"_s, u"1.9"_s);
        const AppItem v110 = app(u"com.a"_s, u"1.10"_s);
        QTest::newRow("numeric versions") << QList<AppItem>{v19, v110} << 1;
        QTest::newRow("same version, later date")
            << QList<AppItem>{withDate(v19, u"2024-01-01"_s), withDate(v19, u"2024-03-01"_s),
                              withDate(v19, u"2024-02-01"_s)}
            << 1;
        QTest::newRow("same version, a date beats none")
            << QList<AppItem>{v19, withDate(v19, u"2020"_s)} << 1;
        QTest::newRow("greater version beats a later date")
            << QList<AppItem>{withDate(v110, u"2020"_s), withDate(v19, u"2024"_s)} << 0;
        QTest::newRow("full tie keeps input order")
            << QList<AppItem>{withSize(withDate(v19, u"2024"_s), 1), withSize(withDate(v19, u"2024"_s), 2)}
            << 0;
        // Equal by value but not the same text: the date is not looked at.
        QTest::newRow("equal by value only")
            << QList<AppItem>{withDate(app(u"com.a"_s, u"1.01"_s), u"2020"_s),
                              withDate(app(u"com.a"_s, u"1.1"_s), u"2024"_s)}
            << 0;
    }

    void representativeIsTheNewestBuild() {
        QFETCH(QList<AppItem>, builds);
        QFETCH(int, newest);
        const Catalogue catalogue = assemble({builds}, AppSortOption::Name, true);
        QCOMPARE(catalogue.displayApps, QList<AppItem>{builds[newest]});
    }

    void sortOrders_data() {
        QTest::addColumn<QList<AppItem>>("apps");
        QTest::addColumn<AppSortOption>("order");
        QTest::addColumn<QStringList>("expected");

        // Case and accents as a reader expects them; names equal but for case keep their order.
        QTest::newRow("name") << QList<AppItem>{app(u"z"_s, u"1"_s, u"zebra"_s),
                                                app(u"a1"_s, u"1"_s, u"alpha"_s),
                                                app(u"em"_s, u"1"_s, u"Émile"_s),
                                                app(u"a2"_s, u"1"_s, u"Alpha"_s),
                                                app(u"ea"_s, u"1"_s, u"Eagle"_s),
                                                app(u"f"_s, u"1"_s, u"fox"_s)}
                              << AppSortOption(AppSortOption::Name)
                              << QStringList{u"a1"_s, u"a2"_s, u"ea"_s, u"em"_s, u"f"_s, u"z"_s};
        QTest::newRow("date, newest text first, absent last")
            << QList<AppItem>{withDate(app(u"a"_s, u"1"_s), u"2024-01-01"_s), app(u"none"_s, u"1"_s),
                              withDate(app(u"c"_s, u"1"_s), u"2024-03-01"_s),
                              withDate(app(u"d"_s, u"1"_s), u"2024-01-01"_s)}
            << AppSortOption(AppSortOption::Date) << QStringList{u"c"_s, u"a"_s, u"d"_s, u"none"_s};
        QTest::newRow("size, largest first, absent as zero")
            << QList<AppItem>{withSize(app(u"a"_s, u"1"_s), 10), app(u"none"_s, u"1"_s),
                              withSize(app(u"c"_s, u"1"_s), 300), withSize(app(u"zero"_s, u"1"_s), 0),
                              withSize(app(u"e"_s, u"1"_s), 10)}
            << AppSortOption(AppSortOption::Size)
            << QStringList{u"c"_s, u"a"_s, u"e"_s, u"none"_s, u"zero"_s};
    }

    void sortOrders() {
        QFETCH(QList<AppItem>, apps);
        QFETCH(AppSortOption, order);
        QFETCH(QStringList, expected);
        QList<AppItem> sorted = apps;
        sortForDisplay(sorted, order);
        QCOMPARE(bundlesOf(sorted), expected);
        // One app per group: the catalogue shows the same order.
        QCOMPARE(bundlesOf(assemble({apps}, order, true).displayApps), expected);
    }

    void versionListIsNewestFirstWithoutDates() {
        const QList<AppItem> builds = {
            withDate(app(u"com.a"_s, u"1.9"_s), u"2024"_s), app(u"com.a"_s, u"1.10"_s),
            withDate(app(u"com.a"_s, u"1.1"_s), u"2020"_s), withDate(app(u"com.a"_s, u"1.01"_s), u"2024"_s)};
        QCOMPARE(versionsOf(versionsNewestFirst(builds)),
                 (QStringList{u"1.10"_s, u"1.9"_s, u"1.1"_s, u"1.01"_s}));
    }

    void searchAndSourceFilter_data() {
        QTest::addColumn<std::optional<QString>>("source");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");

        const QStringList all = {u"com.abc.gba"_s, u"org.maps.app"_s, u"com.notes"_s, u"com.emile.reader"_s};
        const std::optional<QString> any;
        QTest::newRow("nothing") << any << u""_s << all;
        QTest::newRow("only white space") << any << u"  \n\t"_s << all;
        QTest::newRow("white space in a source") << std::optional(u"Repo B"_s) << u"   "_s
                                                 << QStringList{u"org.maps.app"_s, u"com.emile.reader"_s};
        QTest::newRow("bundle id ignoring case") << any << u"ABC"_s << QStringList{u"com.abc.gba"_s};
        QTest::newRow("name ignoring case") << any << u"gameBOY"_s << QStringList{u"com.abc.gba"_s};
        QTest::newRow("accented letters fold") << any << u"ÉMILE"_s << QStringList{u"com.emile.reader"_s};
        QTest::newRow("inner space counts") << any << u"e m"_s << QStringList{u"org.maps.app"_s};
        QTest::newRow("untrimmed text") << any << u" notes"_s << QStringList{};
        // Simple case folding: one letter never matches two.
        QTest::newRow("no full folding") << any << u"STRASSE"_s << QStringList{};
        QTest::newRow("source and text") << std::optional(u"Repo A"_s) << u"notes"_s << QStringList{};
        QTest::newRow("source needs the exact name") << std::optional(u"repo b"_s) << u""_s << QStringList{};
    }

    void searchAndSourceFilter() {
        QFETCH(std::optional<QString>, source);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        const QList<AppItem> apps = {app(u"com.abc.gba"_s, u"1"_s, u"GameBoy Emulator"_s, u"Repo A"_s),
                                     app(u"org.maps.app"_s, u"1"_s, u"Straße Maps"_s, u"Repo B"_s),
                                     app(u"com.notes"_s, u"1"_s, u"Notes"_s),
                                     app(u"com.emile.reader"_s, u"1"_s, u"Émile Reader"_s, u"Repo B"_s)};
        QCOMPARE(bundlesOf(filterApps(apps, source, text)), expected);
        QCOMPARE(bundlesOf(filterApps(apps, buildSearchIndex(apps), source, text)), expected);
    }

    // The index folds ahead of time what QString's case-insensitive search folds as it goes; both
    // must agree on every text, letters outside the Basic Multilingual Plane included.
    void indexedSearchFoldsLikeQString() {
        const QStringList names = {u"ΣΊΣΥΦΟΣ Σίσυφος"_s, u"İstanbul ıi"_s,  u"Straße STRASSE"_s,
                                   u"ﬁle ǅemal ǆ"_s,     u"𐐀𐐨 Deseret"_s,   u"Ꭰ Cherokee ꭰ"_s,
                                   u"K Kelvin k"_s,      u"Å Ångström å"_s, u"ÉCOLE école"_s,
                                   u"\U0001F600 smile"_s};
        QList<AppItem> rows;
        // Enough rows for the index to be built in two halves.
        for (int copy = 0; copy < 600; ++copy) {
            for (const QString &name : names)
                rows.append(app(u"org.example."_s + QString::number(copy), u"1"_s, name));
        }
        const SearchIndex index = buildSearchIndex(rows);
        const QStringList needles = {u"σ"_s,  u"Σ"_s,     u"ς"_s,          u"i̇"_s,          u"I"_s,  u"ı"_s,
                                     u"ss"_s, u"ß"_s,     u"FI"_s,         u"ǆ"_s,          u"ǅ"_s,  u"𐐨"_s,
                                     u"𐐀"_s,  u"ꭰ"_s,   u"Ꭰ"_s,          u"k"_s,          u"K"_s,  u"å"_s,
                                     u"Å"_s,  u"École"_s, u"\U0001F600"_s, u"EXAMPLE.59"_s, u"e 1"_s};
        for (const QString &needle : needles) {
            const QList<AppItem> plain = filterApps(rows, std::nullopt, needle);
            QCOMPARE(filterApps(rows, index, std::nullopt, needle), plain);
            QCOMPARE(filterApps(rows, index, std::optional(u"Nowhere"_s), needle), QList<AppItem>());
        }
        QVERIFY(!filterApps(rows, index, std::nullopt, u"𐐨"_s).isEmpty());
    }

    void updateDetection() {
        const QList<AppItem> first = {app(u"com.x"_s, u"1.0"_s),   app(u"com.x"_s, u"1.2"_s),
                                      app(u"com.y"_s, u"2.0.1"_s), app(u""_s, u"9.0"_s),
                                      app(u"unknown"_s, u"9.0"_s), app(u"unknown.bundle.id"_s, u"9.0"_s),
                                      app(u"com.q"_s, u"5.0"_s),   app(u"com.e"_s, u"1.01"_s)};
        const QList<AppItem> second = {app(u"com.x"_s, u"1.10"_s), app(u"com.z"_s, u"2.0"_s),
                                       app(u"com.e"_s, u"1.1"_s)};
        const auto installed = [](const QString &bundle, std::optional<QString> version) {
            LocalApp local;
            local.bundleID = bundle;
            local.version = std::move(version);
            local.url = QUrl::fromLocalFile(u"/apps/"_s + bundle + u".app"_s);
            return local;
        };
        const QList<LocalApp> apps = {installed(u"com.x"_s, u"1.9"_s),
                                      installed(u"com.y"_s, u"2.0"_s),
                                      installed(u"com.z"_s, u"2.0"_s),
                                      installed(u"com.q"_s, std::nullopt),
                                      installed(u"com.w"_s, u"1.0"_s),
                                      installed(u""_s, u"1.0"_s),
                                      installed(u"unknown"_s, u"1.0"_s),
                                      installed(u"com.e"_s, u"1.0"_s),
                                      installed(u"unknown.bundle.id"_s, u"1.0"_s)};

        // Versions equal by value: the first offered is the one named.
        const QMap<QString, QString> expected = {
            {u"com.x"_s, u"1.10"_s}, {u"com.y"_s, u"2.0.1"_s}, {u"com.e"_s, u"1.01"_s}};
        QCOMPARE(availableUpdates({first, second}, apps), expected);
        QVERIFY(availableUpdates({first, second}, {}).isEmpty());
        QVERIFY(availableUpdates({}, apps).isEmpty());
    }

    // Large enough for every step to be split between two threads: the result must still be
    // that of the plain algorithm (group map keyed by key texts, groups in the order first seen,
    // a stable newest-first sort of each, a stable sort of the representatives).
    void largeCatalogueMatchesThePlainAlgorithm_data() {
        QTest::addColumn<bool>("strict");
        QTest::addColumn<AppSortOption>("order");
        for (bool strict : {true, false}) {
            for (AppSortOption order : AppSortOption::allCases()) {
                QTest::addRow("%s, %s", strict ? "strict" : "loose", qPrintable(order.rawValue()))
                    << strict << order;
            }
        }
    }

    void largeCatalogueMatchesThePlainAlgorithm() {
        QFETCH(bool, strict);
        QFETCH(AppSortOption, order);
        const QStringList names = {u"Émile"_s, u"emile"_s, u"Zoë"_s, u"alpha"_s, u"Alpha"_s, u"Beta"_s};
        QList<QList<AppItem>> sources(7);
        // Builds of one identifier come from several sources, mostly with one name and description.
        for (int i = 0; i < 12000; ++i) {
            const int bundle = i % 3001;
            AppItem item = app(i % 11 == 0 ? QString() : u"com.app"_s + QString::number(bundle),
                               QString::number(i % 4) + u'.' + QString::number(i % 13),
                               names[(bundle + (i % 7 == 0 ? 1 : 0)) % names.size()]);
            item.downloadURL += QString::number(i);
            item.localizedDescription = i % 5 ? u"Same text"_s : u"Other text"_s;
            item.versionDate = u"2024-0"_s + QString::number(i % 9 + 1);
            if (i % 6)
                item.size = (i * 7919) % 1000;
            item.sourceRepoName = u"Repo "_s + QString::number(i % 7);
            sources[i % 7].append(item);
        }

        QHash<QString, QList<AppItem>> groups;
        QStringList firstSeen;
        for (const QList<AppItem> &source : sources) {
            for (const AppItem &item : source) {
                const QString key = plainKey(item, strict);
                if (!groups.contains(key))
                    firstSeen.append(key);
                groups[key].append(item);
            }
        }
        QList<AppItem> representatives;
        for (const QString &key : firstSeen) {
            QList<AppItem> versions = groups.value(key);
            std::stable_sort(versions.begin(), versions.end(), isNewerBuild);
            representatives.append(versions.first());
        }
        const auto before = [order](const AppItem &a, const AppItem &b) {
            switch (order.value()) {
            case AppSortOption::Name:
                return LocaleCompare::lessThan(a.name, b.name);
            case AppSortOption::Date:
                return a.versionDate.value_or(QString()) > b.versionDate.value_or(QString());
            case AppSortOption::Size:
                break;
            }
            return a.size.value_or(0) > b.size.value_or(0);
        };
        std::stable_sort(representatives.begin(), representatives.end(), before);

        const Catalogue catalogue = assemble(sources, order, strict);
        QCOMPARE(catalogue.groups->toHash(), groups);
        for (const AppItem &item : sources[3])
            QCOMPARE(catalogue.groups->versionsOf(item), groups.value(plainKey(item, strict)));
        QCOMPARE(catalogue.displayApps, representatives);
        QCOMPARE(filterApps(catalogue.displayApps, catalogue.searchIndex, u"Repo 3"_s, u"ÉMIL"_s),
                 filterApps(representatives, u"Repo 3"_s, u"ÉMIL"_s));
    }

    // ---- The engine -----------------------------------------------------------------------------

    void rebuildTakesTheEnabledRepositoriesInOrder() {
        const QList<SavedRepo> tree = {
            repository(u"One"_s,
                       {app(u"com.a"_s, u"1.0"_s, u"Alpha"_s), app(u"com.a"_s, u"1.1"_s, u"Alpha"_s)}),
            switchedOff(
                folder(u"Off"_s, {repository(u"Hidden"_s, {app(u"com.h"_s, u"3.0"_s, u"Hidden"_s)})})),
            folder(u"On"_s, {repository(u"Two"_s, {app(u"com.b"_s, u"2.0"_s, u"Beta"_s)}),
                             switchedOff(repository(u"Three"_s, {app(u"com.c"_s, u"1.0"_s, u"Gamma"_s)}))}),
            repository(u"Four"_s, {app(u"com.a"_s, u"2.0"_s, u"Alpha"_s)})};
        startEngine(tree, false);
        QCoro::waitFor(m_engine->rebuildCatalogue());

        QCOMPARE(bundlesOf(m_engine->displayApps()), (QStringList{u"com.a"_s, u"com.b"_s}));
        QCOMPARE(m_engine->displayApps().first().version, u"2.0"_s);
        QCOMPARE(versionsOf(m_engine->allAppsByVariant().value(u"com.a"_s)),
                 (QStringList{u"1.0"_s, u"1.1"_s, u"2.0"_s}));
        QCOMPARE(versionsOf(m_engine->versionsOfApp(tree[0].cachedApps->first())),
                 (QStringList{u"2.0"_s, u"1.1"_s, u"1.0"_s}));
        QVERIFY(m_engine->versionsOfApp(app(u"com.h"_s, u"3.0"_s)).isEmpty());

        LocalApp installed;
        installed.bundleID = u"com.a"_s;
        installed.version = u"1.1"_s;
        LocalApp hidden = installed;
        hidden.bundleID = u"com.h"_s;
        QSignalSpy updatesChanged(m_engine.get(), &AppStoreViewModel::availableUpdatesChanged);
        m_engine->checkForUpdates({installed, hidden});
        QCOMPARE(m_engine->availableUpdates(), (QMap<QString, QString>{{u"com.a"_s, u"2.0"_s}}));
        QCOMPARE(updatesChanged.count(), 1);
    }

    // Filtering waits for a pause in typing: each key starts the wait again.
    void searchTextIsDebounced() {
        startEngine({repository(u"One"_s, {app(u"com.game"_s, u"1"_s, u"Game"_s),
                                           app(u"com.gallery"_s, u"1"_s, u"Gallery"_s),
                                           app(u"com.notes"_s, u"1"_s, u"Notes"_s)})});
        // The start-up text passes the debounce too, then everything shows.
        QTRY_COMPARE(m_engine->filteredApps().size(), 3);

        QSignalSpy filtered(m_engine.get(), &AppStoreViewModel::filteredAppsChanged);
        m_engine->setSearchText(u"g"_s);
        QTest::qWait(200);
        m_engine->setSearchText(u"gam"_s);
        // The wait the first key started would have run out by now.
        QTest::qWait(200);
        QCOMPARE(filtered.count(), 0);
        QVERIFY(filtered.wait(2000));
        QCOMPARE(bundlesOf(m_engine->filteredApps()), QStringList{u"com.game"_s});
        QCOMPARE(filtered.count(), 1);
    }

    void sourceChangeAppliesAtOnceWithTheLastDebouncedText() {
        startEngine({repository(u"One"_s, {app(u"com.game.one"_s, u"1"_s, u"Game"_s),
                                           app(u"com.notes"_s, u"1"_s, u"Notes"_s)}),
                     repository(u"Two"_s, {app(u"com.game.two"_s, u"1"_s, u"Game"_s)})});
        m_engine->setSearchText(u"game"_s);
        QTRY_COMPARE(bundlesOf(m_engine->filteredApps()),
                     (QStringList{u"com.game.one"_s, u"com.game.two"_s}));

        m_engine->setSelectedRepoID(u"Two"_s);
        QTRY_COMPARE(bundlesOf(m_engine->filteredApps()), QStringList{u"com.game.two"_s});

        // A change of source starts filtering at once, with the text that has passed the debounce
        // rather than the one still waiting in it.
        m_engine->setSearchText(u"notes"_s);
        const quint64 started = m_engine->m_filterGeneration;
        m_engine->setSelectedRepoID(std::nullopt);
        QCOMPARE(m_engine->m_filterGeneration, started + 1);
        QCOMPARE(m_engine->m_debouncedSearchText, std::optional(u"game"_s));
        QVERIFY(m_engine->m_searchDebounce.isActive());

        QTRY_COMPARE(bundlesOf(m_engine->filteredApps()), QStringList{u"com.notes"_s});
    }

    void staleRebuildIsNeverAssigned() {
        startEngine({});
        const SlowFirstCall slow;
        m_engine->m_catalogueWorkHookForTests = slow.hook();
        QSignalSpy displayChanged(m_engine.get(), &AppStoreViewModel::displayAppsChanged);

        QCoro::Task<> older = m_engine->processApps({app(u"com.old"_s, u"1"_s)});
        QCoro::Task<> newer = m_engine->processApps({app(u"com.new"_s, u"1"_s)});
        QCoro::waitFor(newer);
        QCOMPARE(bundlesOf(m_engine->displayApps()), QStringList{u"com.new"_s});
        QCoro::waitFor(older);
        QCOMPARE(slow.calls->load(), 2);
        QCOMPARE(bundlesOf(m_engine->displayApps()), QStringList{u"com.new"_s});
        QCOMPARE(m_engine->allAppsByVariant().size(), 1);
        QCOMPARE(displayChanged.count(), 1);
    }

    void staleFilterIsNeverAssigned() {
        startEngine({repository(u"One"_s, {app(u"com.one"_s, u"1"_s)}),
                     repository(u"Two"_s, {app(u"com.two"_s, u"1"_s)})});
        QTRY_COMPARE(m_engine->filteredApps().size(), 2);
        const SlowFirstCall slow;
        m_engine->m_filterWorkHookForTests = slow.hook();
        QSignalSpy filtered(m_engine.get(), &AppStoreViewModel::filteredAppsChanged);

        m_engine->setSelectedRepoID(u"One"_s);
        m_engine->setSelectedRepoID(u"Two"_s);
        // A quick result can be in place before the engine would wait for it.
        QTRY_COMPARE(filtered.count(), 1);
        QCOMPARE(bundlesOf(m_engine->filteredApps()), QStringList{u"com.two"_s});

        // Let the slow filtering finish and hand its result back.
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(50);
        QCOMPARE(slow.calls->load(), 2);
        QCOMPARE(bundlesOf(m_engine->filteredApps()), QStringList{u"com.two"_s});
        QCOMPARE(filtered.count(), 1);
    }
};

KIVO_TEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"

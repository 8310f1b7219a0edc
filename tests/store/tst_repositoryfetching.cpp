#include "fixtures/httpserver.h"
#include "store/semaphore.h"
#include "storetestsupport.h"
#include "support/testmain.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>

#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;
using namespace StoreTest;

Q_DECLARE_METATYPE(RouteResponse)

namespace {

QCoro::Task<> takePermit(Semaphore &semaphore, QStringList &log, QString name) {
    co_await semaphore.wait();
    log.append(name);
}

} // namespace

// Feeds and linked folder lists fetched over a real loopback server.
class TestRepositoryFetching : public QObject {
    Q_OBJECT

private:
    HttpServer m_server;
    QNetworkAccessManager m_network;

    QUrl url(const QString &path) const { return m_server.url(path); }
    QString id(const QString &path) const { return url(path).toString(QUrl::FullyEncoded); }

    std::unique_ptr<AppStoreViewModel> makeEngine(const QList<SavedRepo> &tree) {
        writeReposFile(tree);
        auto engine = std::make_unique<AppStoreViewModel>(url(u"/Kivo/default_repos.csv"_s), &m_network);
        // Let the rebuild scheduled at construction pass.
        QTest::qWait(0);
        return engine;
    }

    SavedRepo linkedFolder(const QString &name, const QString &listPath,
                           const QList<SavedRepo> &children = {}) {
        SavedRepo node = folder(name, children);
        node.repoListURL = url(listPath);
        return node;
    }

    QByteArray listOf(const QStringList &paths) const {
        QByteArray text;
        for (const QString &path : paths)
            text += url(path).toString().toUtf8() + "\r\n";
        return text;
    }

    void serveFeed(const QString &path, const QString &name, int apps, int delayMs = 0) {
        m_server.setRoute(path,
                          RouteResponse::bytes(feed(name, apps), "application/json").withDelay(delayMs));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init() {
        forgetEverything();
        m_server.clearRoutes();
        m_server.resetCounters();
    }

    void semaphoreHandsPermitsToWaitersInArrivalOrder() {
        Semaphore semaphore(2);
        QStringList log;
        std::vector<QCoro::Task<>> tasks;
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s, u"d"_s})
            tasks.push_back(takePermit(semaphore, log, name));
        QCOMPARE(log, (QStringList{u"a"_s, u"b"_s}));
        QCOMPARE(semaphore.available(), 0);
        QCOMPARE(semaphore.waiting(), 2);

        // A permit passes straight to the first waiter; the count only rises with nobody waiting.
        semaphore.signal();
        QCOMPARE(log, (QStringList{u"a"_s, u"b"_s, u"c"_s}));
        QCOMPARE(semaphore.available(), 0);
        semaphore.signal();
        QCOMPARE(log.constLast(), u"d"_s);
        semaphore.signal();
        semaphore.signal();
        QCOMPARE(semaphore.available(), 2);
        QCOMPARE(semaphore.waiting(), 0);
    }

    void fullRefreshFetchesAtMostThreeAtOnce() {
        QList<SavedRepo> tree;
        for (int i = 0; i < 12; ++i) {
            const QString path = u"/feeds/r"_s + QString::number(i);
            serveFeed(path, u"Repo "_s + QString::number(i), i % 4, 150);
            tree.append(repo(u"r"_s + QString::number(i), url(path)));
        }
        SavedRepo switchedOff = repo(u"off"_s, url(u"/feeds/off"_s));
        switchedOff.isEnabled = false;
        SavedRepo hidden = folder(u"hidden"_s, {repo(u"inside"_s, url(u"/feeds/inside"_s))});
        hidden.isEnabled = false;
        tree << switchedOff << hidden;

        auto engine = makeEngine(tree);
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);
        QList<int> progress;
        connect(engine.get(), &AppStoreViewModel::fetchProgressChanged, this,
                [&] { progress.append(engine->fetchProgress()); });
        int waitingWhenQueued = -1;
        connect(engine.get(), &AppStoreViewModel::savedReposChanged, this, [&] {
            if (waitingWhenQueued >= 0)
                return;
            const QList<SavedRepo> repos = engine->savedRepos();
            const int waiting = int(std::count_if(repos.cbegin(), repos.cend(), [](const SavedRepo &node) {
                return node.fetchStatus == RepoFetchStatus::waiting();
            }));
            if (waiting > 0)
                waitingWhenQueued = waiting;
        });

        QCoro::waitFor(engine->fetchAllRepos());

        QCOMPARE(m_server.maxInFlightUnder(u"/feeds/"_s), 3);
        QCOMPARE(m_server.totalRequestCount(), 12);
        QCOMPARE(waitingWhenQueued, 12);
        QCOMPARE(engine->fetchTotal(), 12);
        QCOMPARE(progress, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        QCOMPARE(loading.count(), 2);
        QVERIFY(!engine->isLoading());
        for (int i = 0; i < 12; ++i) {
            const SavedRepo *node = find(engine->savedRepos(), id(u"/feeds/r"_s + QString::number(i)));
            QCOMPARE(node->fetchStatus, RepoFetchStatus::success());
            QCOMPARE(node->name, u"Repo "_s + QString::number(i));
        }
        engine->waitForPendingSaves();
        const QList<SavedRepo> savedTree = readReposFile();
        const SavedRepo *saved = find(savedTree, id(u"/feeds/r3"_s));
        QCOMPARE(saved->cachedApps->size(), 3);
        QCOMPARE(saved->cachedApps->constFirst().sourceRepoName, std::optional<QString>(u"Repo 3"_s));
    }

    void fullRefreshWithNothingEnabledStillSavesAndEnds() {
        SavedRepo hidden = folder(u"hidden"_s, {repo(u"inside"_s, url(u"/feeds/inside"_s))});
        hidden.isEnabled = false;
        auto engine = makeEngine({hidden});
        QFile::remove(reposFilePath());

        QCoro::waitFor(engine->fetchAllRepos());
        QCOMPARE(engine->fetchTotal(), 0);
        QCOMPARE(engine->fetchProgress(), 0);
        QVERIFY(!engine->isLoading());
        QCOMPARE(m_server.totalRequestCount(), 0);
        engine->waitForPendingSaves();
        QVERIFY(QFileInfo::exists(reposFilePath()));
    }

    void fullRefreshReadsEveryLinkedFolderFirst() {
        m_server.setRoute(u"/lists/hidden"_s, RouteResponse::bytes(listOf({u"/feeds/h"_s})));
        m_server.setRoute(u"/lists/shown"_s, RouteResponse::bytes(listOf({u"/feeds/s1"_s, u"/feeds/s2"_s})));
        serveFeed(u"/feeds/s1"_s, u"S one"_s, 1);
        serveFeed(u"/feeds/s2"_s, u"S two"_s, 2);
        serveFeed(u"/feeds/h"_s, u"H"_s, 1);
        SavedRepo off = folder(u"off"_s, {linkedFolder(u"inner"_s, u"/lists/hidden"_s)});
        off.isEnabled = false;
        auto engine = makeEngine({off, linkedFolder(u"shown"_s, u"/lists/shown"_s)});

        QCoro::waitFor(engine->fetchAllRepos());
        // A linked folder inside a switched-off folder is read too, but its feeds are not fetched.
        QCOMPARE(m_server.requestCount(u"/lists/hidden"_s), 1);
        QCOMPARE(m_server.requestCount(u"/feeds/h"_s), 0);
        QCOMPARE(engine->fetchTotal(), 2);
        const SavedRepo *shown = find(engine->savedRepos(), u"folder-shown"_s);
        QCOMPARE(names(*shown->children), (QStringList{u"S one"_s, u"S two"_s}));
        QCOMPARE(shown->fetchStatus, RepoFetchStatus::success());
    }

    void failedFetchSwitchesTheRepositoryOff_data() {
        QTest::addColumn<RouteResponse>("response");
        QTest::addColumn<QString>("descriptionStart");

        QTest::newRow("HTML 404 page")
            << RouteResponse::errorPage(404) << u"HTTP 404 — the response is not a repository feed: "_s;
        QTest::newRow("HTML 500 page")
            << RouteResponse::errorPage(500) << u"HTTP 500 — the response is not a repository feed: "_s;
        QTest::newRow("503, no body") << RouteResponse::bytes({}).withStatus(503)
                                      << u"HTTP 503 — the response is not a repository feed: "_s;
        // A page that is not a feed, served as a success: the decoder's own words.
        QTest::newRow("HTML at 200") << RouteResponse::bytes("<html><body>Moved</body></html>", "text/html")
                                     << u"not valid JSON"_s;
        QTest::newRow("entry missing its version")
            << RouteResponse::bytes(
                   "{\"name\":\"R\",\"apps\":[{\"name\":\"A\",\"downloadURL\":\"https://x/a.ipa\"}]}")
            << u"apps[0].version"_s;
        QTest::newRow("connection closed") << RouteResponse::closeConnection() << QString();
        QTest::newRow("body cut short")
            << RouteResponse::bytes(feed(u"Cut"_s, 20)).truncatedAfter(40) << QString();
        QTest::newRow("connection reset")
            << RouteResponse::bytes(feed(u"Reset"_s, 20)).droppedAfter(40) << QString();
    }

    void failedFetchSwitchesTheRepositoryOff() {
        QFETCH(RouteResponse, response);
        QFETCH(QString, descriptionStart);

        m_server.setRoute(u"/feeds/bad"_s, response);
        SavedRepo bad = repo(u"Bad"_s, url(u"/feeds/bad"_s));
        bad.appCount = 1;
        bad.cachedApps = QList<AppItem>{app(u"Old"_s, u"com.old"_s, u"1.0"_s, u"Bad"_s)};
        auto engine = makeEngine({bad});

        StdoutCapture console;
        QCoro::waitFor(engine->fetchRepo(bad.id, true));
        const QStringList lines = console.lines();
        console.restore();

        const SavedRepo after = engine->savedRepos().constFirst();
        QVERIFY(!after.isEnabled);
        QVERIFY(after.fetchStatus.isError());
        const QString description = after.fetchStatus.message();
        if (descriptionStart.isEmpty()) {
            // The transport's own words, never mistaken for an answer of the server.
            QVERIFY(!description.isEmpty());
            QVERIFY2(!description.startsWith(u"HTTP"_s), qPrintable(description));
        } else {
            QVERIFY2(description.contains(descriptionStart), qPrintable(description));
        }
        QCOMPARE(lines, QStringList{u"Failed to fetch "_s + bad.id + u": "_s + description});
        // What the last good fetch brought stays; only the catalogue stops showing it.
        QCOMPARE(after.cachedApps, bad.cachedApps);
        QCOMPARE(after.appCount, 1);
        engine->waitForPendingSaves();
        QVERIFY(!readReposFile().constFirst().isEnabled);
    }

    void feedIsDecodedWhateverTheStatus() {
        m_server.setRoute(u"/feeds/odd"_s, RouteResponse::bytes(feed(u"Odd"_s, 2)).withStatus(404));
        auto engine = makeEngine({repo(u"odd"_s, url(u"/feeds/odd"_s))});
        QCoro::waitFor(engine->fetchRepo(id(u"/feeds/odd"_s), false));
        QCOMPARE(engine->savedRepos().constFirst().fetchStatus, RepoFetchStatus::success());
        QCOMPARE(engine->savedRepos().constFirst().appCount, 2);
    }

    void feedRequestsBypassTheCache() {
        serveFeed(u"/feeds/a"_s, u"A"_s, 1);
        m_server.setRoute(u"/lists/l"_s, RouteResponse::bytes(listOf({u"/feeds/a"_s})));
        auto engine = makeEngine({linkedFolder(u"l"_s, u"/lists/l"_s)});
        QCoro::waitFor(engine->fetchAllRepos());
        QCOMPARE(m_server.requests(u"/feeds/a"_s).constFirst().header("Cache-Control"),
                 QByteArray("no-cache"));
        QVERIFY(!m_server.requests(u"/lists/l"_s).constFirst().hasHeader("Cache-Control"));
    }

    void iconComesFromTheFeedOrItsMeta_data() {
        QTest::addColumn<QByteArray>("topLevel");
        QTest::addColumn<QString>("icon");

        QTest::newRow("iconURL")
            << QByteArray("\"iconURL\":\"https://i/top.png\",\"META\":{\"repoIcon\":\"https://i/meta.png\"},")
            << u"https://i/top.png"_s;
        QTest::newRow("META repoIcon")
            << QByteArray("\"META\":{\"repoIcon\":\"https://i/meta.png\"},") << u"https://i/meta.png"_s;
        QTest::newRow("neither keeps the old icon") << QByteArray() << u"https://i/old.png"_s;
    }

    void iconComesFromTheFeedOrItsMeta() {
        QFETCH(QByteArray, topLevel);
        QFETCH(QString, icon);
        m_server.setRoute(u"/feeds/icon"_s, RouteResponse::bytes(feed(u"Icons"_s, 1, topLevel)));
        SavedRepo node = repo(u"icon"_s, url(u"/feeds/icon"_s));
        node.iconURL = u"https://i/old.png"_s;
        auto engine = makeEngine({node});
        QCoro::waitFor(engine->fetchRepo(node.id, false));
        QCOMPARE(engine->savedRepos().constFirst().iconURL, std::optional<QString>(icon));
    }

    // What the user does to a repository while its request runs stays done.
    void editsDuringAFetchSurvive_data() {
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("fetch succeeds") << true;
        QTest::newRow("fetch fails") << false;
    }

    void editsDuringAFetchSurvive() {
        QFETCH(bool, succeeds);
        m_server.setRoute(u"/feeds/slow"_s, succeeds ? RouteResponse::bytes(feed(u"Slow"_s, 2)).withDelay(300)
                                                     : RouteResponse::errorPage(404).withDelay(300));
        const SavedRepo slow = repo(u"slow"_s, url(u"/feeds/slow"_s));
        auto engine = makeEngine({slow, folder(u"box"_s, {})});

        QCoro::Task<> fetch = engine->fetchRepo(slow.id, true);
        QCOMPARE(find(engine->savedRepos(), slow.id)->fetchStatus, RepoFetchStatus::loading());
        engine->setRepoEnabled(slow.id, false);
        engine->renameRepo(slow.id, u"Mine"_s);
        engine->moveRepo(slow.id, u"folder-box"_s);
        QCoro::waitFor(std::move(fetch));

        const SavedRepo *after = find(engine->savedRepos(), slow.id);
        QVERIFY(after);
        QCOMPARE(find(engine->savedRepos(), u"folder-box"_s)->children->size(), 1);
        QVERIFY(!after->isEnabled);
        if (succeeds) {
            QCOMPARE(after->fetchStatus, RepoFetchStatus::success());
            QCOMPARE(after->name, u"Slow"_s);
            QCOMPARE(after->cachedApps->size(), 2);
        } else {
            QVERIFY(after->fetchStatus.isError());
            QCOMPARE(after->name, u"Mine"_s);
        }
        engine->waitForPendingSaves();
        QVERIFY(!find(readReposFile(), slow.id)->isEnabled);
    }

    void repositoryDeletedDuringItsFetchStaysDeleted() {
        serveFeed(u"/feeds/gone"_s, u"Gone"_s, 1, 200);
        const SavedRepo gone = repo(u"gone"_s, url(u"/feeds/gone"_s));
        auto engine = makeEngine({gone});
        QCoro::Task<> fetch = engine->fetchRepo(gone.id, true);
        engine->deleteRepo(gone.id);
        QCoro::waitFor(std::move(fetch));
        QVERIFY(engine->savedRepos().isEmpty());
    }

    void folderRefreshKeepsReListedChildren() {
        SavedRepo known = repo(u"Kept name"_s, url(u"/feeds/a"_s));
        known.isEnabled = false;
        known.appCount = 1;
        known.cachedApps = QList<AppItem>{app(u"A"_s, u"com.a"_s, u"1.0"_s, u"Kept name"_s)};
        const SavedRepo dropped = repo(u"Dropped"_s, url(u"/feeds/b"_s));
        m_server.setRoute(u"/lists/f"_s,
                          RouteResponse::bytes(listOf({u"/feeds/c"_s, u"/feeds/a"_s, u"/feeds/c"_s})));
        auto engine = makeEngine({linkedFolder(u"f"_s, u"/lists/f"_s, {known, dropped})});

        QCoro::waitFor(engine->refreshFolder(u"folder-f"_s, false));
        const SavedRepo folderAfter = engine->savedRepos().constFirst();
        QCOMPARE(folderAfter.fetchStatus, RepoFetchStatus::success());
        const QList<SavedRepo> children = *folderAfter.children;
        QCOMPARE(children.size(), 3);
        QCOMPARE(children.at(1), known);
        // Duplicates are kept, new addresses start unnamed and empty.
        QCOMPARE(children.at(0).id, id(u"/feeds/c"_s));
        QCOMPARE(children.at(2).id, id(u"/feeds/c"_s));
        QCOMPARE(children.at(0).name, u"Unknown"_s);
        QVERIFY(children.at(0).isEnabled && !children.at(0).cachedApps && children.at(0).appCount == 0);
        // Nothing fetched without being asked to.
        QCOMPARE(m_server.totalRequestCount(), 1);
    }

    void folderRefreshFailureKeepsTheChildren_data() {
        QTest::addColumn<RouteResponse>("response");
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("isError");

        QTest::newRow("empty list") << RouteResponse::bytes("\r\n   \n\n") << QString() << false;
        QTest::newRow("not UTF-8") << RouteResponse::bytes("https://a.example/f\n\xff\xfe\n") << u"UTF-8"_s
                                   << true;
        QTest::newRow("404 page") << RouteResponse::errorPage(404) << u"HTTP 404"_s << true;
        QTest::newRow("connection closed") << RouteResponse::closeConnection() << QString() << true;
    }

    void folderRefreshFailureKeepsTheChildren() {
        QFETCH(RouteResponse, response);
        QFETCH(QString, description);
        QFETCH(bool, isError);

        m_server.setRoute(u"/lists/f"_s, response);
        const SavedRepo child = repo(u"Child"_s, url(u"/feeds/a"_s));
        auto engine = makeEngine({linkedFolder(u"f"_s, u"/lists/f"_s, {child})});

        StdoutCapture console;
        QCoro::waitFor(engine->refreshFolder(u"folder-f"_s, false));
        const QStringList lines = console.lines();
        console.restore();

        const SavedRepo after = engine->savedRepos().constFirst();
        QCOMPARE(after.children, std::optional<QList<SavedRepo>>({child}));
        QVERIFY(after.isEnabled);
        if (!isError) {
            QCOMPARE(after.fetchStatus, RepoFetchStatus::success());
            QVERIFY(lines.isEmpty());
            return;
        }
        QVERIFY(after.fetchStatus.isError());
        QVERIFY2(after.fetchStatus.message().contains(description), qPrintable(after.fetchStatus.message()));
        QCOMPARE(lines, QStringList{u"Remote folder fetch error: "_s + after.fetchStatus.message()});
    }

    void folderRefreshWithChildrenFetchesSavesAndRebuilds() {
        m_server.setRoute(u"/lists/f"_s, RouteResponse::bytes(listOf({u"/feeds/a"_s, u"/feeds/b"_s})));
        serveFeed(u"/feeds/a"_s, u"A"_s, 2, 100);
        serveFeed(u"/feeds/b"_s, u"B"_s, 3, 100);
        auto engine = makeEngine({linkedFolder(u"f"_s, u"/lists/f"_s)});

        QCoro::waitFor(engine->refreshFolder(u"folder-f"_s, true));
        // Not bounded like a full refresh: both at once.
        QCOMPARE(m_server.maxInFlightUnder(u"/feeds/"_s), 2);
        QCOMPARE(names(*engine->savedRepos().constFirst().children), (QStringList{u"A"_s, u"B"_s}));
        QCOMPARE(engine->displayApps().size(), 5);
        engine->waitForPendingSaves();
        QCOMPARE(readReposFile().constFirst().children->at(1).appCount, 3);
    }

    // Closing the engine mid-refresh ends every request and coroutine; nothing touches it after.
    void engineGoingAwayMidRefreshEndsCleanly() {
        QList<SavedRepo> tree;
        for (int i = 0; i < 6; ++i) {
            const QString path = u"/feeds/s"_s + QString::number(i);
            serveFeed(path, u"S"_s, 1, 400);
            tree.append(repo(u"s"_s + QString::number(i), url(path)));
        }
        auto engine = makeEngine(tree);
        engine->refreshAllRepos();
        QTRY_COMPARE(m_server.inFlight(), 3);
        engine.reset();
        // Let the server finish and any queued work run: a dangling coroutine would crash here.
        QTest::qWait(600);
        QCOMPARE(m_server.totalRequestCount(), 3);
    }

    void enabledReposWalksTheTree() {
        SavedRepo off = repo(u"off"_s, url(u"/x/off"_s));
        off.isEnabled = false;
        SavedRepo hidden = folder(u"hidden"_s, {repo(u"h"_s, url(u"/x/h"_s))});
        hidden.isEnabled = false;
        const QList<SavedRepo> tree{folder(u"outer"_s, {repo(u"b"_s, url(u"/x/b"_s)), folder(u"empty"_s, {}),
                                                        folder(u"inner"_s, {repo(u"z"_s, url(u"/x/z"_s))})}),
                                    hidden, repo(u"c"_s, url(u"/x/c"_s)), off};
        auto engine = makeEngine(tree);
        // Depth-first in tree order, where folders come first at every level.
        QCOMPARE(names(engine->enabledRepos()), (QStringList{u"z"_s, u"b"_s, u"c"_s}));
        engine->setRepoSortOrder(RepoSortOption::name);
        QCOMPARE(names(engine->enabledRepos()), (QStringList{u"b"_s, u"c"_s, u"z"_s}));
    }
};

KIVO_TEST_MAIN(TestRepositoryFetching)
#include "tst_repositoryfetching.moc"

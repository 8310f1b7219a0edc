#include "fixtures/httpserver.h"
#include "store/semaphore.h"
#include "storetestsupport.h"
#include "support/testmain.h"

#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QThreadPool>
#include <QTimer>

#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;
using namespace StoreTest;

Q_DECLARE_METATYPE(RouteResponse)

namespace {

QCoro::Task<> takePermit(Semaphore &semaphore, QStringList &log, QString name) {
    co_await semaphore.wait();
    log.append(name);
}

// A tree in an order that neither sort order keeps: repositories before folders, names out of
// alphabetical order and in mixed case, at two levels.
QList<SavedRepo> unorderedTree() {
    return {
        repo(u"beta"_s, QUrl(u"https://b.example/feed"_s)),
        folder(u"Zeta folder"_s, {repo(u"delta"_s, QUrl(u"https://d.example/feed"_s)), folder(u"inner"_s, {}),
                                  repo(u"Charlie"_s, QUrl(u"https://c.example/feed"_s))}),
        repo(u"Alpha"_s, QUrl(u"https://a.example/feed"_s)), folder(u"eta folder"_s, {})};
}

} // namespace

// The store engine against a real loopback server: the repository file and settings, fetching
// feeds and linked folder lists, and editing the tree.
class TestStore : public QObject {
    Q_OBJECT

private:
    HttpServer m_server;
    QNetworkAccessManager m_network;

    QUrl url(const QString &path) const { return m_server.url(path); }
    QString id(const QString &path) const { return url(path).toString(QUrl::FullyEncoded); }

    std::unique_ptr<AppStoreViewModel> startEngine() {
        return std::make_unique<AppStoreViewModel>(url(u"/Kivo/default_repos.csv"_s), &m_network);
    }

    // An engine over `tree`, read from the repository file, past the rebuild it schedules.
    std::unique_ptr<AppStoreViewModel> makeEngine(const QList<SavedRepo> &tree) {
        writeReposFile(tree);
        auto engine = startEngine();
        QTest::qWait(0);
        return engine;
    }

    // The repository file once the engine's pending saves are written.
    static QList<SavedRepo> savedTree(AppStoreViewModel &engine) {
        engine.waitForPendingSaves();
        return readReposFile();
    }

    // Runs the event loop until every follow-up the operations started has ended.
    static void settle(AppStoreViewModel &engine) {
        QTest::qWait(50);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isLoading(), 10000);
        engine.waitForPendingSaves();
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

    // Folders a, a/b, a/b/c, a linked folder "linked" with a child folder, and repository r.
    QList<SavedRepo> nestedTree() {
        return {folder(u"a"_s, {folder(u"b"_s, {folder(u"c"_s, {})})}),
                linkedFolder(u"linked"_s, u"/lists/linked"_s, {folder(u"under link"_s, {})}),
                repo(u"r"_s, url(u"/feeds/r"_s))};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init() {
        forgetEverything();
        m_server.clearRoutes();
        m_server.resetCounters();
        m_server.setRoute(
            u"/Kivo/default_repos.csv"_s,
            RouteResponse::bytes(listOf({u"/feeds/one"_s, u"/feeds/two"_s}), "text/plain").withDelay(50));
        serveFeed(u"/feeds/one"_s, u"One"_s, 2);
        serveFeed(u"/feeds/two"_s, u"Two"_s, 3);
        serveFeed(u"/feeds/new"_s, u"New feed"_s, 2);
    }

    // ---- The repository file and the settings ---------------------------------------------------

    // A first start, a stored tree that cannot be read and a reset all give the default tree:
    // one folder linked to the default list, filled and fetched by the refresh that follows.
    void defaultTreeIsFilledByARefresh_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("first start") << u"first start"_s;
        QTest::newRow("undecodable legacy bytes") << u"legacy"_s;
        QTest::newRow("reset to defaults") << u"reset"_s;
    }

    void defaultTreeIsFilledByARefresh() {
        QFETCH(QString, how);
        if (how == u"legacy"_s)
            DefaultsStore().setBytes(AppStoreViewModel::kSavedReposKey, "[{\"name\":42}]");
        if (how == u"reset"_s)
            writeReposFile(unorderedTree());
        auto engine = startEngine();
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);
        if (how == u"reset"_s)
            engine->resetToDefaults();

        QCOMPARE(engine->savedRepos().size(), 1);
        const SavedRepo recommended = engine->savedRepos().constFirst();
        QCOMPARE(recommended.name, u"Recommended"_s);
        QVERIFY(recommended.isEnabled && !recommended.url && !recommended.cachedApps &&
                recommended.appCount == 0);
        QCOMPARE(recommended.children, std::optional<QList<SavedRepo>>(QList<SavedRepo>()));
        QCOMPARE(recommended.repoListURL, std::optional<QUrl>(url(u"/Kivo/default_repos.csv"_s)));
        QVERIFY(QRegularExpression(u"^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"_s)
                    .match(recommended.id)
                    .hasMatch());
        QCOMPARE(savedTree(*engine), engine->savedRepos());

        QTRY_COMPARE_WITH_TIMEOUT(loading.count(), 2, 10000);
        QCOMPARE(m_server.requestCount(u"/Kivo/default_repos.csv"_s), 1);
        const QList<SavedRepo> children = engine->savedRepos().constFirst().children.value();
        QCOMPARE(names(children), (QStringList{u"One"_s, u"Two"_s}));
        QCOMPARE(children.at(1).appCount, 3);
        QCOMPARE(engine->fetchTotal(), 2);
        QCOMPARE(engine->fetchProgress(), 2);
        QCOMPARE(savedTree(*engine).constFirst().children->size(), 2);
    }

    void treeOrderFollowsTheStoredSortOrder_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<RepoSortOption>("order");
        QTest::addColumn<QStringList>("topLevel");
        QTest::addColumn<QStringList>("inFolder");
        const RepoSortOption standard = RepoSortOption::Standard;
        const QStringList standardTop{u"Zeta folder"_s, u"eta folder"_s, u"beta"_s, u"Alpha"_s};
        const QStringList standardInner{u"inner"_s, u"delta"_s, u"Charlie"_s};
        QTest::newRow("Name") << u"Name"_s << RepoSortOption(RepoSortOption::Name)
                              << QStringList{u"eta folder"_s, u"Zeta folder"_s, u"Alpha"_s, u"beta"_s}
                              << QStringList{u"inner"_s, u"Charlie"_s, u"delta"_s};
        QTest::newRow("Default") << u"Default"_s << standard << standardTop << standardInner;
        QTest::newRow("unknown text") << u"name"_s << standard << standardTop << standardInner;
        QTest::newRow("absent") << QString() << standard << standardTop << standardInner;
    }

    void treeOrderFollowsTheStoredSortOrder() {
        QFETCH(QString, stored);
        QFETCH(RepoSortOption, order);
        QFETCH(QStringList, topLevel);
        QFETCH(QStringList, inFolder);
        if (!stored.isNull())
            DefaultsStore().setString(AppStoreViewModel::kRepoSortOrder, stored);
        auto engine = makeEngine(unorderedTree());
        QCOMPARE(engine->repoSortOrder(), order);
        QCOMPARE(names(engine->savedRepos()), topLevel);
        QCOMPARE(names(*find(engine->savedRepos(), u"folder-Zeta folder"_s)->children), inFolder);
        // The screens list one level at a time, in the same order.
        QCOMPARE(names(engine->childrenForDisplay()), topLevel);
        QCOMPARE(names(engine->childrenForDisplay(u"folder-Zeta folder"_s)), inFolder);
        QVERIFY(engine->childrenForDisplay(u"missing"_s).isEmpty());
        QVERIFY(engine->childrenForDisplay(u"https://b.example/feed"_s).isEmpty());
    }

    void changingTheRepoSortOrderStoresItAndReordersAtOnce() {
        auto engine = makeEngine(unorderedTree());
        const QByteArray fileBefore = readFile(reposFilePath());
        QSignalSpy treeChanged(engine.get(), &AppStoreViewModel::savedReposChanged);
        const QStringList byName{u"eta folder"_s, u"Zeta folder"_s, u"Alpha"_s, u"beta"_s};

        engine->setRepoSortOrder(RepoSortOption::Name);
        QCOMPARE(DefaultsStore().string(AppStoreViewModel::kRepoSortOrder),
                 std::optional<QString>(u"Name"_s));
        QCOMPARE(treeChanged.count(), 1);
        QCOMPARE(names(engine->savedRepos()), byName);
        // The file follows with the next save.
        engine->waitForPendingSaves();
        QCOMPARE(readFile(reposFilePath()), fileBefore);
        engine->saveRepos();
        QCOMPARE(names(savedTree(*engine)), byName);

        // Back to the default order keeps the order the tree has now.
        engine->setRepoSortOrder(RepoSortOption::Standard);
        QCOMPARE(DefaultsStore().string(AppStoreViewModel::kRepoSortOrder),
                 std::optional<QString>(u"Default"_s));
        QCOMPARE(names(engine->savedRepos()), byName);
    }

    void groupingIsStoredAndAppOrderIsNot() {
        // Two sources list one bundle ID under different names: two rows when strict, one when not.
        auto engine = makeEngine(
            {repo(u"First"_s, QUrl(u"https://first.example/feed"_s), {app(u"com.tool"_s, u"1.0"_s)}),
             repo(u"Second"_s, QUrl(u"https://second.example/feed"_s),
                  {app(u"com.tool"_s, u"2.0"_s, u"Tool Pro"_s)})});
        QVERIFY(engine->strictGrouping());
        // Written once during construction, even when nothing was stored.
        QCOMPARE(DefaultsStore().boolValue(AppStoreViewModel::kStrictGrouping), std::optional<bool>(true));
        QTRY_COMPARE(engine->displayApps().size(), 2);

        engine->setStrictGrouping(false);
        QCOMPARE(DefaultsStore().boolValue(AppStoreViewModel::kStrictGrouping), std::optional<bool>(false));
        QTRY_COMPARE(engine->displayApps().size(), 1);
        QCOMPARE(engine->displayApps().constFirst().version, u"2.0"_s);
        QCOMPARE(m_server.totalRequestCount(), 0);
        // The app order is not stored: every start sorts by name.
        engine->setAppSortOrder(AppSortOption::Size);
        engine.reset();
        engine = startEngine();
        QVERIFY(!engine->strictGrouping());
        QCOMPARE(engine->appSortOrder(), AppSortOption(AppSortOption::Name));
    }

    // A tree in the documents folder replaces the current file; one in the settings moves to the
    // file. Either is migrated once.
    void olderStorageMovesToTheFile_data() {
        QTest::addColumn<bool>("fromDocuments");
        QTest::addColumn<QString>("message");
        QTest::newRow("documents folder") << true << u"Migrating repos.json to Application Support..."_s;
        QTest::newRow("settings") << false << u"Migrating repos from UserDefaults to File..."_s;
    }

    void olderStorageMovesToTheFile() {
        QFETCH(bool, fromDocuments);
        QFETCH(QString, message);
        const QList<SavedRepo> older{repo(u"Older"_s, QUrl(u"https://older.example/feed"_s)),
                                     folder(u"Box"_s, {})};
        const QString oldPath = StandardDirs::documents() + u"/repos.json"_s;
        if (fromDocuments) {
            writeReposFile({repo(u"Current"_s, QUrl(u"https://current.example/feed"_s))});
            QVERIFY(writeFile(oldPath, StoredForm::encodeRepoTree(older)));
        } else {
            DefaultsStore().setBytes(AppStoreViewModel::kSavedReposKey, StoredForm::encodeRepoTree(older));
        }

        StdoutCapture console;
        auto engine = startEngine();
        QVERIFY(console.lines().contains(message));
        QCOMPARE(names(engine->savedRepos()), (QStringList{u"Box"_s, u"Older"_s}));
        QVERIFY(!QFileInfo::exists(oldPath));
        QVERIFY(!DefaultsStore().contains(AppStoreViewModel::kSavedReposKey));
        // The documents file moves as it is; the settings' tree is written as loaded.
        QCOMPARE(readReposFile(), fromDocuments ? older : engine->savedRepos());

        engine.reset();
        StdoutCapture secondConsole;
        engine = startEngine();
        QCOMPARE(secondConsole.lines(), QStringList());
        QCOMPARE(names(engine->savedRepos()), (QStringList{u"Box"_s, u"Older"_s}));
    }

    // A file the engine cannot read is kept, byte for byte, beside the new one.
    void unreadableFileIsKeptBeforeAnythingOverwritesIt_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("withLegacyBytes");
        QTest::newRow("not JSON") << QByteArray("[{\"name\": \"Mine\", \"url\": \"https://mine.example/")
                                  << false;
        QTest::newRow("with legacy bytes") << QByteArray("{\"future\":\"format\"}") << true;
    }

    void unreadableFileIsKeptBeforeAnythingOverwritesIt() {
        QFETCH(QByteArray, contents);
        QFETCH(bool, withLegacyBytes);
        QVERIFY(writeFile(reposFilePath(), contents));
        if (withLegacyBytes)
            DefaultsStore().setBytes(
                AppStoreViewModel::kSavedReposKey,
                StoredForm::encodeRepoTree({repo(u"Legacy"_s, QUrl(u"https://l.example/f"_s))}));

        StdoutCapture console;
        auto engine = startEngine();
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);
        engine->waitForPendingSaves();
        const QStringList lines = console.lines();

        const QStringList kept =
            QDir(StandardDirs::applicationSupport()).entryList({u"repos.json.unreadable-*"_s}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        const QString keptPath = StandardDirs::applicationSupport() + u'/' + kept.constFirst();
        QCOMPARE(readFile(keptPath), contents);
        QCOMPARE(lines.filter(keptPath).size(), 1);
        // Loading went on as before: the legacy tree, else the default one, now in the file.
        QCOMPARE(names(engine->savedRepos()), QStringList{withLegacyBytes ? u"Legacy"_s : u"Recommended"_s});
        QCOMPARE(readReposFile(), engine->savedRepos());
        if (!withLegacyBytes)
            QTRY_COMPARE_WITH_TIMEOUT(loading.count(), 2, 10000);
    }

    void failedSaveIsPrintedAndTheNextSaveWrites() {
        auto engine = makeEngine({repo(u"Alpha"_s, QUrl(u"https://a.example/feed"_s))});
        // A folder where the file should be: nothing can be written there.
        QFile::remove(reposFilePath());
        QVERIFY(QDir().mkpath(reposFilePath()));

        StdoutCapture console;
        engine->renameRepo(u"https://a.example/feed"_s, u"Renamed"_s);
        engine->waitForPendingSaves();
        const QStringList lines = console.lines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.constFirst().startsWith(u"Failed to save repos to file: "_s),
                 qPrintable(lines.constFirst()));

        QVERIFY(QDir(reposFilePath()).removeRecursively());
        engine->saveRepos();
        QCOMPARE(names(savedTree(*engine)), QStringList{u"Renamed"_s});
        // The temporary file of the failed attempt is gone.
        QCOMPARE(QDir(StandardDirs::applicationSupport()).entryList(QDir::Files),
                 QStringList{u"repos.json"_s});
    }

    void savesInQuickSuccessionEndWithTheLastTree() {
        auto engine = makeEngine({repo(u"Alpha"_s, QUrl(u"https://a.example/feed"_s))});
        for (int i = 0; i < 50; ++i)
            engine->renameRepo(u"https://a.example/feed"_s, u"Name "_s + QString::number(i));
        engine.reset(); // the engine waits for its writes when it goes away
        QCOMPARE(names(readReposFile()), QStringList{u"Name 49"_s});
    }

    // ---- Fetching -------------------------------------------------------------------------------

    void semaphoreHandsPermitsToWaitersInArrivalOrder() {
        Semaphore semaphore(2);
        QStringList log;
        std::vector<QCoro::Task<>> tasks;
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s, u"d"_s})
            tasks.push_back(takePermit(semaphore, log, name));
        QCOMPARE(log, (QStringList{u"a"_s, u"b"_s}));
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
        tree << switchedOff(repo(u"off"_s, url(u"/feeds/off"_s)))
             << switchedOff(folder(u"hidden"_s, {repo(u"inside"_s, url(u"/feeds/inside"_s))}));
        auto engine = makeEngine(tree);
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);
        QList<int> progress;
        // A fetch counts once it has ended: never more than the repositories finished so far.
        int countedAheadOfTheFetches = 0;
        connect(engine.get(), &AppStoreViewModel::fetchProgressChanged, this, [&] {
            progress.append(engine->fetchProgress());
            const QList<SavedRepo> repos = engine->savedRepos();
            const auto finished = std::count_if(repos.cbegin(), repos.cend(), [](const SavedRepo &node) {
                return node.fetchStatus == RepoFetchStatus::success();
            });
            if (engine->fetchProgress() > finished)
                ++countedAheadOfTheFetches;
        });
        int waitingWhenQueued = -1;
        connect(engine.get(), &AppStoreViewModel::savedReposChanged, this, [&] {
            const QList<SavedRepo> repos = engine->savedRepos();
            const auto waiting = std::count_if(repos.cbegin(), repos.cend(), [](const SavedRepo &node) {
                return node.fetchStatus == RepoFetchStatus::waiting();
            });
            if (waitingWhenQueued < 0 && waiting > 0)
                waitingWhenQueued = int(waiting);
        });

        QCoro::waitFor(engine->fetchAllRepos());
        QCOMPARE(m_server.maxInFlightUnder(u"/feeds/"_s), 3);
        QCOMPARE(m_server.totalRequestCount(), 12);
        QCOMPARE(waitingWhenQueued, 12);
        QCOMPARE(engine->fetchTotal(), 12);
        QCOMPARE(progress, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        QCOMPARE(countedAheadOfTheFetches, 0);
        QCOMPARE(loading.count(), 2);
        QVERIFY(!engine->isLoading());
        for (int i = 0; i < 12; ++i) {
            const SavedRepo *node = find(engine->savedRepos(), id(u"/feeds/r"_s + QString::number(i)));
            QCOMPARE(node->fetchStatus, RepoFetchStatus::success());
            QCOMPARE(node->name, u"Repo "_s + QString::number(i));
        }
        const QList<SavedRepo> stored = savedTree(*engine);
        const SavedRepo *saved = find(stored, id(u"/feeds/r3"_s));
        QCOMPARE(saved->cachedApps->size(), 3);
        QCOMPARE(saved->cachedApps->constFirst().sourceRepoName, std::optional<QString>(u"Repo 3"_s));
    }

    void fullRefreshWithNothingEnabledStillSavesAndEnds() {
        auto engine =
            makeEngine({switchedOff(folder(u"hidden"_s, {repo(u"inside"_s, url(u"/feeds/inside"_s))}))});
        QFile::remove(reposFilePath());
        QCoro::waitFor(engine->fetchAllRepos());
        QCOMPARE(engine->fetchTotal(), 0);
        QVERIFY(!engine->isLoading());
        QCOMPARE(m_server.totalRequestCount(), 0);
        engine->waitForPendingSaves();
        QVERIFY(QFileInfo::exists(reposFilePath()));
    }

    // Every linked folder is read first, also inside a switched-off folder, whose feeds are not
    // fetched; only feed requests bypass the cache.
    void fullRefreshReadsEveryLinkedFolderFirst() {
        m_server.setRoute(u"/lists/hidden"_s, RouteResponse::bytes(listOf({u"/feeds/h"_s})));
        m_server.setRoute(u"/lists/shown"_s, RouteResponse::bytes(listOf({u"/feeds/s1"_s, u"/feeds/s2"_s})));
        serveFeed(u"/feeds/s1"_s, u"S one"_s, 1);
        serveFeed(u"/feeds/s2"_s, u"S two"_s, 2);
        serveFeed(u"/feeds/h"_s, u"H"_s, 1);
        auto engine =
            makeEngine({switchedOff(folder(u"off"_s, {linkedFolder(u"inner"_s, u"/lists/hidden"_s)})),
                        linkedFolder(u"shown"_s, u"/lists/shown"_s)});

        QCoro::waitFor(engine->fetchAllRepos());
        QCOMPARE(m_server.requestCount(u"/lists/hidden"_s), 1);
        QCOMPARE(m_server.requestCount(u"/feeds/h"_s), 0);
        QCOMPARE(engine->fetchTotal(), 2);
        const SavedRepo *shown = find(engine->savedRepos(), u"folder-shown"_s);
        QCOMPARE(names(*shown->children), (QStringList{u"S one"_s, u"S two"_s}));
        QCOMPARE(shown->fetchStatus, RepoFetchStatus::success());
        QCOMPARE(m_server.requests(u"/feeds/s1"_s).constFirst().header("Cache-Control"),
                 QByteArray("no-cache"));
        QVERIFY(!m_server.requests(u"/lists/shown"_s).constFirst().hasHeader("Cache-Control"));
    }

    // Pull-to-refresh and an import while a refresh runs: one refresh at a time, run once more
    // after the current one (which fetches what the import added), loading from start to end.
    void refreshAskedForDuringOneRunsOnceMoreAfterIt() {
        QList<SavedRepo> tree;
        for (int i = 0; i < 3; ++i) {
            const QString path = u"/feeds/r"_s + QString::number(i);
            serveFeed(path, u"Repo "_s + QString::number(i), 1, 200);
            tree.append(repo(u"r"_s + QString::number(i), url(path)));
        }
        auto engine = makeEngine(tree);
        QList<bool> loading;
        connect(engine.get(), &AppStoreViewModel::isLoadingChanged, this,
                [&] { loading.append(engine->isLoading()); });
        int progressBeyondTotal = 0;
        connect(engine.get(), &AppStoreViewModel::fetchProgressChanged, this,
                [&] { progressBeyondTotal += engine->fetchProgress() > engine->fetchTotal(); });

        engine->refreshAllRepos();
        QTRY_COMPARE(m_server.inFlight(), 3);
        engine->refreshAllRepos();
        engine->importRepos(u"[{\"name\":\"New\",\"url\":\"%1\"}]"_s.arg(url(u"/feeds/new"_s).toString()));
        engine->refreshAllRepos();
        settle(*engine);

        QCOMPARE(loading, (QList<bool>{true, false}));
        QCOMPARE(progressBeyondTotal, 0);
        QCOMPARE(m_server.maxInFlightUnder(u"/feeds/"_s), 3);
        QCOMPARE(m_server.requestCount(u"/feeds/r0"_s), 2);
        QCOMPARE(m_server.requestCount(u"/feeds/new"_s), 1);
        QCOMPARE(engine->fetchTotal(), 4);
        QCOMPARE(engine->displayApps().size(), 5);
    }

    // A list server that takes the connection and never answers fails the folder when the
    // transfer time-out runs out, and the refresh ends.
    void silentListServerTimesOut() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        SavedRepo linked = folder(u"f"_s, {repo(u"Child"_s, url(u"/feeds/one"_s))});
        linked.repoListURL = QUrl(u"http://127.0.0.1:%1/list"_s.arg(silent.serverPort()));
        auto engine = makeEngine({linked});
        engine->setTransferTimeout(std::chrono::milliseconds(300));

        engine->refreshAllRepos();
        QTRY_VERIFY_WITH_TIMEOUT(!engine->isLoading(), 10000);
        const SavedRepo after = engine->savedRepos().constFirst();
        QCOMPARE(after.fetchStatus, RepoFetchStatus::error(u"The request timed out."_s));
        QCOMPARE(after.children->size(), 1);
        QCOMPARE(m_server.requestCount(u"/feeds/one"_s), 1);
    }

    // A failed fetch says why and keeps what the last good fetch brought. An unusable answer
    // switches the repository off; no answer at all (offline, refused, reset) leaves it on. A
    // feed is decoded whatever the status.
    void fetchOutcome_data() {
        QTest::addColumn<RouteResponse>("response");
        QTest::addColumn<QString>("description"); // empty: the transport's own words; "-": success

        const QString notAFeed = u" — the response is not a repository feed: "_s;
        QTest::newRow("HTML 404 page") << RouteResponse::errorPage(404) << u"HTTP 404"_s + notAFeed;
        QTest::newRow("503, no body") << RouteResponse::bytes({}).withStatus(503) << u"HTTP 503"_s + notAFeed;
        // A page that is not a feed, served as a success: the decoder's own words.
        QTest::newRow("HTML at 200") << RouteResponse::bytes("<html><body>Moved</body></html>", "text/html")
                                     << u"not valid JSON"_s;
        QTest::newRow("connection closed") << RouteResponse::closeConnection() << QString();
        QTest::newRow("body cut short")
            << RouteResponse::bytes(feed(u"Cut"_s, 20)).truncatedAfter(40) << QString();
        QTest::newRow("connection reset")
            << RouteResponse::bytes(feed(u"Reset"_s, 20)).droppedAfter(40) << QString();
        QTest::newRow("feed at 404") << RouteResponse::bytes(feed(u"Odd"_s, 2)).withStatus(404) << u"-"_s;
    }

    void fetchOutcome() {
        QFETCH(RouteResponse, response);
        QFETCH(QString, description);
        m_server.setRoute(u"/feeds/bad"_s, response);
        const SavedRepo bad = repo(u"Bad"_s, url(u"/feeds/bad"_s), {app(u"com.old"_s, u"1.0"_s)});
        auto engine = makeEngine({bad});

        StdoutCapture console;
        QCoro::waitFor(engine->fetchRepo(bad.id, true));
        const QStringList lines = console.lines();
        const SavedRepo after = engine->savedRepos().constFirst();
        if (description == u"-"_s) {
            QCOMPARE(after.fetchStatus, RepoFetchStatus::success());
            QCOMPARE(after.appCount, 2);
            return;
        }
        const bool serverAnswered = !description.isEmpty();
        QCOMPARE(after.isEnabled, !serverAnswered);
        QVERIFY(after.fetchStatus.isError());
        const QString message = after.fetchStatus.message();
        // The transport's own words are never mistaken for an answer of the server.
        QVERIFY2(description.isEmpty() ? !message.isEmpty() && !message.startsWith(u"HTTP"_s)
                                       : message.contains(description),
                 qPrintable(message));
        QCOMPARE(lines, QStringList{u"Failed to fetch "_s + bad.id + u": "_s + message});
        QCOMPARE(after.cachedApps, bad.cachedApps);
        QCOMPARE(after.appCount, 1);
        QCOMPARE(savedTree(*engine).constFirst().isEnabled, !serverAnswered);
    }

    // A feed fetched again unchanged keeps the cached list itself, so the tree and the catalogue
    // go on sharing it; a changed feed brings its own.
    void unchangedFeedKeepsTheCachedList() {
        m_server.setRoute(u"/feeds/same"_s, RouteResponse::bytes(feed(u"Same"_s, 3)));
        const SavedRepo node = repo(u"same"_s, url(u"/feeds/same"_s));
        auto engine = makeEngine({node});
        QCoro::waitFor(engine->fetchRepo(node.id, false));
        const QList<AppItem> first = *engine->savedRepos().constFirst().cachedApps;
        QCoro::waitFor(engine->fetchRepo(node.id, false));
        QVERIFY(engine->savedRepos().constFirst().cachedApps->isSharedWith(first));

        m_server.setRoute(u"/feeds/same"_s, RouteResponse::bytes(feed(u"Same"_s, 4)));
        QCoro::waitFor(engine->fetchRepo(node.id, false));
        QCOMPARE(engine->savedRepos().constFirst().cachedApps->size(), 4);
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
        QTest::addColumn<QString>("outcome");
        QTest::newRow("fetch succeeds") << u"succeeds"_s;
        QTest::newRow("fetch fails") << u"fails"_s;
        QTest::newRow("repository deleted") << u"deleted"_s;
    }

    void editsDuringAFetchSurvive() {
        QFETCH(QString, outcome);
        m_server.setRoute(u"/feeds/slow"_s, outcome == u"fails"_s
                                                ? RouteResponse::errorPage(404).withDelay(300)
                                                : RouteResponse::bytes(feed(u"Slow"_s, 2)).withDelay(300));
        const SavedRepo slow = repo(u"slow"_s, url(u"/feeds/slow"_s));
        auto engine = makeEngine({slow, folder(u"box"_s, {})});

        QCoro::Task<> fetch = engine->fetchRepo(slow.id, true);
        QCOMPARE(find(engine->savedRepos(), slow.id)->fetchStatus, RepoFetchStatus::loading());
        if (outcome == u"deleted"_s) {
            engine->deleteRepo(slow.id);
            QCoro::waitFor(std::move(fetch));
            QCOMPARE(names(engine->savedRepos()), QStringList{u"box"_s});
            QVERIFY(engine->savedRepos().constFirst().children->isEmpty());
            return;
        }
        engine->setRepoEnabled(slow.id, false);
        engine->renameRepo(slow.id, u"Mine"_s);
        engine->moveRepo(slow.id, u"folder-box"_s);
        QCoro::waitFor(std::move(fetch));

        const SavedRepo *after = find(engine->savedRepos(), slow.id);
        QVERIFY(after);
        QCOMPARE(find(engine->savedRepos(), u"folder-box"_s)->children->size(), 1);
        QVERIFY(!after->isEnabled);
        if (outcome == u"succeeds"_s) {
            QCOMPARE(after->fetchStatus, RepoFetchStatus::success());
            QCOMPARE(after->name, u"Slow"_s);
            QCOMPARE(after->cachedApps->size(), 2);
        } else {
            QVERIFY(after->fetchStatus.isError());
            QCOMPARE(after->name, u"Mine"_s);
        }
        QVERIFY(!find(savedTree(*engine), slow.id)->isEnabled);
    }

    void folderRefreshKeepsReListedChildren() {
        SavedRepo known = switchedOff(repo(u"Kept name"_s, url(u"/feeds/a"_s), {app(u"com.a"_s, u"1.0"_s)}));
        m_server.setRoute(u"/lists/f"_s,
                          RouteResponse::bytes(listOf({u"/feeds/c"_s, u"/feeds/a"_s, u"/feeds/c"_s})));
        auto engine = makeEngine(
            {linkedFolder(u"f"_s, u"/lists/f"_s, {known, repo(u"Dropped"_s, url(u"/feeds/b"_s))})});

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
        QTest::addColumn<QString>("description"); // "-": no error
        QTest::newRow("empty list") << RouteResponse::bytes("\r\n   \n\n") << u"-"_s;
        QTest::newRow("not UTF-8") << RouteResponse::bytes("https://a.example/f\n\xff\xfe\n") << u"UTF-8"_s;
        QTest::newRow("404 page") << RouteResponse::errorPage(404) << u"HTTP 404"_s;
        QTest::newRow("connection closed") << RouteResponse::closeConnection() << QString();
    }

    void folderRefreshFailureKeepsTheChildren() {
        QFETCH(RouteResponse, response);
        QFETCH(QString, description);
        m_server.setRoute(u"/lists/f"_s, response);
        const SavedRepo child = repo(u"Child"_s, url(u"/feeds/a"_s));
        auto engine = makeEngine({linkedFolder(u"f"_s, u"/lists/f"_s, {child})});

        StdoutCapture console;
        QCoro::waitFor(engine->refreshFolder(u"folder-f"_s, false));
        const QStringList lines = console.lines();
        const SavedRepo after = engine->savedRepos().constFirst();
        QCOMPARE(after.children, std::optional<QList<SavedRepo>>({child}));
        QVERIFY(after.isEnabled);
        if (description == u"-"_s) {
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
        QCOMPARE(savedTree(*engine).constFirst().children->at(1).appCount, 3);
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

    // Also while a feed decodes, when the engine's own network client, which owns the replies,
    // goes with it: the coroutine that wakes afterwards must not touch the freed reply.
    void engineGoingAwayMidDecodeEndsCleanly() {
        m_server.setRoute(u"/feeds/big"_s, RouteResponse::bytes(feed(u"Big"_s, 20000)));
        writeReposFile({repo(u"big"_s, url(u"/feeds/big"_s))});
        auto network = std::make_unique<QNetworkAccessManager>();
        auto engine = std::make_unique<AppStoreViewModel>(url(u"/Kivo/default_repos.csv"_s), network.get());
        bool gone = false;
        // Queued: the fetch sees the answer first and hands the body to the decoder.
        connect(network.get(), &QNetworkAccessManager::finished, this, [&] {
            QTimer::singleShot(0, this, [&] {
                engine.reset();
                network.reset();
                gone = true;
            });
        });
        engine->refreshAllRepos();
        QTRY_VERIFY(gone);
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(100);
    }

    // ---- Editing the tree -----------------------------------------------------------------------

    // Depth-first in tree order, where folders come first at every level.
    void enabledReposWalksTheTree() {
        auto engine =
            makeEngine({folder(u"outer"_s, {repo(u"b"_s, url(u"/x/b"_s)), folder(u"empty"_s, {}),
                                            folder(u"inner"_s, {repo(u"z"_s, url(u"/x/z"_s))})}),
                        switchedOff(folder(u"hidden"_s, {repo(u"h"_s, url(u"/x/h"_s))})),
                        repo(u"c"_s, url(u"/x/c"_s)), switchedOff(repo(u"off"_s, url(u"/x/off"_s)))});
        QCOMPARE(names(engine->enabledRepos()), (QStringList{u"z"_s, u"b"_s, u"c"_s}));
        engine->setRepoSortOrder(RepoSortOption::Name);
        QCOMPARE(names(engine->enabledRepos()), (QStringList{u"b"_s, u"c"_s, u"z"_s}));
    }

    // Added at once, before any traffic; added twice, kept and fetched once.
    void addRepoSavesFetchesAndRebuilds() {
        auto engine = makeEngine({folder(u"box"_s, {})});
        engine->addRepo(url(u"/feeds/new"_s), u"folder-box"_s);
        engine->addRepo(url(u"/feeds/new"_s), u"folder-box"_s);
        QCOMPARE(engine->savedRepos().constFirst().children->size(), 1);
        const SavedRepo *added = find(engine->savedRepos(), id(u"/feeds/new"_s));
        QVERIFY(added);
        QCOMPARE(added->name, u"Unknown"_s);
        QVERIFY(added->isEnabled && !added->children && added->appCount == 0);
        QCOMPARE(m_server.totalRequestCount(), 0);

        QTRY_COMPARE(engine->displayApps().size(), 2);
        settle(*engine);
        QCOMPARE(m_server.requestCount(u"/feeds/new"_s), 1);
        QCOMPARE(find(engine->savedRepos(), id(u"/feeds/new"_s))->name, u"New feed"_s);
        QCOMPARE(find(readReposFile(), id(u"/feeds/new"_s))->appCount, 2);
    }

    void addIntoALinkedOrMissingFolderAddsNothing_data() {
        QTest::addColumn<QString>("parent");
        QTest::newRow("linked folder") << u"folder-linked"_s;
        QTest::newRow("missing folder") << u"no such folder"_s;
    }

    void addIntoALinkedOrMissingFolderAddsNothing() {
        QFETCH(QString, parent);
        auto engine = makeEngine(nestedTree());
        const QList<SavedRepo> before = engine->savedRepos();
        engine->addRepo(url(u"/feeds/new"_s), parent);
        engine->addFolder(u"Sub"_s, parent);
        QCOMPARE(engine->savedRepos(), before);
        settle(*engine);
        QCOMPARE(m_server.requestCount(u"/feeds/new"_s), 0);
        QCOMPARE(readReposFile(), before);
    }

    void addFolderWithALinkFillsIt() {
        m_server.setRoute(u"/lists/l"_s, RouteResponse::bytes(listOf({u"/feeds/new"_s})));
        auto engine = makeEngine({});
        engine->addFolder(u"Linked"_s, {}, url(u"/lists/l"_s));
        engine->addFolder(u"Plain"_s);

        const QList<SavedRepo> level = engine->childrenForDisplay();
        QCOMPARE(names(level), (QStringList{u"Linked"_s, u"Plain"_s}));
        QCOMPARE(level.at(0).repoListURL, std::optional<QUrl>(url(u"/lists/l"_s)));
        QVERIFY(!level.at(1).repoListURL);
        QCOMPARE(level.at(1).children, std::optional<QList<SavedRepo>>(QList<SavedRepo>()));
        QTRY_COMPARE(engine->displayApps().size(), 2);
        settle(*engine);
        QCOMPARE(names(*readReposFile().at(0).children), QStringList{u"New feed"_s});
    }

    void renameSavesWithoutRebuilding() {
        const SavedRepo named = repo(u"r"_s, url(u"/feeds/r"_s), {app(u"com.app"_s, u"1"_s)});
        auto engine = makeEngine({named});
        QTRY_COMPARE(engine->displayApps().size(), 1);
        QSignalSpy rebuilt(engine.get(), &AppStoreViewModel::displayAppsChanged);

        engine->renameRepo(named.id, u"Renamed"_s);
        QCOMPARE(names(savedTree(*engine)), QStringList{u"Renamed"_s});
        // Apps keep the feed's name, so there is nothing to rebuild.
        QTest::qWait(100);
        QCOMPARE(rebuilt.count(), 0);
        QCOMPARE(m_server.totalRequestCount(), 0);
    }

    void deleteRemovesEveryNodeWithTheIDAndRebuilds() {
        const SavedRepo twin = repo(u"twin"_s, url(u"/feeds/twin"_s), {app(u"com.t"_s, u"1"_s)});
        auto engine = makeEngine({folder(u"a"_s, {twin, folder(u"b"_s, {twin})}), twin,
                                  folder(u"gone"_s, {repo(u"inside"_s, url(u"/feeds/inside"_s))})});
        QTRY_COMPARE(engine->displayApps().size(), 1);

        engine->deleteRepo(twin.id);
        engine->deleteRepo(u"folder-gone"_s);
        QCOMPARE(names(engine->savedRepos()), QStringList{u"a"_s});
        QCOMPARE(names(*engine->savedRepos().constFirst().children), QStringList{u"b"_s});
        QVERIFY(engine->savedRepos().constFirst().children->constFirst().children->isEmpty());
        QTRY_COMPARE(engine->displayApps().size(), 0);
        QCOMPARE(savedTree(*engine), engine->savedRepos());
    }

    void moveRepo_data() {
        QTest::addColumn<QString>("moved");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("expectedParent"); // empty: top level; "-": nothing moved
        QTest::newRow("into a folder") << u"r"_s << u"folder-c"_s << u"folder-c"_s;
        QTest::newRow("to the top level") << u"folder-b"_s << QString() << QString();
        QTest::newRow("into its own grandchild") << u"folder-a"_s << u"folder-c"_s << u"-"_s;
        QTest::newRow("into itself") << u"folder-a"_s << u"folder-a"_s << u"-"_s;
        QTest::newRow("into a linked folder") << u"folder-c"_s << u"folder-linked"_s << QString();
        QTest::newRow("into a missing folder") << u"r"_s << u"nowhere"_s << QString();
        QTest::newRow("a missing node") << u"nothing"_s << u"folder-a"_s << u"-"_s;
    }

    void moveRepo() {
        QFETCH(QString, moved);
        QFETCH(QString, target);
        QFETCH(QString, expectedParent);
        if (moved == u"r"_s)
            moved = id(u"/feeds/r"_s);
        auto engine = makeEngine(nestedTree());
        const QList<SavedRepo> before = engine->savedRepos();
        engine->moveRepo(moved, target);
        engine->waitForPendingSaves();
        const QList<SavedRepo> tree = engine->savedRepos();
        if (expectedParent == u"-"_s) {
            QCOMPARE(tree, before);
            return;
        }
        QCOMPARE(readReposFile(), tree);
        // Moved, not copied: the node is in the tree once, at the expected level.
        int occurrences = 0;
        std::function<void(const QList<SavedRepo> &)> count = [&](const QList<SavedRepo> &nodes) {
            for (const SavedRepo &node : nodes) {
                occurrences += node.id == moved;
                if (node.children)
                    count(*node.children);
            }
        };
        count(tree);
        QCOMPARE(occurrences, 1);
        occurrences = 0;
        count(expectedParent.isEmpty() ? tree : *find(tree, expectedParent)->children);
        QCOMPARE(occurrences, 1);
    }

    void moveTargetsOffersUnlinkedFoldersOutsideTheMovedNode_data() {
        QTest::addColumn<QString>("moved");
        QTest::addColumn<QStringList>("targets");
        QTest::newRow("a repository") << u"r"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
        QTest::newRow("folder b") << u"folder-b"_s << QStringList{u"a"_s};
        QTest::newRow("folder a") << u"folder-a"_s << QStringList();
    }

    void moveTargetsOffersUnlinkedFoldersOutsideTheMovedNode() {
        QFETCH(QString, moved);
        QFETCH(QStringList, targets);
        auto engine = makeEngine(nestedTree());
        QCOMPARE(names(engine->moveTargets(moved == u"r"_s ? id(u"/feeds/r"_s) : moved)), targets);
    }

    void switchingOffRebuildsAndSwitchingOnFetchesFirst() {
        auto engine = makeEngine(
            {folder(u"box"_s, {repo(u"inner"_s, url(u"/feeds/new"_s), {app(u"com.c"_s, u"1"_s)})})});
        QTRY_COMPARE(engine->displayApps().size(), 1);

        // Off: the apps leave the catalogue but stay cached, and nothing is fetched.
        engine->setRepoEnabled(u"folder-box"_s, false);
        QTRY_COMPARE(engine->displayApps().size(), 0);
        QCOMPARE(engine->savedRepos().constFirst().children->constFirst().cachedApps->size(), 1);
        QVERIFY(!savedTree(*engine).constFirst().isEnabled);

        // On again: a folder has no feed of its own, so the cached apps come back without traffic.
        engine->setRepoEnabled(u"folder-box"_s, true);
        QTRY_COMPARE(engine->displayApps().size(), 1);
        QCOMPARE(m_server.totalRequestCount(), 0);

        // A repository switched on is fetched.
        engine->setRepoEnabled(id(u"/feeds/new"_s), false);
        engine->setRepoEnabled(id(u"/feeds/new"_s), true);
        QTRY_COMPARE(engine->displayApps().size(), 2);
        QCOMPARE(m_server.requestCount(u"/feeds/new"_s), 1);
        settle(*engine);
    }

    void importTriesItsThreeFormsInOrder_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("addedNames");
        QTest::addColumn<QStringList>("addedIDs"); // "*" for a fresh folder id
        QTest::newRow("exchange array")
            << u"[{\"name\":\"A\",\"url\":\"https://a.example/f\"},{\"name\":\"F\",\"children\":[]}]"_s
            << QStringList{u"A"_s, u"F"_s} << QStringList{u"https://a.example/f"_s, u"*"_s};
        QTest::newRow("single exchange object")
            << u"{\"name\":\"L\",\"childrenUrl\":\"https://l.example/list\"}"_s << QStringList{u"L"_s}
            << QStringList{u"*"_s};
        // Without a "name" the exchange forms fail; the stored form takes the nodes as they are.
        QTest::newRow("stored form")
            << u"[{\"id\":\"kept-id\",\"url\":\"https://s.example/f\",\"appCount\":7}]"_s
            << QStringList{u"Unknown"_s} << QStringList{u"kept-id"_s};
        QTest::newRow("not JSON") << u"https://a.example/f"_s << QStringList() << QStringList();
    }

    void importTriesItsThreeFormsInOrder() {
        QFETCH(QString, text);
        QFETCH(QStringList, addedNames);
        QFETCH(QStringList, addedIDs);
        m_server.setRoute(u"/Kivo/default_repos.csv"_s, RouteResponse::bytes({}));
        const SavedRepo existing = repo(u"existing"_s, QUrl(u"https://existing.invalid/f"_s));
        auto engine = makeEngine({existing});
        QFile::remove(reposFilePath());
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);

        engine->importRepos(text);
        // Appended after what was there; a refresh follows in every case.
        const QList<SavedRepo> tree = engine->savedRepos();
        QCOMPARE(tree.size(), 1 + addedNames.size());
        for (qsizetype i = 0; i < addedNames.size(); ++i) {
            const auto node = std::find_if(tree.cbegin(), tree.cend(),
                                           [&](const SavedRepo &n) { return n.name == addedNames.at(i); });
            QVERIFY(node != tree.cend());
            QVERIFY2(addedIDs.at(i) == u"*"_s ? node->id.size() == 36 : node->id == addedIDs.at(i),
                     qPrintable(node->id));
        }
        QTRY_COMPARE_WITH_TIMEOUT(loading.count(), 2, 10000);
        engine->waitForPendingSaves();
        QVERIFY(QFileInfo::exists(reposFilePath()));
    }
};

KIVO_TEST_MAIN(TestStore)
#include "tst_store.moc"

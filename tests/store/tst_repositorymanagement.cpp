#include "fixtures/httpserver.h"
#include "storetestsupport.h"
#include "support/testmain.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace StoreTest;

// Editing the tree: what each operation changes, saves, fetches and rebuilds.
class TestRepositoryManagement : public QObject {
    Q_OBJECT

private:
    HttpServer m_server;
    QNetworkAccessManager m_network;

    QUrl url(const QString &path) const { return m_server.url(path); }
    QString id(const QString &path) const { return url(path).toString(QUrl::FullyEncoded); }

    std::unique_ptr<AppStoreViewModel> makeEngine(const QList<SavedRepo> &tree) {
        writeReposFile(tree);
        auto engine = std::make_unique<AppStoreViewModel>(url(u"/Kivo/default_repos.csv"_s), &m_network);
        QTest::qWait(0);
        return engine;
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
        m_server.setRoute(u"/feeds/new"_s, RouteResponse::bytes(feed(u"New feed"_s, 2)));
    }

    void addRepoSavesFetchesAndRebuilds() {
        auto engine = makeEngine({folder(u"box"_s, {})});
        engine->addRepo(url(u"/feeds/new"_s), u"folder-box"_s);

        // The operation returns before any network traffic.
        const SavedRepo *added = find(engine->savedRepos(), id(u"/feeds/new"_s));
        QVERIFY(added);
        QCOMPARE(added->name, u"Unknown"_s);
        QVERIFY(added->isEnabled && !added->children && added->appCount == 0);
        QCOMPARE(m_server.totalRequestCount(), 0);

        QTRY_COMPARE(engine->displayApps().size(), 2);
        settle(*engine);
        QCOMPARE(find(engine->savedRepos(), id(u"/feeds/new"_s))->name, u"New feed"_s);
        QCOMPARE(find(readReposFile(), id(u"/feeds/new"_s))->appCount, 2);
    }

    void addRepoTwiceKeepsOneAndFetchesOnce() {
        auto engine = makeEngine({});
        engine->addRepo(url(u"/feeds/new"_s));
        engine->addRepo(url(u"/feeds/new"_s));
        QCOMPARE(engine->savedRepos().size(), 1);
        QTRY_COMPARE(engine->savedRepos().constFirst().fetchStatus, RepoFetchStatus::success());
        settle(*engine);
        QCOMPARE(m_server.requestCount(u"/feeds/new"_s), 1);
    }

    void addIntoALinkedOrMissingFolderAddsNothing_data() {
        QTest::addColumn<QString>("parent");
        QTest::newRow("linked folder") << u"folder-linked"_s;
        QTest::newRow("missing folder") << u"no such folder"_s;
    }

    void addIntoALinkedOrMissingFolderAddsNothing() {
        QFETCH(QString, parent);
        const QList<SavedRepo> tree = nestedTree();
        auto engine = makeEngine(tree);
        const QList<SavedRepo> before = engine->savedRepos();

        engine->addRepo(url(u"/feeds/new"_s), parent);
        engine->addFolder(u"Sub"_s, parent);
        QCOMPARE(engine->savedRepos(), before);
        settle(*engine);
        QCOMPARE(m_server.requestCount(u"/feeds/new"_s), 0);
        QCOMPARE(readReposFile(), before);
    }

    void addFolderWithALinkFillsIt() {
        m_server.setRoute(u"/lists/l"_s, RouteResponse::bytes(url(u"/feeds/new"_s).toString().toUtf8()));
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
        const QList<SavedRepo> saved = readReposFile();
        QCOMPARE(names(*saved.at(0).children), QStringList{u"New feed"_s});
    }

    void renameSavesWithoutRebuilding() {
        SavedRepo named = repo(u"r"_s, url(u"/feeds/r"_s));
        named.cachedApps = QList<AppItem>{app(u"App"_s, u"com.app"_s, u"1"_s, u"r"_s)};
        auto engine = makeEngine({named});
        QTRY_COMPARE(engine->displayApps().size(), 1);
        QSignalSpy rebuilt(engine.get(), &AppStoreViewModel::displayAppsChanged);

        engine->renameRepo(named.id, u"Renamed"_s);
        engine->waitForPendingSaves();
        QCOMPARE(names(readReposFile()), QStringList{u"Renamed"_s});
        // Apps keep the feed's name, so there is nothing to rebuild.
        QTest::qWait(100);
        QCOMPARE(rebuilt.count(), 0);
        QCOMPARE(m_server.totalRequestCount(), 0);
    }

    void deleteRemovesEveryNodeWithTheIDAndRebuilds() {
        SavedRepo twin = repo(u"twin"_s, url(u"/feeds/twin"_s));
        twin.cachedApps = QList<AppItem>{app(u"T"_s, u"com.t"_s, u"1"_s, u"twin"_s)};
        auto engine = makeEngine({folder(u"a"_s, {twin, folder(u"b"_s, {twin})}), twin,
                                  folder(u"gone"_s, {repo(u"inside"_s, url(u"/feeds/inside"_s))})});
        QTRY_COMPARE(engine->displayApps().size(), 1);

        engine->deleteRepo(twin.id);
        engine->deleteRepo(u"folder-gone"_s);
        QCOMPARE(names(engine->savedRepos()), QStringList{u"a"_s});
        QCOMPARE(names(*engine->savedRepos().constFirst().children), QStringList{u"b"_s});
        QVERIFY(engine->savedRepos().constFirst().children->constFirst().children->isEmpty());
        QTRY_COMPARE(engine->displayApps().size(), 0);
        engine->waitForPendingSaves();
        QCOMPARE(readReposFile(), engine->savedRepos());
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

        if (expectedParent == u"-"_s) {
            QCOMPARE(engine->savedRepos(), before);
            return;
        }
        const QList<SavedRepo> tree = engine->savedRepos();
        const QList<SavedRepo> level =
            expectedParent.isEmpty() ? tree : *find(tree, expectedParent)->children;
        QCOMPARE(
            std::count_if(level.cbegin(), level.cend(), [&](const SavedRepo &n) { return n.id == moved; }),
            1);
        // Moved, not copied: the node is in the tree once.
        QCOMPARE(readReposFile(), tree);
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
        SavedRepo box = folder(u"box"_s, {repo(u"inner"_s, url(u"/feeds/new"_s))});
        box.children->first().cachedApps =
            QList<AppItem>{app(u"Cached"_s, u"com.cached"_s, u"1"_s, u"inner"_s)};
        auto engine = makeEngine({box});
        QTRY_COMPARE(engine->displayApps().size(), 1);

        // Off: the apps leave the catalogue but stay cached, and nothing is fetched.
        engine->setRepoEnabled(u"folder-box"_s, false);
        QTRY_COMPARE(engine->displayApps().size(), 0);
        QCOMPARE(engine->savedRepos().constFirst().children->constFirst().cachedApps->size(), 1);
        engine->waitForPendingSaves();
        QVERIFY(!readReposFile().constFirst().isEnabled);

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

    void childrenForDisplayListsOneLevel() {
        auto engine = makeEngine(
            {repo(u"beta"_s, url(u"/x/b"_s)), folder(u"Zed"_s, {}), repo(u"Alpha"_s, url(u"/x/a"_s)),
             folder(u"outer"_s, {repo(u"y"_s, url(u"/x/y"_s)), repo(u"X"_s, url(u"/x/x"_s))})});
        QCOMPARE(names(engine->childrenForDisplay()),
                 (QStringList{u"Zed"_s, u"outer"_s, u"beta"_s, u"Alpha"_s}));
        QCOMPARE(names(engine->childrenForDisplay(u"folder-outer"_s)), (QStringList{u"y"_s, u"X"_s}));
        QVERIFY(engine->childrenForDisplay(u"missing"_s).isEmpty());
        QVERIFY(engine->childrenForDisplay(id(u"/x/a"_s)).isEmpty());
        engine->setRepoSortOrder(RepoSortOption::name);
        QCOMPARE(names(engine->childrenForDisplay()),
                 (QStringList{u"outer"_s, u"Zed"_s, u"Alpha"_s, u"beta"_s}));
        QCOMPARE(names(engine->childrenForDisplay(u"folder-outer"_s)), (QStringList{u"X"_s, u"y"_s}));
    }

    void exportsFollowTheOnlyEnabledFlag() {
        SavedRepo off = repo(u"off"_s, QUrl(u"https://off.example/feed"_s));
        off.isEnabled = false;
        auto engine = makeEngine({repo(u"on"_s, QUrl(u"https://on.example/feed"_s)), off,
                                  folder(u"f"_s, {repo(u"in"_s, QUrl(u"https://in.example/feed"_s))})});
        QCOMPARE(engine->exportReposURLList(false),
                 u"https://in.example/feed\nhttps://on.example/feed\nhttps://off.example/feed"_s);
        QCOMPARE(engine->exportReposURLList(true), u"https://in.example/feed\nhttps://on.example/feed"_s);
        QCOMPARE(engine->exportReposJSON(true),
                 u"[{\"name\":\"f\",\"children\":[{\"name\":\"in\",\"url\":\"https://in.example/feed\"}]},"
                 "{\"name\":\"on\",\"url\":\"https://on.example/feed\"}]"_s);
        QVERIFY(engine->exportReposJSON(false).contains(
            u"{\"name\":\"off\",\"url\":\"https://off.example/feed\",\"isEnabled\":false}"_s));
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
        QTest::newRow("record without address")
            << u"[{\"name\":\"Nowhere\"}]"_s << QStringList{u"Nowhere"_s} << QStringList{u"about:blank"_s};
        // Without a "name" the exchange forms fail; the stored form takes the nodes as they are.
        QTest::newRow("stored form")
            << u"[{\"id\":\"kept-id\",\"url\":\"https://s.example/f\",\"appCount\":7}]"_s
            << QStringList{u"Unknown"_s} << QStringList{u"kept-id"_s};
        QTest::newRow("not JSON") << u"https://a.example/f"_s << QStringList() << QStringList();
        QTest::newRow("wrong types") << u"[{\"name\":1}]"_s << QStringList() << QStringList();
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
        QStringList importedNames;
        for (const SavedRepo &node : tree) {
            if (node.id != existing.id)
                importedNames.append(node.name);
        }
        QCOMPARE(importedNames.size(), addedNames.size());
        for (qsizetype i = 0; i < addedNames.size(); ++i) {
            const auto node = std::find_if(tree.cbegin(), tree.cend(),
                                           [&](const SavedRepo &n) { return n.name == addedNames.at(i); });
            QVERIFY(node != tree.cend());
            if (addedIDs.at(i) == u"*"_s)
                QCOMPARE(node->id.size(), 36);
            else
                QCOMPARE(node->id, addedIDs.at(i));
        }
        QTRY_COMPARE_WITH_TIMEOUT(loading.count(), 2, 10000);
        engine->waitForPendingSaves();
        QVERIFY(QFileInfo::exists(reposFilePath()));
    }

    void importIntoAnEmptyTreeMakesExactlyTheImportedNodes() {
        auto engine = makeEngine({});
        engine->importRepos(
            u"[{\"name\":\"Off\",\"url\":\"https://a.example/f\",\"isEnabled\":false},"
            "{\"name\":\"Linked\",\"childrenUrl\":\"https://l.invalid/list\",\"children\":[{\"name\":\"x\"}]}]"_s);
        const QList<SavedRepo> tree = engine->savedRepos();
        QCOMPARE(names(tree), (QStringList{u"Linked"_s, u"Off"_s}));
        QCOMPARE(tree.at(0).repoListURL, std::optional<QUrl>(QUrl(u"https://l.invalid/list"_s)));
        QCOMPARE(names(*tree.at(0).children), QStringList{u"x"_s});
        QVERIFY(!tree.at(1).isEnabled);
        settle(*engine);
    }
};

KIVO_TEST_MAIN(TestRepositoryManagement)
#include "tst_repositorymanagement.moc"

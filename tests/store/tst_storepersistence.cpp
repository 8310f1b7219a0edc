#include "fixtures/httpserver.h"
#include "platform/uuid.h"
#include "storetestsupport.h"
#include "support/testmain.h"

#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace StoreTest;

// The repository tree on disk and the engine's settings: start-up, migrations, saving, order.
class TestStorePersistence : public QObject {
    Q_OBJECT

private:
    HttpServer m_server;
    QNetworkAccessManager m_network;

    QUrl defaultList() const { return m_server.url(u"/Kivo/default_repos.csv"_s); }

    std::unique_ptr<AppStoreViewModel> makeEngine() {
        return std::make_unique<AppStoreViewModel>(defaultList(), &m_network);
    }

    // A tree in an order that neither sort order keeps: repositories before folders, names out
    // of alphabetical order and in mixed case, at two levels.
    static QList<SavedRepo> unorderedTree() {
        return {repo(u"beta"_s, QUrl(u"https://b.example/feed"_s)),
                folder(u"Zeta folder"_s,
                       {repo(u"delta"_s, QUrl(u"https://d.example/feed"_s)), folder(u"inner"_s, {}),
                        repo(u"Charlie"_s, QUrl(u"https://c.example/feed"_s))}),
                repo(u"Alpha"_s, QUrl(u"https://a.example/feed"_s)), folder(u"eta folder"_s, {})};
    }

    static void waitForRefresh(AppStoreViewModel &engine, QSignalSpy &loadingSpy) {
        QTRY_COMPARE_WITH_TIMEOUT(loadingSpy.count(), 2, 10000);
        QVERIFY(!engine.isLoading());
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_server.start());
        m_server.setRoute(u"/Kivo/default_repos.csv"_s,
                          RouteResponse::bytes(m_server.url(u"/feeds/one"_s).toString().toUtf8() + "\n" +
                                                   m_server.url(u"/feeds/two"_s).toString().toUtf8() + "\n",
                                               "text/plain")
                              .withDelay(50));
        m_server.setRoute(u"/feeds/one"_s, RouteResponse::bytes(feed(u"One"_s, 2), "application/json"));
        m_server.setRoute(u"/feeds/two"_s, RouteResponse::bytes(feed(u"Two"_s, 3), "application/json"));
    }

    void init() {
        forgetEverything();
        QDir(StandardDirs::documents()).removeRecursively();
        m_server.resetCounters();
    }

    void firstStartBuildsTheDefaultTreeAndRefreshes() {
        auto engine = makeEngine();
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);

        QCOMPARE(engine->savedRepos().size(), 1);
        const SavedRepo recommended = engine->savedRepos().constFirst();
        QCOMPARE(recommended.name, u"Recommended"_s);
        QVERIFY(recommended.isEnabled);
        QCOMPARE(recommended.children, std::optional<QList<SavedRepo>>(QList<SavedRepo>()));
        QCOMPARE(recommended.repoListURL, std::optional<QUrl>(defaultList()));
        QVERIFY(!recommended.url && !recommended.cachedApps && recommended.appCount == 0);
        QVERIFY(QRegularExpression(u"^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"_s)
                    .match(recommended.id)
                    .hasMatch());
        engine->waitForPendingSaves();
        QCOMPARE(readReposFile(), engine->savedRepos());

        // The refresh fills the folder from the list and fetches what it lists.
        waitForRefresh(*engine, loading);
        QCOMPARE(m_server.requestCount(u"/Kivo/default_repos.csv"_s), 1);
        const QList<SavedRepo> children = engine->savedRepos().constFirst().children.value();
        QCOMPARE(names(children), (QStringList{u"One"_s, u"Two"_s}));
        QCOMPARE(children.at(1).appCount, 3);
        QCOMPARE(engine->fetchTotal(), 2);
        QCOMPARE(engine->fetchProgress(), 2);
        engine->waitForPendingSaves();
        QCOMPARE(readReposFile().constFirst().children->size(), 2);
    }

    void treeOrderFollowsTheStoredSortOrder_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<RepoSortOption>("order");
        QTest::addColumn<QStringList>("topLevel");
        QTest::addColumn<QStringList>("inFolder");

        const QStringList standardTop{u"Zeta folder"_s, u"eta folder"_s, u"beta"_s, u"Alpha"_s};
        const QStringList standardInner{u"inner"_s, u"delta"_s, u"Charlie"_s};
        QTest::newRow("Name") << u"Name"_s << RepoSortOption(RepoSortOption::name)
                              << QStringList{u"eta folder"_s, u"Zeta folder"_s, u"Alpha"_s, u"beta"_s}
                              << QStringList{u"inner"_s, u"Charlie"_s, u"delta"_s};
        QTest::newRow("Default") << u"Default"_s << RepoSortOption(RepoSortOption::standard) << standardTop
                                 << standardInner;
        QTest::newRow("unknown text")
            << u"name"_s << RepoSortOption(RepoSortOption::standard) << standardTop << standardInner;
        QTest::newRow("absent") << QString() << RepoSortOption(RepoSortOption::standard) << standardTop
                                << standardInner;
    }

    void treeOrderFollowsTheStoredSortOrder() {
        QFETCH(QString, stored);
        QFETCH(RepoSortOption, order);
        QFETCH(QStringList, topLevel);
        QFETCH(QStringList, inFolder);

        if (!stored.isNull())
            DefaultsStore().setString(AppStoreViewModel::kRepoSortOrder, stored);
        writeReposFile(unorderedTree());
        auto engine = makeEngine();

        QCOMPARE(engine->repoSortOrder(), order);
        QCOMPARE(names(engine->savedRepos()), topLevel);
        QCOMPARE(names(*find(engine->savedRepos(), u"folder-Zeta folder"_s)->children), inFolder);
    }

    void changingTheRepoSortOrderStoresItAndReordersAtOnce() {
        writeReposFile(unorderedTree());
        auto engine = makeEngine();
        const QByteArray fileBefore = readFile(reposFilePath());
        QSignalSpy treeChanged(engine.get(), &AppStoreViewModel::savedReposChanged);

        engine->setRepoSortOrder(RepoSortOption::name);
        QCOMPARE(DefaultsStore().string(AppStoreViewModel::kRepoSortOrder),
                 std::optional<QString>(u"Name"_s));
        QCOMPARE(treeChanged.count(), 1);
        QCOMPARE(names(engine->savedRepos()),
                 (QStringList{u"eta folder"_s, u"Zeta folder"_s, u"Alpha"_s, u"beta"_s}));
        // The file follows with the next save.
        engine->waitForPendingSaves();
        QCOMPARE(readFile(reposFilePath()), fileBefore);
        engine->saveRepos();
        engine->waitForPendingSaves();
        QCOMPARE(names(readReposFile()), names(engine->savedRepos()));

        // Back to the default order keeps the order the tree has now.
        engine->setRepoSortOrder(RepoSortOption::standard);
        QCOMPARE(DefaultsStore().string(AppStoreViewModel::kRepoSortOrder),
                 std::optional<QString>(u"Default"_s));
        QCOMPARE(names(engine->savedRepos()),
                 (QStringList{u"eta folder"_s, u"Zeta folder"_s, u"Alpha"_s, u"beta"_s}));
    }

    void strictGroupingIsStoredAndRebuildsWithoutFetching() {
        // Two sources list one bundle ID under different names: two rows when strict, one when not.
        SavedRepo first = repo(u"First"_s, QUrl(u"https://first.example/feed"_s));
        first.cachedApps = QList<AppItem>{app(u"Tool"_s, u"com.tool"_s, u"1.0"_s, u"First"_s)};
        SavedRepo second = repo(u"Second"_s, QUrl(u"https://second.example/feed"_s));
        second.cachedApps = QList<AppItem>{app(u"Tool Pro"_s, u"com.tool"_s, u"2.0"_s, u"Second"_s)};
        writeReposFile({first, second});

        auto engine = makeEngine();
        QVERIFY(engine->strictGrouping());
        // Written once during construction, even when nothing was stored.
        QCOMPARE(DefaultsStore().boolValue(AppStoreViewModel::kStrictGrouping), std::optional<bool>(true));
        // The rebuild scheduled at construction shows the cached apps.
        QTRY_COMPARE(engine->displayApps().size(), 2);

        engine->setStrictGrouping(false);
        QCOMPARE(DefaultsStore().boolValue(AppStoreViewModel::kStrictGrouping), std::optional<bool>(false));
        QTRY_COMPARE(engine->displayApps().size(), 1);
        QCOMPARE(engine->displayApps().constFirst().version, u"2.0"_s);
        QCOMPARE(m_server.totalRequestCount(), 0);

        engine.reset();
        engine = makeEngine();
        QVERIFY(!engine->strictGrouping());
    }

    void appSortOrderStartsAsNameEveryTime() {
        writeReposFile({});
        auto engine = makeEngine();
        QCOMPARE(engine->appSortOrder(), AppSortOption(AppSortOption::name));
        QSignalSpy changed(engine.get(), &AppStoreViewModel::appSortOrderChanged);
        engine->setAppSortOrder(AppSortOption::size);
        engine->setAppSortOrder(AppSortOption::size);
        QCOMPARE(changed.count(), 1);
        engine.reset();
        QCOMPARE(makeEngine()->appSortOrder(), AppSortOption(AppSortOption::name));
    }

    void documentsFileReplacesTheCurrentOne() {
        writeReposFile({repo(u"Current"_s, QUrl(u"https://current.example/feed"_s))});
        const QString oldPath = StandardDirs::documents() + u"/repos.json"_s;
        writeFile(oldPath,
                  StoredForm::encodeRepoTree({repo(u"Older"_s, QUrl(u"https://older.example/feed"_s))}));

        StdoutCapture console;
        auto engine = makeEngine();
        QVERIFY(console.lines().contains(u"Migrating repos.json to Application Support..."_s));
        console.restore();

        QCOMPARE(names(engine->savedRepos()), QStringList{u"Older"_s});
        QVERIFY(!QFileInfo::exists(oldPath));
        QCOMPARE(names(readReposFile()), QStringList{u"Older"_s});
    }

    void legacyBytesMoveToTheFile() {
        const QList<SavedRepo> tree{repo(u"Legacy"_s, QUrl(u"https://legacy.example/feed"_s)),
                                    folder(u"Box"_s, {})};
        DefaultsStore().setBytes(AppStoreViewModel::kSavedReposKey, StoredForm::encodeRepoTree(tree));

        StdoutCapture console;
        auto engine = makeEngine();
        QVERIFY(console.lines().contains(u"Migrating repos from UserDefaults to File..."_s));
        console.restore();

        QCOMPARE(names(engine->savedRepos()), (QStringList{u"Box"_s, u"Legacy"_s}));
        QVERIFY(!DefaultsStore().contains(AppStoreViewModel::kSavedReposKey));
        QCOMPARE(readReposFile(), engine->savedRepos());

        // A second start reads the file and migrates nothing.
        engine.reset();
        StdoutCapture secondConsole;
        engine = makeEngine();
        QCOMPARE(secondConsole.lines(), QStringList());
        QCOMPARE(names(engine->savedRepos()), (QStringList{u"Box"_s, u"Legacy"_s}));
    }

    void undecodableLegacyBytesGiveTheDefaultTree() {
        DefaultsStore().setBytes(AppStoreViewModel::kSavedReposKey, "[{\"name\":42}]");
        auto engine = makeEngine();
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);
        QCOMPARE(names(engine->savedRepos()), QStringList{u"Recommended"_s});
        waitForRefresh(*engine, loading);
    }

    // A file the engine cannot read is kept, byte for byte, beside the new one.
    void unreadableFileIsKeptBeforeAnythingOverwritesIt_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("withLegacyBytes");

        QTest::newRow("not JSON") << QByteArray("[{\"name\": \"Mine\", \"url\": \"https://mine.example/")
                                  << false;
        QTest::newRow("wrong type") << QByteArray("[{\"name\":\"Mine\",\"isEnabled\":\"yes\"}]") << false;
        QTest::newRow("not UTF-8") << QByteArray("[{\"name\":\"M\xff\xfe\"}]") << false;
        QTest::newRow("with legacy bytes") << QByteArray("{\"future\":\"format\"}") << true;
    }

    void unreadableFileIsKeptBeforeAnythingOverwritesIt() {
        QFETCH(QByteArray, contents);
        QFETCH(bool, withLegacyBytes);

        writeFile(reposFilePath(), contents);
        if (withLegacyBytes) {
            DefaultsStore().setBytes(
                AppStoreViewModel::kSavedReposKey,
                StoredForm::encodeRepoTree({repo(u"Legacy"_s, QUrl(u"https://l.example/f"_s))}));
        }

        StdoutCapture console;
        auto engine = makeEngine();
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);
        engine->waitForPendingSaves();
        const QStringList lines = console.lines();
        console.restore();

        const QStringList kept =
            QDir(StandardDirs::applicationSupport()).entryList({u"repos.json.unreadable-*"_s}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        const QString keptPath = StandardDirs::applicationSupport() + u'/' + kept.constFirst();
        QCOMPARE(readFile(keptPath), contents);
        const auto mentions = std::count_if(lines.cbegin(), lines.cend(), [&keptPath](const QString &line) {
            return line.contains(keptPath);
        });
        QCOMPARE(mentions, 1);

        // Loading went on as before: the legacy tree, else the default one, now in the file.
        QCOMPARE(names(engine->savedRepos()), QStringList{withLegacyBytes ? u"Legacy"_s : u"Recommended"_s});
        QCOMPARE(readReposFile(), engine->savedRepos());
        if (!withLegacyBytes)
            waitForRefresh(*engine, loading);
    }

    void failedSaveIsPrintedAndTheNextSaveWrites() {
        writeReposFile({repo(u"Alpha"_s, QUrl(u"https://a.example/feed"_s))});
        auto engine = makeEngine();
        // A folder where the file should be: nothing can be written there.
        QFile::remove(reposFilePath());
        QVERIFY(QDir().mkpath(reposFilePath()));

        StdoutCapture console;
        engine->renameRepo(u"https://a.example/feed"_s, u"Renamed"_s);
        engine->waitForPendingSaves();
        const QStringList lines = console.lines();
        console.restore();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.constFirst().startsWith(u"Failed to save repos to file: "_s),
                 qPrintable(lines.constFirst()));
        QCOMPARE(names(engine->savedRepos()), QStringList{u"Renamed"_s});

        QVERIFY(QDir(reposFilePath()).removeRecursively());
        engine->saveRepos();
        engine->waitForPendingSaves();
        QCOMPARE(names(readReposFile()), QStringList{u"Renamed"_s});
        // The temporary file of the failed attempt is gone.
        QCOMPARE(QDir(StandardDirs::applicationSupport()).entryList(QDir::Files),
                 QStringList{u"repos.json"_s});
    }

    void savesInQuickSuccessionEndWithTheLastTree() {
        writeReposFile({repo(u"Alpha"_s, QUrl(u"https://a.example/feed"_s))});
        auto engine = makeEngine();
        for (int i = 0; i < 50; ++i)
            engine->renameRepo(u"https://a.example/feed"_s, u"Name "_s + QString::number(i));
        engine.reset(); // the engine waits for its writes when it goes away
        QCOMPARE(names(readReposFile()), QStringList{u"Name 49"_s});
    }

    void resetToDefaultsReplacesTheTreeAndRefreshes() {
        writeReposFile(unorderedTree());
        auto engine = makeEngine();
        QSignalSpy loading(engine.get(), &AppStoreViewModel::isLoadingChanged);
        engine->resetToDefaults();
        QCOMPARE(names(engine->savedRepos()), QStringList{u"Recommended"_s});
        engine->waitForPendingSaves();
        QCOMPARE(names(readReposFile()), QStringList{u"Recommended"_s});
        waitForRefresh(*engine, loading);
        QCOMPARE(m_server.requestCount(u"/Kivo/default_repos.csv"_s), 1);
    }
};

KIVO_TEST_MAIN(TestStorePersistence)
#include "tst_storepersistence.moc"

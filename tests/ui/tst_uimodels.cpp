#include "downloads/applicationsfolderwatcher.h"
#include "downloads/downloadmanager.h"
#include "fixtures/httpserver.h"
#include "install/appbundlewriter.h"
#include "install/installtestsupport.h"
#include "model/storedform.h"
#include "platform/defaultsstore.h"
#include "platform/standarddirs.h"
#include "platform/urlopener.h"
#include "services/notificationmanager.h"
#include "store/appstoreviewmodel.h"
#include "support/testfiles.h"
#include "support/testmain.h"
#include "ui/activedownloadlistmodel.h"
#include "ui/adaptivecolumns.h"
#include "ui/appdetailstate.h"
#include "ui/appiconprovider.h"
#include "ui/appitemlistmodel.h"
#include "ui/appshell.h"
#include "ui/bytecount.h"
#include "ui/cataloguelistmodel.h"
#include "ui/contentcontroller.h"
#include "ui/downloadcontrol.h"
#include "ui/downloadfilelistmodel.h"
#include "ui/filesharecopy.h"
#include "ui/installedapplistmodel.h"
#include "ui/installedappsindex.h"
#include "ui/installedappsstate.h"
#include "ui/repoactions.h"
#include "ui/repolevelmodel.h"
#include "ui/storeviewstate.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <qcoro/qcorotask.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A row per letter: "abc" is three items whose identity is their letter.
QList<AppItem> items(const QString &letters, const QString &version = u"1.0"_s) {
    QList<AppItem> list;
    for (const QChar letter : letters) {
        AppItem item;
        item.name = u"App "_s + letter;
        item.bundleIdentifier = u"com.example."_s + letter;
        item.version = version;
        item.downloadURL = u"https://example.com/"_s + letter + u".ipa"_s;
        list.append(item);
    }
    return list;
}

// Exposes the row diffing to the test.
class TestListModel : public AppItemListModel {
public:
    using AppItemListModel::setApps;
};

QString names(const AppItemListModel &model) {
    QString letters;
    for (int row = 0; row < model.rowCount(); ++row)
        letters += model.data(model.index(row), AppItemListModel::NameRole).toString().back();
    return letters;
}

LocalApp installed(const QString &bundleID, std::optional<QString> version) {
    LocalApp app;
    app.name = bundleID;
    app.bundleID = bundleID;
    app.version = std::move(version);
    app.url = QUrl::fromLocalFile(u"/apps/"_s + bundleID + u".app"_s);
    return app;
}

// A repository file caching `apps`, as a previous run leaves it.
bool writeCachedRepo(const QList<AppItem> &apps) {
    SavedRepo repo;
    repo.id = u"7D3F1B8E-2C4A-4E59-9B1D-0A6C5E2F8D41"_s;
    repo.name = u"Cached"_s;
    repo.url = QUrl(u"http://127.0.0.1:9/feed.json"_s);
    repo.cachedApps = apps;
    repo.appCount = int(apps.size());
    QFile reposFile(StandardDirs::applicationSupport() + u"/repos.json"_s);
    return QDir().mkpath(StandardDirs::applicationSupport()) && reposFile.open(QIODevice::WriteOnly) &&
           reposFile.write(StoredForm::encodeRepoTree({repo})) > 0;
}

SavedRepo feedNode(const QString &name, qint64 appCount, bool enabled = true) {
    SavedRepo repo;
    repo.id = u"http://127.0.0.1:9/"_s + name;
    repo.name = name;
    repo.url = QUrl(repo.id);
    repo.appCount = appCount;
    repo.isEnabled = enabled;
    return repo;
}

SavedRepo folderNode(const QString &name, const QList<SavedRepo> &children, bool linked = false) {
    SavedRepo folder;
    folder.id = u"folder-"_s + name;
    folder.name = name;
    folder.children = children;
    if (linked)
        folder.repoListURL = QUrl(u"http://127.0.0.1:9/list-"_s + name);
    return folder;
}

// The tree a previous run left in "repos.json".
bool writeTree(const QList<SavedRepo> &tree) {
    QFile reposFile(StandardDirs::applicationSupport() + u"/repos.json"_s);
    return QDir().mkpath(StandardDirs::applicationSupport()) && reposFile.open(QIODevice::WriteOnly) &&
           reposFile.write(StoredForm::encodeRepoTree(tree)) > 0;
}

QStringList levelNames(const QAbstractItemModel &model) {
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.append(model.data(model.index(row, 0), RepoLevelModel::NameRole).toString());
    return names;
}

// "App x" with bundle identifier "com.example.x" in its folder "com.example.x.app".
bool installLetter(const QString &applications, QChar letter, const QStringList &iconFiles = {}) {
    const QString id = u"com.example."_s + letter;
    return AppBundleWriter::writeApp(applications + u'/' + id + u".app"_s,
                                     AppBundleWriter::info(id, u"App "_s + letter, u"1.0"_s),
                                     AppBundleWriter::Format::Xml, iconFiles);
}

QString rowNames(const QAbstractItemModel &model) {
    QString letters;
    for (int row = 0; row < model.rowCount(); ++row)
        letters += model.data(model.index(row, 0), InstalledAppListModel::NameRole).toString().back();
    return letters;
}

QString installedNames(const DownloadManager &downloads) {
    QString letters;
    for (const LocalApp &app : downloads.installedApps())
        letters += app.name.back();
    return letters;
}

// Makes a file impossible to remove, even for the superuser; false where the file system does not
// allow it. Without the flag, an unprivileged user gets the same from a read-only folder.
bool setImmutable(const QString &path, bool immutable) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

QByteArray pngBytes(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestUiModels : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void byteCounts_data();
    void byteCounts();
    void germanCatalogue();
    void badges_data();
    void badges();
    void rowChanges_data();
    void rowChanges();
    void changedContentKeepsRows();
    void catalogueFollowsEngineAndInstalledApps();
    void storeViewControls();
    void downloadControlFaces();
    void detailTextsAndOpenAction();
    void setupAlertAfterStartUp();
    void completeUpdateAfterUpdatingConfiguredApp();
    void conflictAlertFollowsPendingInstallation();
    void adaptiveColumns_data();
    void adaptiveColumns();
    void installedAppRowsFollowScansAndUpdates();
    void appIcons_data();
    void appIcons();
    void folderChangesRescanOnceQuiet();
    void failedDeletionIsReported();
    void repoLevelFollowsTheTree();
    void addSheetReadsItsTexts_data();
    void addSheetReadsItsTexts();
    void copiesAndImportsSpeak();
    void activeDownloadRows();
    void fileRowsAndTheirFailures();
    void shareCopies();
};

void TestUiModels::byteCounts_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << u"Zero KB"_s;
    QTest::newRow("one byte") << qint64(1) << u"1 byte"_s;
    QTest::newRow("bytes") << qint64(999) << u"999 bytes"_s;
    QTest::newRow("kilobytes") << qint64(12'345) << u"12 KB"_s;
    QTest::newRow("rounds up into megabytes") << qint64(999'950) << u"1 MB"_s;
    QTest::newRow("megabytes") << qint64(4'321'000) << u"4.3 MB"_s;
    QTest::newRow("gigabytes") << qint64(1'250'000'000) << u"1.25 GB"_s;
    QTest::newRow("over 2 GiB") << qint64(3'000'000'000) << u"3 GB"_s;
}

void TestUiModels::byteCounts() {
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(formatByteCount(bytes), text);
}

void TestUiModels::germanCatalogue() {
    // The app's catalogue reaches QML and C++ texts alike; Qt's own covers the standard dialogs.
    QVERIFY(AppShell::installTranslations(QLocale(QLocale::German, QLocale::Germany)));
    QCOMPARE(QCoreApplication::translate("DownloadButton", "GET"), u"LADEN"_s);
    QCOMPARE(StoreViewState::sortOptions(), (QStringList{u"Name"_s, u"Datum"_s, u"Größe"_s}));
    QCOMPARE(formatByteCount(999), u"999 Bytes"_s);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Abbrechen"_s);

    // A language without a catalogue puts the English texts back.
    QVERIFY(!AppShell::installTranslations(QLocale::c()));
    QCOMPARE(QCoreApplication::translate("DownloadButton", "GET"), u"GET"_s);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), u"Cancel"_s);
}

void TestUiModels::badges_data() {
    QTest::addColumn<QList<LocalApp>>("installedApps");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("badge");
    QTest::addColumn<bool>("isCurrent");
    const QString id = u"com.example.a"_s;
    QTest::newRow("not installed") << QList<LocalApp>{installed(u"com.other"_s, u"1.0"_s)} << u"2.0"_s
                                   << QString() << false;
    QTest::newRow("newer by number, not by text")
        << QList<LocalApp>{installed(id, u"1.9"_s)} << u"1.10"_s << u"UPDATE"_s << false;
    QTest::newRow("same version") << QList<LocalApp>{installed(id, u"1.0"_s)} << u"1.0"_s << u"INSTALLED"_s
                                  << true;
    QTest::newRow("older than installed")
        << QList<LocalApp>{installed(id, u"10.0"_s)} << u"2.0"_s << u"INSTALLED"_s << false;
    QTest::newRow("equal by number, different text")
        << QList<LocalApp>{installed(id, u"1.01"_s)} << u"1.1"_s << u"INSTALLED"_s << false;
    QTest::newRow("installed without version")
        << QList<LocalApp>{installed(id, std::nullopt)} << u"1.0"_s << u"INSTALLED"_s << false;
    QTest::newRow("first installed copy decides")
        << QList<LocalApp>{installed(id, u"3.0"_s), installed(id, u"1.0"_s)} << u"2.0"_s << u"INSTALLED"_s
        << false;
}

void TestUiModels::badges() {
    QFETCH(QList<LocalApp>, installedApps);
    QFETCH(QString, version);
    QFETCH(QString, badge);
    QFETCH(bool, isCurrent);
    AppItem item = items(u"a"_s).first();
    item.version = version;
    const InstalledAppsIndex index(installedApps);
    QCOMPARE(InstalledAppsIndex::badgeText(index.badge(item)), badge);
    QCOMPARE(index.isCurrent(item), isCurrent);
}

void TestUiModels::rowChanges_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("inserted");
    QTest::addColumn<int>("removed");
    QTest::addColumn<bool>("reset");
    QTest::newRow("first fill") << u""_s << u"abc"_s << 1 << 0 << false;
    QTest::newRow("narrower search") << u"abcdefg"_s << u"bdg"_s << 0 << 3 << false;
    QTest::newRow("narrower at both ends") << u"abcdef"_s << u"cd"_s << 0 << 2 << false;
    QTest::newRow("wider search") << u"bdg"_s << u"abcdefg"_s << 3 << 0 << false;
    QTest::newRow("cleared") << u"abc"_s << u""_s << 0 << 1 << false;
    QTest::newRow("same rows") << u"abc"_s << u"abc"_s << 0 << 0 << false;
    QTest::newRow("new order") << u"abc"_s << u"cba"_s << 0 << 0 << true;
    QTest::newRow("one swapped for another") << u"abc"_s << u"abd"_s << 0 << 0 << true;
    // A search that keeps a scattered few of many rows: one reset instead of a hundred removals.
    QString many;
    QString everyThird;
    for (char16_t code = 0x100; code < 0x100 + 300; ++code) {
        many += QChar(code);
        if (code % 3 == 0)
            everyThird += QChar(code);
    }
    QTest::newRow("scattered few of many") << many << everyThird << 0 << 0 << true;
    QTest::newRow("scattered many back") << everyThird << many << 0 << 0 << true;
    // Thousands of rows going or coming in one block: a reset, not a copy of every row.
    QString thousands;
    for (char16_t code = 0x100; code < 0x100 + 1200; ++code)
        thousands += QChar(code);
    QTest::newRow("most of thousands go") << thousands << thousands.left(100) << 0 << 0 << true;
    QTest::newRow("thousands come") << thousands.left(100) << thousands << 0 << 0 << true;
    QTest::newRow("a block of hundreds goes") << thousands << thousands.left(600) << 0 << 1 << false;
}

void TestUiModels::rowChanges() {
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, inserted);
    QFETCH(int, removed);
    QFETCH(bool, reset);

    TestListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setApps(items(before));
    QSignalSpy insertSpy(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removeSpy(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy resetSpy(&model, &QAbstractItemModel::modelReset);
    QSignalSpy countSpy(&model, &AppItemListModel::countChanged);

    model.setApps(items(after));

    QCOMPARE(names(model), after);
    QCOMPARE(insertSpy.size(), inserted);
    QCOMPARE(removeSpy.size(), removed);
    QCOMPARE(resetSpy.size(), reset ? 1 : 0);
    QCOMPARE(countSpy.size(), before.size() == after.size() ? 0 : 1);
}

void TestUiModels::changedContentKeepsRows() {
    TestListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setApps(items(u"abcd"_s));
    QSignalSpy changedSpy(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy resetSpy(&model, &QAbstractItemModel::modelReset);

    QList<AppItem> next = items(u"abcd"_s);
    next[1].localizedDescription = u"New text"_s;
    next[2].localizedDescription = u"New text"_s;
    model.setApps(next);

    QCOMPARE(resetSpy.size(), 0);
    QCOMPARE(changedSpy.size(), 1);
    QCOMPARE(changedSpy.first().at(0).toModelIndex().row(), 1);
    QCOMPARE(changedSpy.first().at(1).toModelIndex().row(), 2);
    QCOMPARE(model.data(model.index(2), AppItemListModel::DescriptionRole).toString(), u"New text"_s);
}

void TestUiModels::catalogueFollowsEngineAndInstalledApps() {
    // The engine starts from a repository file that caches three apps, as after a previous run.
    QVERIFY(writeCachedRepo(items(u"abc"_s, u"2.0"_s)));
    QNetworkAccessManager network;
    AppStoreViewModel store(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    DownloadManager downloads;
    CatalogueListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setStore(&store);
    model.setDownloadManager(&downloads);
    QTRY_COMPARE(model.rowCount(), 3);

    // Installing "b" at an older version marks it for update; the rows stay.
    QTemporaryDir liveContainer;
    QVERIFY(QDir().mkpath(liveContainer.path() + u"/Applications"_s));
    QVERIFY(AppBundleWriter::writeApp(liveContainer.path() + u"/Applications/com.example.b.app"_s,
                                      AppBundleWriter::info(u"com.example.b"_s, u"App b"_s, u"1.0"_s)));
    QSignalSpy resetSpy(&model, &QAbstractItemModel::modelReset);
    downloads.setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
    downloads.scanInstalledApps();
    const auto badgeOf = [&model](int row) {
        return model.data(model.index(row), AppItemListModel::BadgeRole).toString();
    };
    QTRY_COMPARE(downloads.installedApps().size(), 1);
    const int rowB = int(names(model).indexOf(u'b'));
    QCOMPARE(badgeOf(rowB), u"UPDATE"_s);
    QCOMPARE(badgeOf(rowB == 0 ? 1 : 0), QString());
    QCOMPARE(resetSpy.size(), 0);

    // A search narrows the rows by removing them.
    QSignalSpy removeSpy(&model, &QAbstractItemModel::rowsRemoved);
    store.setSearchText(u"App b"_s);
    QTRY_COMPARE(model.rowCount(), 1);
    QCOMPARE(names(model), u"b"_s);
    QVERIFY(removeSpy.size() >= 1);
    QCOMPARE(resetSpy.size(), 0);
}

void TestUiModels::storeViewControls() {
    QNetworkAccessManager network;
    AppStoreViewModel store(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    StoreViewState state;
    state.setStore(&store);

    QCOMPARE(state.sortOptions(), (QStringList{u"Name"_s, u"Date"_s, u"Size"_s}));
    state.setSortIndex(2);
    QCOMPARE(store.appSortOrder(), AppSortOption(AppSortOption::Size));
    QCOMPARE(state.sortIndex(), 2);

    // No fetch running: no progress row, whatever the counters say.
    QVERIFY(!state.showsProgress());

    // The source picker offers "All Sources" and the enabled repositories; choosing one filters
    // by its name, choosing "All Sources" clears the filter.
    while (!store.savedRepos().isEmpty())
        store.deleteRepo(store.savedRepos().first().id);
    QVERIFY(!state.showsSourcePicker());
    QCOMPARE(state.sourceOptions(), QStringList{u"All Sources"_s});
    store.addFolder(u"Mine"_s);
    QTRY_VERIFY(state.showsSourcePicker());
    const QStringList enabledNames = [&store] {
        QStringList names{u"All Sources"_s};
        for (const SavedRepo &repo : store.enabledRepos())
            names.append(repo.name);
        return names;
    }();
    QCOMPARE(state.sourceOptions(), enabledNames);
    QCOMPARE(state.sourceIndex(), 0);
    store.setSelectedRepoID(u"Gone"_s);
    QCOMPARE(state.sourceIndex(), -1);
    state.setSourceIndex(0);
    QVERIFY(!store.selectedRepoID());

    // Sorting by name reorders the sources even where the tree itself stays as it is: each of
    // two folders, already in name order, holds one repository.
    while (!store.savedRepos().isEmpty())
        store.deleteRepo(store.savedRepos().first().id);
    for (const auto &[folderName, repoName] : {std::pair(u"A"_s, u"Zed"_s), std::pair(u"B"_s, u"Alpha"_s)}) {
        store.addFolder(folderName);
        const QString folderID = store.savedRepos().constLast().id;
        const QUrl address(u"http://127.0.0.1:9/"_s + repoName);
        store.addRepo(address, folderID);
        store.renameRepo(address.toString(), repoName);
    }
    QCOMPARE(state.sourceOptions(), (QStringList{u"All Sources"_s, u"Zed"_s, u"Alpha"_s}));
    store.setRepoSortOrder(RepoSortOption::Name);
    QCOMPARE(state.sourceOptions(), (QStringList{u"All Sources"_s, u"Alpha"_s, u"Zed"_s}));
    store.setRepoSortOrder(RepoSortOption::Standard);
    QCOMPARE(state.sourceOptions(), (QStringList{u"All Sources"_s, u"Zed"_s, u"Alpha"_s}));
}

void TestUiModels::downloadControlFaces() {
    HttpServer server;
    QVERIFY(server.start());
    // Slow enough to be caught downloading, paused and resumed.
    RouteResponse slow = RouteResponse::bytes(QByteArray(4'000'000, 'x')).throttled(200'000);
    slow.etag = "v1";
    server.setRoute(u"/slow.ipa"_s, slow);

    DownloadManager downloads;
    DownloadControl control;
    control.setDownloadManager(&downloads);

    control.setDownloadURL(u"not a url"_s);
    QCOMPARE(control.face(), DownloadControl::Face::Get);
    control.activate();
    QVERIFY(downloads.downloadStates().isEmpty());

    // A file of that name already in the downloads folder wins over everything.
    const QUrl done = server.url(u"/done.ipa"_s);
    QFile file(downloads.downloadFolder().toLocalFile() + u'/' + DownloadManager::downloadFileName(done));
    QVERIFY(QDir().mkpath(downloads.downloadFolder().toLocalFile()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    downloads.refreshFileList();
    control.setDownloadURL(done.toString());
    QCOMPARE(control.face(), DownloadControl::Face::File);
    QCOMPARE(control.fileURL(), QUrl::fromLocalFile(file.fileName()));

    control.setDownloadURL(server.url(u"/slow.ipa"_s).toString());
    QCOMPARE(control.face(), DownloadControl::Face::Get);
    QList<DownloadControl::Face> faces;
    connect(&control, &DownloadControl::stateChanged, this, [&] {
        if (faces.isEmpty() || faces.last() != control.face())
            faces.append(control.face());
    });
    control.activate();
    QTRY_COMPARE(control.face(), DownloadControl::Face::Downloading);
    QVERIFY(control.progress() >= 0.01);
    // Only a transfer that holds bytes can be paused with resume data; one paused before its first
    // byte ends like a cancelled one, and its entry goes.
    const QUrl slowURL = server.url(u"/slow.ipa"_s);
    QTRY_VERIFY(downloads.downloadStates().value(slowURL).written() > 0);
    control.activate();
    QTRY_VERIFY(faces.contains(DownloadControl::Face::Paused));
    // The cancelled transfer's own end report arrives after the pause and must keep it paused.
    QTest::qWait(300);
    QCOMPARE(control.face(), DownloadControl::Face::Paused);
    control.activate();
    QTRY_COMPARE(control.face(), DownloadControl::Face::Downloading);
    downloads.cancelDownload(server.url(u"/slow.ipa"_s));
    QTRY_COMPARE(control.face(), DownloadControl::Face::Get);

    // No server: the transfer waits for the network, and a tap on the orange ring pauses it. A
    // transfer paused before its first byte ends, and the control offers "GET" again.
    HttpServer gone;
    QVERIFY(gone.start());
    const QUrl unreachable = gone.url(u"/gone.ipa"_s);
    gone.stop();
    control.setDownloadURL(unreachable.toString());
    control.activate();
    QTRY_COMPARE(control.face(), DownloadControl::Face::WaitingForConnection);
    control.activate();
    QTRY_COMPARE(control.face(), DownloadControl::Face::Get);
    QVERIFY(!downloads.downloadStates().contains(unreachable));
}

void TestUiModels::detailTextsAndOpenAction() {
    UrlOpener::shared().setForwardToDesktop(false);
    QSignalSpy opened(&UrlOpener::shared(), &UrlOpener::urlOpened);
    QTemporaryDir liveContainer;
    const QString applications = liveContainer.path() + u"/Applications"_s;
    QVERIFY(AppBundleWriter::writeApp(applications + u"/com.example.a.app"_s,
                                      AppBundleWriter::info(u"com.example.a"_s, u"App a"_s, u"1.0"_s)));
    DownloadManager downloads;
    downloads.setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
    downloads.scanInstalledApps();
    QTRY_COMPARE(downloads.installedApps().size(), 1);

    AppItem item = items(u"a"_s, u"2.0"_s).first();
    item.size = 4'321'000;
    AppDetailState detail;
    detail.setDownloadManager(&downloads);
    detail.setApp(item);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(detail.versionLine(), u"v2.0 • 4.3 MB"_s);
    QCOMPARE(detail.aboutText(), u"No description available."_s);
    QVERIFY(detail.isInstalled());

    // Not yet run by LiveContainer: no launch, the screen asks for the setup; its button opens
    // LiveContainer on the installed folder.
    QCOMPARE(detail.open(), AppDetailState::OpenResult::SetupNeeded);
    QCOMPARE(opened.size(), 0);
    detail.openLiveContainerForSetup();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.takeFirst().first().toUrl().toString(),
             u"livecontainer://livecontainer-launch?bundle-name=com.example.a.app"_s);

    // Configured: "OPEN" launches it.
    QFile appInfo(applications + u"/com.example.a.app/LCAppInfo.plist"_s);
    QVERIFY(appInfo.open(QIODevice::WriteOnly));
    appInfo.write(AppBundleWriter::plistBytes({}, AppBundleWriter::Format::Xml));
    appInfo.close();
    QCOMPARE(detail.open(), AppDetailState::OpenResult::Launched);
    QCOMPARE(opened.size(), 1);

    // Another app is not installed: "OPEN" is absent and does nothing; the setup button falls back
    // to "Unknown".
    detail.setApp(items(u"b"_s).first());
    QVERIFY(!detail.isInstalled());
    QCOMPARE(detail.open(), AppDetailState::OpenResult::NothingInstalled);
    opened.clear();
    detail.openLiveContainerForSetup();
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first().first().toUrl().toString(),
             u"livecontainer://livecontainer-launch?bundle-name=Unknown"_s);
}

void TestUiModels::setupAlertAfterStartUp() {
    QNetworkAccessManager network;
    AppStoreViewModel store(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    DownloadManager downloads;
    DefaultsStore().remove(ContentController::kHasAskedForLiveContainerSetup);
    {
        ContentController controller;
        controller.setStore(&store);
        controller.setDownloadManager(&downloads);
        controller.start();
        QTRY_VERIFY_WITH_TIMEOUT(controller.showSetupAlert(), 10000);
        controller.later();
        QVERIFY(!controller.showSetupAlert());
        QCOMPARE(DefaultsStore().boolValue(ContentController::kHasAskedForLiveContainerSetup), true);
    }
    {
        // Asked once: not again at the next launch.
        ContentController controller;
        QVERIFY(controller.hasAskedForSetup());
        controller.setStore(&store);
        controller.setDownloadManager(&downloads);
        QCoro::waitFor(controller.startUpSequence());
        QVERIFY(!controller.showSetupAlert());
    }
    DefaultsStore().remove(ContentController::kHasAskedForLiveContainerSetup);
    {
        // A configured folder needs no setup, whatever the flag says.
        QTemporaryDir liveContainer;
        downloads.setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
        ContentController controller;
        controller.setStore(&store);
        controller.setDownloadManager(&downloads);
        QCoro::waitFor(controller.startUpSequence());
        QVERIFY(!controller.showSetupAlert());
        downloads.resetCustomFolder(true);
    }
    {
        // "Select Folder", then the picker closes without a folder: help follows.
        ContentController controller;
        controller.setStore(&store);
        controller.setDownloadManager(&downloads);
        controller.selectFolder();
        QVERIFY(controller.showSetupPicker());
        QVERIFY(controller.hasAskedForSetup());
        controller.setShowSetupPicker(false);
        QVERIFY(!controller.showFilePickerHelp());
        QTRY_VERIFY(controller.showFilePickerHelp());
    }
}

void TestUiModels::conflictAlertFollowsPendingInstallation() {
    QTemporaryDir liveContainer;
    QVERIFY(QDir().mkpath(liveContainer.path() + u"/Applications"_s));
    DownloadManager downloads;
    downloads.setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
    ContentController controller;
    controller.setDownloadManager(&downloads);

    const QString ipa = liveContainer.path() + u"/Clock.ipa"_s;
    QVERIFY(InstallTest::writeAppIpa(ipa, u"com.example.clock"_s, u"Clock"_s, u"1.0"_s));
    QCOMPARE(QCoro::waitFor(downloads.extractIPA(QUrl::fromLocalFile(ipa))), std::nullopt);
    downloads.scanInstalledApps();
    QTRY_COMPARE(downloads.installedApps().size(), 1);
    QVERIFY(!controller.showConflictAlert());

    QVERIFY(InstallTest::writeAppIpa(ipa, u"com.example.clock"_s, u"Clock"_s, u"2.0"_s));
    QCOMPARE(QCoro::waitFor(downloads.extractIPA(QUrl::fromLocalFile(ipa))), std::nullopt);
    QVERIFY(downloads.pendingInstallation());
    QVERIFY(controller.showConflictAlert());
    QCOMPARE(controller.conflictMessage(),
             u"An app with the Bundle ID 'com.example.clock' is already installed ("_s +
                 downloads.pendingInstallation()->appName +
                 u"). Would you like to update it (preserving data) or install it separately?"_s);

    // "Install as Separate App": the engine installs a second copy and the prompt goes.
    controller.resolveConflict(ContentController::ConflictAnswer::InstallSeparate);
    QVERIFY(!controller.showConflictAlert());
    QTRY_VERIFY(!downloads.pendingInstallation());
    QTRY_COMPARE(downloads.installedApps().size(), 2);
    QVERIFY(!controller.showConflictAlert());
    // No update was made, so nothing waits for LiveContainer.
    QTest::qWait(int(ContentController::kFollowUpDelay.count()) + 200);
    QVERIFY(!controller.showsCompleteUpdate());
}

void TestUiModels::completeUpdateAfterUpdatingConfiguredApp() {
    QTemporaryDir liveContainer;
    const QString applications = liveContainer.path() + u"/Applications"_s;
    QVERIFY(QDir().mkpath(applications));
    DownloadManager downloads;
    downloads.setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
    ContentController controller;
    controller.setDownloadManager(&downloads);

    // Clock 1.0 installed and already run by LiveContainer (it has its metadata file).
    const QString ipa = liveContainer.path() + u"/Clock.ipa"_s;
    QVERIFY(InstallTest::writeAppIpa(ipa, u"com.example.clock"_s, u"Clock"_s, u"1.0"_s));
    QCOMPARE(QCoro::waitFor(downloads.extractIPA(QUrl::fromLocalFile(ipa))), std::nullopt);
    downloads.scanInstalledApps();
    QTRY_COMPARE(downloads.installedApps().size(), 1);
    QFile appInfo(downloads.installedApps().first().url.toLocalFile() + u"/LCAppInfo.plist"_s);
    QVERIFY(appInfo.open(QIODevice::WriteOnly));
    appInfo.write(AppBundleWriter::plistBytes({}, AppBundleWriter::Format::Xml));
    appInfo.close();

    // Clock 2.0 replaces it, keeping the old one until LiveContainer has run the new one.
    QVERIFY(InstallTest::writeAppIpa(ipa, u"com.example.clock"_s, u"Clock"_s, u"2.0"_s));
    QCOMPARE(QCoro::waitFor(downloads.extractIPA(QUrl::fromLocalFile(ipa))), std::nullopt);
    QVERIFY(controller.showConflictAlert());
    controller.resolveConflict(ContentController::ConflictAnswer::UpdateExisting);
    QTRY_VERIFY(!downloads.pendingInstallation());
    QTRY_VERIFY_WITH_TIMEOUT(controller.showsCompleteUpdate(), 10000);
    QVERIFY(controller.completeUpdateMessage().startsWith(u"Please run 'Clock' in LiveContainer"_s));

    // Dismissed, it comes back at the next activation while the update is unsettled.
    controller.dismissCompleteUpdate();
    QVERIFY(!controller.showsCompleteUpdate());
    controller.setSceneActive(true);
    QVERIFY(controller.showsCompleteUpdate());

    // "Delete Backup" settles it: the next activation asks nothing.
    controller.deleteVerificationBackup();
    controller.dismissCompleteUpdate();
    QTRY_VERIFY(downloads.pendingBackups().isEmpty());
    controller.setSceneActive(true);
    QVERIFY(!controller.showsCompleteUpdate());
}

void TestUiModels::adaptiveColumns_data() {
    QTest::addColumn<qreal>("width");
    QTest::addColumn<int>("count");
    QTest::addColumn<qreal>("columnWidth");
    // n columns fit when n * 80 + (n - 1) * 20 <= width; each then takes its share, at most 100.
    QTest::newRow("narrower than one column") << qreal(60) << 1 << qreal(80);
    QTest::newRow("small phone") << qreal(288) << 3 << qreal(248) / 3;
    QTest::newRow("phone, columns at their widest") << qreal(358) << 3 << qreal(100);
    QTest::newRow("exactly four") << qreal(380) << 4 << qreal(80);
    QTest::newRow("tablet") << qreal(992) << 10 << qreal(81.2);
    QTest::newRow("desktop") << qreal(1408) << 14 << qreal(82);
}

void TestUiModels::adaptiveColumns() {
    QFETCH(qreal, width);
    QFETCH(int, count);
    QFETCH(qreal, columnWidth);
    AdaptiveColumns columns;
    QSignalSpy changed(&columns, &AdaptiveColumns::layoutChanged);
    columns.setAvailableWidth(width);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(columns.count(), count);
    QCOMPARE(columns.columnWidth(), columnWidth);
    QVERIFY(columns.usedWidth() <= std::max(width, qreal(80)) + 0.001);
}

void TestUiModels::installedAppRowsFollowScansAndUpdates() {
    // The catalogue offers "a", "b" and "c" at 2.0; "a", "c" and "d" are installed at 1.0.
    QVERIFY(writeCachedRepo(items(u"abc"_s, u"2.0"_s)));
    QNetworkAccessManager network;
    AppStoreViewModel store(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    QTRY_COMPARE(store.displayApps().size(), 3);
    QTemporaryDir liveContainer;
    const QString applications = liveContainer.path() + u"/Applications"_s;
    QVERIFY(installLetter(applications, u'a', {u"AppIcon60x60.png"_s}));
    QVERIFY(installLetter(applications, u'c'));
    QVERIFY(installLetter(applications, u'd'));
    // An icon name that climbs out of its bundle finds a file, but the tile never reads it.
    QVariantMap climbing = AppBundleWriter::info(u"com.example.e"_s, u"App e"_s, u"1.0"_s);
    climbing.insert(u"CFBundleIconFiles"_s, QStringList{u"../outside"_s});
    QVERIFY(AppBundleWriter::writeApp(applications + u"/com.example.e.app"_s, climbing));
    QVERIFY(writeFile(applications + u"/outside.png"_s, pngBytes(8, 8)));
    DownloadManager downloads;
    downloads.setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
    downloads.scanInstalledApps();

    InstalledAppListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setDownloadManager(&downloads);
    model.setStore(&store);
    QCOMPARE(rowNames(model), installedNames(downloads));
    QCOMPARE(model.rowCount(), 4);
    const auto rowOf = [&model](QChar letter) {
        return int(rowNames(model).indexOf(letter));
    };
    const auto role = [&model](int row, int role) {
        return model.data(model.index(row, 0), role);
    };
    QVERIFY(role(rowOf(u'a'), InstalledAppListModel::IconSourceRole)
                .toUrl()
                .toString()
                .startsWith(u"image://appicon/"_s));
    QVERIFY(role(rowOf(u'e'), InstalledAppListModel::IconSourceRole).toUrl().isEmpty());
    QCOMPARE(role(rowOf(u'c'), InstalledAppListModel::FolderNameRole).toString(), u"com.example.c.app"_s);

    // "Check Updates": the rows of "a" and "c" are marked, in place.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy resetSpy(&model, &QAbstractItemModel::modelReset);
    InstalledAppsState actions;
    actions.setDownloadManager(&downloads);
    actions.setStore(&store);
    actions.checkForUpdates();
    QCOMPARE(changed.size(), 2);
    for (const QChar letter : u"acde"_s)
        QCOMPARE(role(rowOf(letter), InstalledAppListModel::HasUpdateRole).toBool(),
                 letter == u'a' || letter == u'c');

    // Removed by hand, then another installed: one row goes, one comes, the rest stay.
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QVERIFY(QDir(applications + u"/com.example.c.app"_s).removeRecursively());
    actions.rescan();
    QCOMPARE(removed.size(), 1);
    QVERIFY(!rowNames(model).contains(u'c'));
    QVERIFY(installLetter(applications, u'b'));
    actions.rescan();
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(rowNames(model), installedNames(downloads));
    QCOMPARE(resetSpy.size(), 0);
}

void TestUiModels::appIcons_data() {
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QSize>("size");
    QTest::newRow("scaled to the tile") << u"A.app/icon.png"_s << QSize(140, 140);
    QTest::newRow("smaller stays as it is") << u"A.app/small.png"_s << QSize(60, 60);
    QTest::newRow("link inside the app") << u"A.app/inside.png"_s << QSize(140, 140);
    QTest::newRow("link out of the app") << u"A.app/out.png"_s << QSize();
    QTest::newRow("path out of the app") << u"A.app/../outside.png"_s << QSize();
    QTest::newRow("larger than allowed") << u"A.app/big.png"_s << QSize();
    QTest::newRow("not an image") << u"A.app/text.png"_s << QSize();
    QTest::newRow("missing") << u"A.app/missing.png"_s << QSize();
    QTest::newRow("a folder") << u"A.app/folder.png"_s << QSize();
}

void TestUiModels::appIcons() {
    QFETCH(QString, icon);
    QFETCH(QSize, size);
    QTemporaryDir root;
    const QString app = root.path() + u"/A.app"_s;
    QByteArray big = pngBytes(16, 16);
    big.append(QByteArray(AppIconProvider::kMaximumFileSize + 1 - big.size(), '\0'));
    QVERIFY(writeFile(app + u"/icon.png"_s, pngBytes(512, 512)));
    QVERIFY(writeFile(app + u"/small.png"_s, pngBytes(60, 60)));
    QVERIFY(writeFile(root.path() + u"/outside.png"_s, pngBytes(512, 512)));
    QVERIFY(QFile::link(app + u"/icon.png"_s, app + u"/inside.png"_s));
    QVERIFY(QFile::link(root.path() + u"/outside.png"_s, app + u"/out.png"_s));
    QVERIFY(writeFile(app + u"/big.png"_s, big));
    QVERIFY(writeFile(app + u"/text.png"_s, "not a picture"));
    QVERIFY(QDir().mkpath(app + u"/folder.png"_s));

    const QImage image = AppIconProvider::read(app, root.path() + u'/' + icon, QSize(140, 140));
    QCOMPARE(image.isNull() ? QSize() : image.size(), size);
}

void TestUiModels::folderChangesRescanOnceQuiet() {
    QTemporaryDir liveContainer;
    const QString applications = liveContainer.path() + u"/Applications"_s;
    QVERIFY(QDir().mkpath(applications));
    DownloadManager downloads;
    downloads.setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
    downloads.scanInstalledApps();
    ApplicationsFolderWatcher watcher(&downloads);
    watcher.setQuietPeriod(std::chrono::milliseconds(1000));
    QVERIFY(watcher.watchedFolders().contains(applications));
    QSignalSpy changed(&downloads, &DownloadManager::installedAppsChanged);

    // Three bundles in a burst, as an extraction or LiveContainer writes them, each noticed on its
    // own: one rescan once the folder is quiet.
    for (const QChar letter : u"abc"_s) {
        QVERIFY(installLetter(applications, letter));
        QTest::qWait(50);
    }
    QTRY_COMPARE(downloads.installedApps().size(), 3);
    QCOMPARE(changed.size(), 1);

    // Removed by hand.
    QVERIFY(QDir(applications + u"/com.example.b.app"_s).removeRecursively());
    QTRY_COMPARE(downloads.installedApps().size(), 2);
}

void TestUiModels::failedDeletionIsReported() {
    QTemporaryDir liveContainer;
    const QString applications = liveContainer.path() + u"/Applications"_s;
    const QString appFolder = applications + u"/com.example.a.app"_s;
    const QString container = liveContainer.path() + u"/Data/Application/C1"_s;
    QVERIFY(installLetter(applications, u'a'));
    QVERIFY(QDir().mkpath(container));
    const QVariantMap appInfo{{u"LCContainers"_s, QVariantList{QVariantMap{{u"folderName"_s, u"C1"_s}}}}};
    QVERIFY(AppBundleWriter::writePlist(appFolder + u"/LCAppInfo.plist"_s, appInfo,
                                        AppBundleWriter::Format::Xml));
    DownloadManager downloads;
    downloads.setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
    downloads.scanInstalledApps();
    QCOMPARE(downloads.installedApps().size(), 1);

    // The bundle's "Info.plist" cannot be removed: the app stays listed.
    const QString locked = appFolder + u"/Info.plist"_s;
    const bool immutable = setImmutable(locked, true);
    if (!immutable && (::geteuid() == 0 || ::chmod(QFile::encodeName(appFolder).constData(), 0555) != 0))
        QSKIP("This file system cannot keep a file from its owner here.");
    InstalledAppsState actions;
    actions.setDownloadManager(&downloads);
    actions.deleteApp(downloads.installedApps().first());
    const bool appLeft = QFileInfo::exists(appFolder);
    immutable ? setImmutable(locked, false) : ::chmod(QFile::encodeName(appFolder).constData(), 0755);
    QVERIFY(appLeft);
    QCOMPARE(downloads.installedApps().size(), 1);

    QTRY_VERIFY(NotificationManager::shared().currentNotification());
    const InAppNotification banner = *NotificationManager::shared().currentNotification();
    QCOMPARE(banner.title, u"Could Not Delete App a"_s);
    QVERIFY2(banner.message.contains(appFolder), qPrintable(banner.message));
    // The container went; the banner names only what is left.
    QVERIFY(!QFileInfo::exists(container));
    QVERIFY2(!banner.message.contains(container), qPrintable(banner.message));
}

void TestUiModels::activeDownloadRows() {
    HttpServer server;
    QVERIFY(server.start());
    // "fast" runs at 8 MB/s: the engine hears of it far more than ten times a second.
    server.setRoute(u"/fast.ipa"_s,
                    RouteResponse::bytes(QByteArray(40'000'000, 'x')).throttled(8'000'000).withEtag("v1"));
    server.setRoute(
        u"/unsized.ipa"_s,
        RouteResponse::bytes(QByteArray(3'000'000, 'x')).throttled(200'000).withoutContentLength());
    server.setRoute(u"/zeta.ipa"_s,
                    RouteResponse::bytes(QByteArray(3'000'000, 'x')).throttled(200'000).withEtag("v1"));
    const QUrl fast = server.url(u"/fast.ipa"_s);
    const QUrl unsized = server.url(u"/unsized.ipa"_s);
    const QUrl zeta = server.url(u"/zeta.ipa"_s);
    // The catalogue knows the size of the archive whose server sends no length.
    QList<AppItem> known = items(u"u"_s);
    known[0].downloadURL = unsized.toString();
    known[0].size = 5'000'000;
    QVERIFY(writeCachedRepo(known));
    QNetworkAccessManager network;
    AppStoreViewModel store(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    QTRY_VERIFY(!store.allAppsByVariant().isEmpty());

    DownloadManager downloads;
    ActiveDownloadListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setStore(&store);
    model.setDownloadManager(&downloads);
    const auto text = [&model](int row, int role) {
        return model.data(model.index(row), role).toString();
    };

    // Started last to first, listed by address.
    for (const QUrl &url : {zeta, unsized, fast})
        downloads.startDownload(url);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(text(0, ActiveDownloadListModel::FileNameRole), u"fast.ipa"_s);
    QCOMPARE(text(1, ActiveDownloadListModel::FileNameRole), u"unsized.ipa"_s);
    QCOMPARE(text(2, ActiveDownloadListModel::FileNameRole), u"zeta.ipa"_s);

    QTRY_VERIFY(downloads.downloadStates().value(unsized).written() > 0);
    QTRY_VERIFY(downloads.downloadStates().value(zeta).written() > 0);
    QTRY_VERIFY2(text(1, ActiveDownloadListModel::BytesTextRole).endsWith(u" / 5 MB"_s),
                 qPrintable(text(1, ActiveDownloadListModel::BytesTextRole)));
    QTRY_VERIFY2(text(2, ActiveDownloadListModel::BytesTextRole).endsWith(u" / 3 MB"_s),
                 qPrintable(text(2, ActiveDownloadListModel::BytesTextRole)));

    // However often the engine reports, the row redraws about ten times a second.
    QSignalSpy engineSpy(&downloads, &DownloadManager::downloadStatesChanged);
    int fastRedraws = 0;
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [&](const QModelIndex &from, const QModelIndex &to) {
                if (from.row() <= 0 && to.row() >= 0)
                    ++fastRedraws;
            });
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(engineSpy.size() > 40, qPrintable(QString::number(engineSpy.size())));
    QVERIFY2(fastRedraws >= 3 && fastRedraws <= elapsed / ActiveDownloadListModel::kRedrawInterval + 2,
             qPrintable(QString::number(fastRedraws)));

    // The ring: pause what runs, resume what is paused; cancel removes the row.
    model.toggle(2);
    QTRY_COMPARE(downloads.downloadStatus(zeta).kind(), DownloadStatus::Case::Paused);
    QTRY_COMPARE(model.data(model.index(2), ActiveDownloadListModel::KindRole).toInt(),
                 int(DownloadStatus::Case::Paused));
    model.toggle(2);
    QTRY_COMPARE(downloads.downloadStatus(zeta).kind(), DownloadStatus::Case::Downloading);
    for (int row = model.rowCount() - 1; row >= 0; --row)
        model.cancel(row);
    QTRY_COMPARE(model.rowCount(), 0);
}

void TestUiModels::fileRowsAndTheirFailures() {
    DownloadManager downloads;
    const QString folder = downloads.downloadFolder().toLocalFile();
    QVERIFY(QDir().mkpath(folder));
    for (const QString &name : {u"a.IPA"_s, u"b.zip"_s, u"c.txt"_s, u"d"_s})
        QVERIFY(writeFile(folder + u'/' + name, "not an archive"));
    QVERIFY(InstallTest::writeAppIpa(folder + u"/e.ipa"_s, u"com.example.e"_s, u"E"_s, u"1.0"_s));
    downloads.refreshFileList();
    DownloadFileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setDownloadManager(&downloads);
    const auto rowOf = [&model](const QString &name) {
        for (int row = 0; row < model.rowCount(); ++row) {
            if (model.data(model.index(row), DownloadFileListModel::FileNameRole).toString() == name)
                return row;
        }
        return -1;
    };
    const auto archive = [&](const QString &name) {
        return model.data(model.index(rowOf(name)), DownloadFileListModel::IsArchiveRole).toBool();
    };
    QCOMPARE(model.rowCount(), int(downloads.fileList().size()));
    QVERIFY(rowOf(u"c.txt"_s) >= 0 && rowOf(u"d"_s) >= 0);
    QVERIFY(archive(u"a.IPA"_s));
    QVERIFY(archive(u"b.zip"_s));
    QVERIFY(!archive(u"c.txt"_s));
    QVERIFY(!archive(u"d"_s));

    // A conversion marks its row while it runs.
    const QUrl good = QUrl::fromLocalFile(folder + u"/e.ipa"_s);
    downloads.beginConvertIPA(good);
    QVERIFY(model.data(model.index(rowOf(u"e.ipa"_s)), DownloadFileListModel::IsExtractingRole).toBool());
    QTRY_VERIFY(downloads.extractingFiles().isEmpty());
    QVERIFY(!model.data(model.index(rowOf(u"e.ipa"_s)), DownloadFileListModel::IsExtractingRole).toBool());

    // Failures reach the user as a banner with the engine's reason.
    NotificationManager &notifications = NotificationManager::shared();
    const auto banner = [&notifications] {
        return notifications.currentNotification() ? *notifications.currentNotification()
                                                   : InAppNotification();
    };
    downloads.renameFile(QUrl::fromLocalFile(folder + u"/c.txt"_s), u"d"_s);
    QTRY_COMPARE(banner().title, u"Rename Failed"_s);
    QCOMPARE(banner().message, u"File already exists"_s);
    QCOMPARE(banner().type, NotificationType::Error);
    downloads.beginConvertIPA(QUrl::fromLocalFile(folder + u"/b.zip"_s));
    QTRY_COMPARE(banner().title, u"Convert Failed"_s);
    QVERIFY(!banner().message.isEmpty());
    downloads.beginImportFile(QUrl::fromLocalFile(folder + u"/missing.ipa"_s));
    QTRY_COMPARE(banner().title, u"Import Failed"_s);

    // A rename moves one row; nothing else is redrawn from scratch.
    QSignalSpy resetSpy(&model, &QAbstractItemModel::modelReset);
    downloads.renameFile(QUrl::fromLocalFile(folder + u"/d"_s), u"d2"_s);
    QCOMPARE(rowOf(u"d"_s), -1);
    QVERIFY(rowOf(u"d2"_s) >= 0);
    downloads.deleteFile(QUrl::fromLocalFile(folder + u"/c.txt"_s));
    QCOMPARE(rowOf(u"c.txt"_s), -1);
    QCOMPARE(model.rowCount(), int(downloads.fileList().size()));
    QCOMPARE(resetSpy.size(), 0);
}

void TestUiModels::shareCopies() {
    QTemporaryDir source;
    const QByteArray body = QByteArray(3'000'000, 'k') + "end";
    const QString original = source.path() + u"/Clock 1.0.ipa"_s;
    QVERIFY(writeFile(original, body));

    FileShareCopy copier;
    QSignalSpy finished(&copier, &FileShareCopy::finished);
    copier.start(QUrl::fromLocalFile(original));
    QVERIFY(copier.busy());
    QVERIFY(finished.wait());
    const QUrl copy = finished.first().at(0).toUrl();
    QCOMPARE(finished.first().at(1).toString(), QString());
    QVERIFY(!copier.busy());
    QCOMPARE(copier.progress(), 1.0);
    QCOMPARE(copy.fileName(), u"Clock 1.0.ipa"_s);
    QVERIFY(copy.toLocalFile().startsWith(FileShareCopy::shareFolder() + u'/'));
    QCOMPARE(readFile(copy.toLocalFile()), body);

    // A missing file gives its reason and no copy.
    finished.clear();
    copier.start(QUrl::fromLocalFile(source.path() + u"/gone.ipa"_s));
    QVERIFY(finished.wait());
    QCOMPARE(finished.first().at(0).toUrl(), QUrl());
    QVERIFY(!finished.first().at(1).toString().isEmpty());

    // Copies older than their lifetime go, younger ones stay.
    const QString fresh = QFileInfo(copy.toLocalFile()).path();
    const QString stale = FileShareCopy::shareFolder() + u"/OLD"_s;
    QVERIFY(writeFile(stale + u"/old.ipa"_s, "old"));
    const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
    const struct timeval times[2] = {{twoDaysAgo.toSecsSinceEpoch(), 0}, {twoDaysAgo.toSecsSinceEpoch(), 0}};
    QCOMPARE(::utimes(QFile::encodeName(stale).constData(), times), 0);
    FileShareCopy::removeStaleCopies(FileShareCopy::shareFolder(), FileShareCopy::kCopyLifetime);
    QVERIFY(!QFileInfo::exists(stale));
    QVERIFY(QFileInfo::exists(fresh + u"/Clock 1.0.ipa"_s));
}

int main(int argc, char **argv) {
    TestHome home;
    QGuiApplication app(argc, argv);
    app.setApplicationName(u"Kivo"_s);
    TestUiModels test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_uimodels.moc"

void TestUiModels::repoLevelFollowsTheTree() {
    QVERIFY(writeTree({feedNode(u"zeta"_s, 1),
                       folderNode(u"Box"_s, {feedNode(u"three"_s, 3), feedNode(u"five"_s, 5, false)}),
                       folderNode(u"Linked"_s, {feedNode(u"listed"_s, 2)}, true)}));
    QNetworkAccessManager network;
    AppStoreViewModel store(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    RepoLevelModel top;
    QAbstractItemModelTester tester(&top, QAbstractItemModelTester::FailureReportingMode::QtTest);
    top.setStore(&store);
    // Folders first, each level in tree order.
    QCOMPARE(levelNames(top), (QStringList{u"Box"_s, u"Linked"_s, u"zeta"_s}));
    // Two repositories, of which only the enabled one's three apps count.
    QCOMPARE(top.data(top.index(0), RepoLevelModel::CountsTextRole).toString(), u"2 repos • 3 apps"_s);
    QVERIFY(top.data(top.index(0), RepoLevelModel::ContainsDisabledRole).toBool());
    QVERIFY(top.data(top.index(1), RepoLevelModel::IsLinkedRole).toBool());
    QVERIFY(!top.insideLinkedFolder());

    // A switch changes its row in place; the level is not reset.
    QSignalSpy resetSpy(&top, &QAbstractItemModel::modelReset);
    QSignalSpy changedSpy(&top, &QAbstractItemModel::dataChanged);
    store.setRepoEnabled(u"http://127.0.0.1:9/zeta"_s, false);
    QCOMPARE(resetSpy.size(), 0);
    QCOMPARE(changedSpy.size(), 1);
    QCOMPARE(changedSpy.constFirst().constFirst().value<QModelIndex>().row(), 2);
    QVERIFY(!top.data(top.index(2), RepoLevelModel::IsEnabledRole).toBool());

    // The name order comes with the setting.
    store.addRepo(QUrl(u"http://127.0.0.1:9/alpha"_s));
    store.renameRepo(u"http://127.0.0.1:9/alpha"_s, u"Alpha"_s);
    QCOMPARE(levelNames(top), (QStringList{u"Box"_s, u"Linked"_s, u"zeta"_s, u"Alpha"_s}));
    store.setRepoSortOrder(RepoSortOption::Name);
    QCOMPARE(levelNames(top), (QStringList{u"Box"_s, u"Linked"_s, u"Alpha"_s, u"zeta"_s}));

    // A failed fetch names its reason on the row and keeps the count it had.
    QTRY_VERIFY(top.data(top.index(2), RepoLevelModel::StatusRole).value<RepoLevelModel::Status>() ==
                RepoLevelModel::Status::Error);
    QVERIFY(!top.data(top.index(2), RepoLevelModel::ErrorTextRole).toString().isEmpty());

    // Inside a linked folder nothing is deleted; elsewhere rows are deleted by id.
    RepoLevelModel linked;
    linked.setStore(&store);
    linked.setParentID(u"folder-Linked"_s);
    QVERIFY(linked.insideLinkedFolder());
    linked.deleteRows({0});
    QCOMPARE(levelNames(linked), QStringList{u"listed"_s});
    RepoLevelModel box;
    box.setStore(&store);
    box.setParentID(u"folder-Box"_s);
    QCOMPARE(levelNames(box), (QStringList{u"five"_s, u"three"_s}));
    box.deleteRows({0, 1});
    QCOMPARE(box.rowCount(), 0);
    QCOMPARE(top.data(top.index(0), RepoLevelModel::CountsTextRole).toString(), u"0 repos • 0 apps"_s);
    store.setRepoSortOrder(RepoSortOption::Standard);
}

void TestUiModels::addSheetReadsItsTexts_data() {
    QTest::addColumn<bool>("folderMode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("link");
    // The tree afterwards: repository addresses, or "name <link>" for a folder.
    QTest::addColumn<QStringList>("added");

    QTest::newRow("three lines, one empty")
        << false << u"example.com/feed.json\n\n  http://example.org/apps.json  "_s << QString()
        << QStringList{u"https://example.com/feed.json"_s, u"http://example.org/apps.json"_s};
    QTest::newRow("nothing usable") << false << u"  \n\t"_s << QString() << QStringList();
    QTest::newRow("folder named after its link, scheme in capitals")
        << true << QString() << u"HTTPS://Example.com/List.txt"_s
        << QStringList{u"Example.com/List.txt <https://example.com/List.txt>"_s};
    QTest::newRow("folder with a name and a link without scheme")
        << true << u" Mine "_s << u"example.com/l"_s << QStringList{u"Mine <https://example.com/l>"_s};
    QTest::newRow("folder without name or link") << true << QString() << u"  "_s << QStringList();
    QTest::newRow("unparsable link makes a plain folder")
        << true << u"Plain"_s << u"exa mple"_s << QStringList{u"Plain <>"_s};
}

void TestUiModels::addSheetReadsItsTexts() {
    QFETCH(bool, folderMode);
    QFETCH(QString, text);
    QFETCH(QString, link);
    QFETCH(QStringList, added);
    QVERIFY(writeTree({}));
    QNetworkAccessManager network;
    AppStoreViewModel store(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    RepoActions actions;
    actions.setStore(&store);
    if (folderMode)
        actions.addFolder(text, link, {});
    else
        QCOMPARE(actions.addSources(text, {}), int(added.size()));

    QStringList tree;
    for (const SavedRepo &node : store.savedRepos()) {
        tree.append(node.isFolder()
                        ? node.name + u" <"_s + node.repoListURL.value_or(QUrl()).toString() + u'>'
                        : node.url->toString());
    }
    QCOMPARE(tree, added);
}

void TestUiModels::copiesAndImportsSpeak() {
    QVERIFY(writeTree({folderNode(u"Box"_s, {feedNode(u"on"_s, 1), feedNode(u"off"_s, 1, false)})}));
    QNetworkAccessManager network;
    AppStoreViewModel store(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    RepoActions actions;
    actions.setStore(&store);
    NotificationManager::shared().setAppInForeground(true);
    QVERIFY(actions.treeContainsDisabled());

    const SavedRepo box = store.savedRepos().constFirst();
    actions.copyNode(box, RepoActions::CopyMode::Url, true);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"http://127.0.0.1:9/on"_s);
    actions.copyNode(box, RepoActions::CopyMode::Url, false);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"http://127.0.0.1:9/on\nhttp://127.0.0.1:9/off"_s);
    actions.copyTree(RepoActions::CopyMode::Json, false);
    const QString json = QGuiApplication::clipboard()->text();
    QVERIFY(json.startsWith(u'[') && json.contains(u"\"Box\""_s));

    // The shared file holds the same JSON.
    const QUrl shared = actions.writeShareFile();
    QFile file(shared.toLocalFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), json);

    // The copied JSON imported on a reset tree brings both repositories back; text that is no
    // JSON brings none, and the banner says so.
    store.resetToDefaults();
    const auto banner = [] {
        const std::optional<InAppNotification> &shown = NotificationManager::shared().currentNotification();
        return shown ? shown->message : QString();
    };
    QCOMPARE(actions.importJson(json), 2);
    QTRY_COMPARE(banner(), u"2 repositories added."_s);
    QCOMPARE(actions.importJson(u"not json"_s), 0);
    QTRY_COMPARE(banner(), u"The text is not a repository list in JSON."_s);
    QCOMPARE(NotificationManager::shared().currentNotification()->type, NotificationType::Error);
}

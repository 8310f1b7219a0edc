#include "downloads/downloadmanager.h"
#include "downloads/installedappsscanner.h"
#include "downloads/installfiles.h"
#include "downloads/livecontainer.h"
#include "fixtures/httpserver.h"
#include "fixtures/zipbuilder.h"
#include "installtestsupport.h"
#include "platform/defaultsstore.h"
#include "platform/propertylist.h"
#include "platform/standarddirs.h"
#include "platform/urlopener.h"
#include "support/testfiles.h"
#include "support/testmain.h"
#include "zip/zipextractor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <qcoro/qcorotask.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using AppBundleWriter::Format;
using InstallTest::Entries;

namespace {

using InstallTest::entries;
using InstallTest::lcAppInfo;

bool makeFolderWithFile(const QString &folder) {
    QFile file(folder + u"/save.dat"_s);
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) && file.write("save") == 4;
}

QVariantMap iconsUnder(const QString &iconsKey, const QStringList &files) {
    return {
        {iconsKey, QVariantMap{{u"CFBundlePrimaryIcon"_s, QVariantMap{{u"CFBundleIconFiles"_s, files}}}}}};
}

QVariantMap with(QVariantMap a, const QVariantMap &b) {
    a.insert(b);
    return a;
}

// Runs the LiveContainer stand-in as a process of its own: its exit code (-1 when it did not
// finish) and what it printed.
struct StandInRun {
    int exitCode = -1;
    QString output;
};
StandInRun runStandIn(const QStringList &arguments, const QString &storageFromEnvironment = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"LIVECONTAINER_STORAGE"_s);
    if (!storageFromEnvironment.isEmpty())
        environment.insert(u"LIVECONTAINER_STORAGE"_s, storageFromEnvironment);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QString::fromUtf8(KIVO_LIVECONTAINER_STANDIN), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

QString launchURL(const QString &folder) {
    return u"livecontainer://livecontainer-launch?bundle-name="_s + folder;
}

// Occupies every thread of the global pool until released, so work handed to it waits.
class WorkerHold {
public:
    WorkerHold() {
        for (int i = 0; i < m_threads; ++i)
            QThreadPool::globalInstance()->start([this] {
                m_holding.release();
                m_release.acquire();
            });
        m_holding.acquire(m_threads);
    }
    ~WorkerHold() { release(); }
    void release() { m_release.release(std::exchange(m_threads, 0)); }

private:
    int m_threads = QThreadPool::globalInstance()->maxThreadCount();
    QSemaphore m_holding;
    QSemaphore m_release;
};

} // namespace

// From real archives to app folders in LiveContainer's storage: the file pieces, the scan of
// installed apps, conversion and its failures, automatic conversion after a download over a
// loopback server, and the LiveContainer stand-in the other tests launch.
class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir m_storage;
    QTemporaryDir m_elsewhere;
    HttpServer m_server;
    DownloadManager *m_engine = nullptr;

    QString downloads() const { return m_engine->downloadFolder().toLocalFile(); }
    QString applications() const { return m_engine->applicationsFolder().toLocalFile(); }
    QString data() const { return m_storage.filePath(u"Data/Application/"_s); }
    void convert(const QString &path) { QCoro::waitFor(m_engine->convertIPA(QUrl::fromLocalFile(path))); }

    QStringList convertCapturingErrors(const QString &path) {
        return InstallTest::printedBy([&] { convert(path); })
            .filter(QRegularExpression(u"^Convert error: .+"_s));
    }

    QString installApp(const QString &folder, const QString &bundleID, const QVariantList &containers = {}) {
        const QString path = m_storage.filePath(u"Applications/"_s + folder);
        AppBundleWriter::writeApp(path, AppBundleWriter::info(bundleID, u"App"_s, u"3.1"_s));
        if (!containers.isEmpty())
            PropertyList::writeXml(path + u"/LCAppInfo.plist"_s, lcAppInfo(containers));
        return path;
    }

private Q_SLOTS:
    void initTestCase() {
        UrlOpener::shared().setForwardToDesktop(false);
        QVERIFY(m_server.start() != 0);
    }

    void init() {
        for (const QString &folder : {StandardDirs::documents(), m_storage.path(), m_elsewhere.path()}) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
        }
        QDir().mkpath(m_storage.filePath(u"Applications"_s));
        m_server.clearRoutes();
        m_engine = new DownloadManager(this);
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage.path()), true);
    }

    void cleanup() {
        delete m_engine;
        m_engine = nullptr;
        DefaultsStore().remove(DownloadManager::kCustomLiveContainerFolderKey);
    }

    // ---- The pieces -----------------------------------------------------------------------------

    // Moving into place is a rename (the folder keeps its inode) that never replaces anything,
    // not even an empty folder.
    void movesToTheFirstFreeNameByRenaming() {
        const auto inodeOf = [](const QString &path) {
            struct stat status {};
            ::lstat(QFile::encodeName(path).constData(), &status);
            return status.st_ino;
        };
        QVERIFY(makeFolderWithFile(m_elsewhere.filePath(u"apps/com.a.b.app"_s)));
        QVERIFY(makeFolderWithFile(m_elsewhere.filePath(u"apps/com.a.b_1.app"_s)));
        QVERIFY(QDir().mkpath(m_elsewhere.filePath(u"apps/com.a.b_2.app"_s)));
        const QString source = m_elsewhere.filePath(u"Temp_X/Payload/Game.app"_s);
        QVERIFY(makeFolderWithFile(source));
        const ino_t inode = inodeOf(source);

        QString error;
        const auto placed =
            InstallFiles::moveToFreeName(source, m_elsewhere.filePath(u"apps"_s), u"com.a.b.app"_s, &error);
        QCOMPARE(placed, std::optional<QString>(m_elsewhere.filePath(u"apps/com.a.b_3.app"_s)));
        QCOMPARE(inodeOf(*placed), inode);
        QVERIFY(QDir(m_elsewhere.filePath(u"apps/com.a.b_2.app"_s)).isEmpty());
        QVERIFY(!InstallFiles::moveToFreeName(source, m_elsewhere.path(), u"a.app"_s, &error));
        QVERIFY2(error.contains(source), qPrintable(error));
    }

    void honoursOnlySingleFolderNames_data() {
        QTest::addColumn<QVariant>("containers");
        QTest::addColumn<QStringList>("names");
        const QVariantMap leaving =
            lcAppInfo({u"../../etc"_s, u"/abs"_s, u"a/b"_s, u".."_s, u"."_s, QString(), 7, u"A-1"_s, u"B"_s});
        QTest::newRow("leaving names and non-strings skipped")
            << leaving.value(u"LCContainers"_s) << QStringList{u"A-1"_s, u"B"_s};
        QTest::newRow("element not a dictionary")
            << QVariant(QVariantList{QVariantMap{{u"folderName"_s, u"ok"_s}}, u"loose"_s}) << QStringList();
        QTest::newRow("not an array") << QVariant(QVariantMap{{u"folderName"_s, u"x"_s}}) << QStringList();
    }

    void honoursOnlySingleFolderNames() {
        QFETCH(QVariant, containers);
        QFETCH(QStringList, names);
        QCOMPARE(LiveContainer::dataContainerNames({{u"LCContainers"_s, containers}}), names);
    }

    void readsNamesVersionsAndIdentifiers_data() {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<QStringList>("expected"); // name, bundle identifier, version ("-": none)
        const QVariantMap id{{u"CFBundleIdentifier"_s, u" com.a.b\n"_s}};
        QTest::newRow("display name trimmed, identifier trimmed")
            << with(id, {{u"CFBundleDisplayName"_s, u"  Game "_s}, {u"CFBundleName"_s, u"Other"_s}})
            << QStringList{u"Game"_s, u"com.a.b"_s, u"-"_s};
        QTest::newRow("display name of another type, version kept untrimmed")
            << with(id, {{u"CFBundleDisplayName"_s, 5},
                         {u"CFBundleName"_s, u"Named"_s},
                         {u"CFBundleShortVersionString"_s, u"2.0 "_s},
                         {u"CFBundleVersion"_s, u"42"_s}})
            << QStringList{u"Named"_s, u"com.a.b"_s, u"2.0 "_s};
        QTest::newRow("folder name, bundle version only") << with(id, {{u"CFBundleVersion"_s, u"42"_s}})
                                                          << QStringList{u"My.Tool"_s, u"com.a.b"_s, u"42"_s};
        QTest::newRow("no identifier") << QVariantMap{{u"CFBundleShortVersionString"_s, 3}}
                                       << QStringList{u"My.Tool"_s, u"unknown"_s, u"-"_s};
    }

    void readsNamesVersionsAndIdentifiers() {
        QFETCH(QVariantMap, info);
        QFETCH(QStringList, expected);
        for (const Format format : {Format::Xml, Format::Binary}) {
            const QString folder = m_elsewhere.filePath(u"My.Tool.app"_s);
            QVERIFY(AppBundleWriter::writeApp(folder, info, format));
            const LocalApp app = InstalledAppsScanner::readApp(folder);
            QCOMPARE((QStringList{app.name, app.bundleID, app.version.value_or(u"-"_s)}), expected);
        }
    }

    // The lists are walked from the last name back; per name: base, @2x, @3x, 60x60@2x, each as
    // png then jpg; then the fallbacks AppIcon60x60 and AppIcon.
    void searchesIconsInTheirOrder_data() {
        QTest::addColumn<QVariantMap>("icons");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");
        const QVariantMap twenty60 = iconsUnder(u"CFBundleIcons"_s, {u"Icon-20"_s, u"Icon-60"_s});
        QTest::newRow("last name first")
            << twenty60 << QStringList{u"Icon-20.png"_s, u"Icon-60@3x.png"_s} << u"Icon-60@3x.png"_s;
        QTest::newRow("jpg before @2x")
            << twenty60 << QStringList{u"Icon-60@2x.png"_s, u"Icon-60.jpg"_s} << u"Icon-60.jpg"_s;
        QTest::newRow("60x60@2x suffix")
            << twenty60 << QStringList{u"Icon-20.png"_s, u"Icon-6060x60@2x.jpg"_s}
            << u"Icon-6060x60@2x.jpg"_s;
        QTest::newRow("fallbacks in order")
            << twenty60 << QStringList{u"AppIcon.png"_s, u"AppIcon60x60@2x.png"_s}
            << u"AppIcon60x60@2x.png"_s;
        QTest::newRow("top level, then ipad, then primary")
            << with(with(iconsUnder(u"CFBundleIcons"_s, {u"A"_s}),
                         iconsUnder(u"CFBundleIcons~ipad"_s, {u"B"_s})),
                    {{u"CFBundleIconFiles"_s, QStringList{u"C"_s}}})
            << QStringList{u"A.png"_s, u"B.png"_s, u"C.png"_s} << u"C.png"_s;
        QTest::newRow("list with a non-string adds nothing")
            << QVariantMap{{u"CFBundleIconFiles"_s, QVariantList{u"X"_s, 5}}} << QStringList{u"X.png"_s}
            << QString();
    }

    void searchesIconsInTheirOrder() {
        QFETCH(QVariantMap, icons);
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        const QString folder = m_elsewhere.filePath(u"a.app"_s);
        QVERIFY(AppBundleWriter::writeApp(folder, icons, Format::Binary, files));
        const auto icon = InstalledAppsScanner::readApp(folder).iconURL;
        QCOMPARE(icon ? icon->fileName() : QString(), expected);
    }

    void listsOnlyAppFoldersInListingOrder() {
        QVERIFY(InstalledAppsScanner::scan(m_elsewhere.filePath(u"absent"_s)).isEmpty());
        for (const QString &name : {u"b.app"_s, u"a.app"_s, u"Temp_1234"_s, u"x.APP"_s, u".app"_s})
            QVERIFY(AppBundleWriter::writeApp(m_elsewhere.filePath(name), {}));
        QStringList expected;
        for (const QString &entry :
             QDir(m_elsewhere.path())
                 .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted)) {
            if (entry == u"a.app"_s || entry == u"b.app"_s)
                expected.append(entry);
        }
        QStringList listed;
        for (const LocalApp &app : InstalledAppsScanner::scan(m_elsewhere.path()))
            listed.append(app.url.fileName());
        QCOMPARE(listed, expected);
    }

    // ---- Converting archives --------------------------------------------------------------------

    // Only an archive inside the downloads folder is removed after the install.
    void removesOnlyArchivesFromTheDownloadsFolder_data() {
        QTest::addColumn<QString>("folder"); // beside the downloads folder ("Documents"), or a case
        QTest::addColumn<bool>("removed");
        QTest::newRow("downloads folder") << u"Documents"_s << true;
        QTest::newRow("named like the downloads folder") << u"Documents2"_s << false;
        QTest::newRow("through the downloads folder") << u"Documents/../Outside"_s << false;
        QTest::newRow("elsewhere") << u"elsewhere"_s << false;
        QTest::newRow("no LiveContainer folder") << u"none"_s << true;
    }

    void removesOnlyArchivesFromTheDownloadsFolder() {
        QFETCH(QString, folder);
        QFETCH(bool, removed);
        if (folder == u"none"_s)
            m_engine->resetCustomFolder(true); // the apps then land in the downloads folder
        const QString where = folder == u"none"_s        ? downloads()
                              : folder == u"elsewhere"_s ? m_elsewhere.path()
                                                         : QFileInfo(downloads()).path() + u'/' + folder;
        QDir().mkpath(where);
        QVERIFY(InstallTest::writeAppIpa(where + u"/Game.ipa"_s, u"com.a.b"_s, u"Game"_s, u"1"_s));
        convert(where + u"/Game.ipa"_s);
        QCOMPARE(QFile::exists(where + u"/Game.ipa"_s), !removed);
        QCOMPARE(entries(applications(), u"*.app"_s), QStringList{u"com.a.b.app"_s});
        QVERIFY(entries(applications(), u"Temp_*"_s).isEmpty());
        if (!removed && folder != u"elsewhere"_s)
            QDir(where).removeRecursively();
    }

    // An identifier that cannot be read leaves the app its own folder name; an Info.plist that
    // cannot be read gives no icon either, even where the fallback icon lies.
    void namesTheFolderAfterTheBundleIdentifier_data() {
        QTest::addColumn<QByteArray>("infoPlist");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<bool>("icon");
        const auto plist = [](const QVariant &identifier) {
            return AppBundleWriter::plistBytes({{u"CFBundleIdentifier"_s, identifier}}, Format::Binary);
        };
        QTest::newRow("trimmed identifier")
            << plist(u" com.a.b\n"_s) << u"com.a.b.app"_s << u"com.a.b"_s << true;
        QTest::newRow("identifier of another type") << plist(12) << u"Own Name.app"_s << u"unknown"_s << true;
        QTest::newRow("blank identifier") << plist(u"  "_s) << u"Own Name.app"_s << u"unknown"_s << true;
        QTest::newRow("unreadable Info.plist")
            << QByteArray("garbage") << u"Own Name.app"_s << u"unknown"_s << false;
        QTest::newRow("not a dictionary")
            << QByteArray("<plist><array/></plist>") << u"Own Name.app"_s << u"unknown"_s << false;
        QTest::newRow("nested too deeply")
            << nestedArraysPlist(200000) << u"Own Name.app"_s << u"unknown"_s << false;
    }

    void namesTheFolderAfterTheBundleIdentifier() {
        QFETCH(QByteArray, infoPlist);
        QFETCH(QString, folder);
        QFETCH(QString, bundleID);
        QFETCH(bool, icon);
        const QString path = m_elsewhere.filePath(u"x.ipa"_s);
        QVERIFY(InstallTest::writeIpa(path, {{u"Payload/Own Name.app/Info.plist"_s, infoPlist},
                                             {u"Payload/Own Name.app/AppIcon.png"_s, "\x89PNG"}}));
        convert(path);
        QCOMPARE(entries(applications()), QStringList{folder});
        const LocalApp app = m_engine->installedApps().first();
        QCOMPARE(app.bundleID, bundleID);
        QCOMPARE(app.iconURL.has_value(), icon);
        if (!icon)
            QCOMPARE(app.name, u"Own Name"_s);
    }

    void installsOnlyTheFirstAppInListingOrder() {
        Entries both =
            InstallTest::appEntries(u"Beta.app"_s, AppBundleWriter::info(u"com.beta"_s, u"B"_s, u"1"_s));
        both +=
            InstallTest::appEntries(u"Alpha.app"_s, AppBundleWriter::info(u"com.alpha"_s, u"A"_s, u"1"_s));
        const QString path = m_elsewhere.filePath(u"two.ipa"_s);
        QVERIFY(InstallTest::writeIpa(path, both));
        // The order the same file system lists the extracted Payload in.
        const QString probe = m_elsewhere.filePath(u"probe"_s);
        QVERIFY(ZipExtractor().extractAll(path, probe));
        const QString first =
            QDir(probe + u"/Payload"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted).first();

        convert(path);
        QCOMPARE(entries(applications()),
                 QStringList{first == u"Alpha.app"_s ? u"com.alpha.app"_s : u"com.beta.app"_s});
    }

    // Without a rescan between them both extractions of com.a.b pass the conflict test, so the
    // second takes the next free name; identifiers that could not be read never conflict.
    void takesTheNextFreeNameWhereNoConflictApplies() {
        const QString archive = m_elsewhere.filePath(u"one.ipa"_s);
        QVERIFY(InstallTest::writeAppIpa(archive, u"com.a.b"_s, u"One"_s, u"1"_s));
        for (int i = 0; i < 2; ++i)
            QVERIFY(!QCoro::waitFor(m_engine->extractIPA(QUrl::fromLocalFile(archive))));
        const QString unknown = m_elsewhere.filePath(u"unknown.ipa"_s);
        QVERIFY(InstallTest::writeIpa(unknown, {{u"Payload/Tool.app/Info.plist"_s, "unreadable"}}));
        convert(unknown);
        convert(unknown);
        QVERIFY(!m_engine->pendingInstallation());
        QCOMPARE(entries(applications()),
                 (QStringList{u"Tool.app"_s, u"Tool_1.app"_s, u"com.a.b.app"_s, u"com.a.b_1.app"_s}));
    }

    void leavesAConflictToTheUser() {
        const QString v1 = downloads() + u"/v1.ipa"_s;
        const QString v2 = downloads() + u"/v2.ipa"_s;
        QVERIFY(InstallTest::writeAppIpa(v1, u"com.example.game"_s, u"Game"_s, u"1.0"_s));
        QVERIFY(InstallTest::writeAppIpa(v2, u"com.example.game"_s, u"Game Two"_s, u"2.0"_s));
        convert(v1);
        const LocalApp installed = m_engine->installedApps().first();
        convert(v2);

        QVERIFY(m_engine->pendingInstallation());
        const PendingInstallation pending = *m_engine->pendingInstallation();
        QVERIFY(!pending.id.isNull());
        QCOMPARE((QStringList{pending.appName, pending.bundleID}),
                 (QStringList{u"Game"_s, u"com.example.game"_s}));
        QCOMPARE(pending.sourceArchiveURL, QUrl::fromLocalFile(v2));
        QCOMPARE(pending.existingApp, std::optional<LocalApp>(installed));
        const QStringList temporary = entries(applications(), u"Temp_*"_s);
        QCOMPARE(temporary.size(), 1);
        QCOMPARE(pending.tempPayloadURL.toLocalFile(),
                 applications() + u'/' + temporary.first() + u"/Payload"_s);
        QCOMPARE(pending.extractedAppURL.toLocalFile(),
                 pending.tempPayloadURL.toLocalFile() + u"/Game Two.app"_s);
        QVERIFY(QFile::exists(pending.extractedAppURL.toLocalFile() + u"/Info.plist"_s));
        // Nothing decided yet: the archive and the installed version stay.
        QVERIFY(QFile::exists(v2));
        QCOMPARE(m_engine->installedVersion(u"com.example.game"_s), std::optional<QString>(u"1.0"_s));
        QVERIFY(m_engine->extractingFiles().isEmpty());
    }

    // Nothing installed is a failure too; untrusted text is quoted short.
    void reportsFailuresAndCleansUp_data() {
        QTest::addColumn<QByteArray>("archive"); // empty: no file at all
        QTest::addColumn<QString>("errorPart");
        using InstallTest::ipa;
        const auto identified = [&](const QString &identifier, const Entries &more = {}) {
            const QVariantMap info{{u"CFBundleIdentifier"_s, identifier}};
            return ipa(InstallTest::appEntries(u"Game.app"_s, info) + more);
        };
        const Entries sibling{{u"Payload/Other.app/LCAppInfo.plist"_s, "theirs"}};
        QTest::newRow("no Payload") << ipa({{u"Other/readme.txt"_s, "hello"}}) << u"no \"Payload\""_s;
        QTest::newRow("no app in Payload") << ipa({{u"Payload/readme.txt"_s, "hello"}}) << u"no \".app\""_s;
        QTest::newRow("extension in capitals")
            << ipa({{u"Payload/Game.APP/Info.plist"_s, "x"}}) << u"no \".app\""_s;
        QTest::newRow("no app, a tree deeper than PATH_MAX")
            << ipa({{u"Payload/x/"_s + u"d/"_s.repeated(2500) + u'f', "x"}}) << u"no \".app\""_s;
        QTest::newRow("app is a file") << ipa({{u"Payload/Game.app"_s, "x"}}) << u"no \".app\""_s;
        QTest::newRow("identifier .") << identified(u"."_s) << u"cannot name a folder"_s;
        QTest::newRow("identifier ..") << identified(u".."_s) << u"cannot name a folder"_s;
        QTest::newRow("identifier with a newline") << identified(u"a\nb"_s) << u"cannot name a folder"_s;
        QTest::newRow("identifier with a control character") << identified(u"a\x7f"_s) << u"cannot name"_s;
        QTest::newRow("long identifier") << identified(u"x/"_s.repeated(5000)) << u"cannot name a folder"_s;
        QTest::newRow("link to a sibling app")
            << identified(u"com.a.b"_s,
                          Entries{{u"Payload/Game.app/LCAppInfo.plist->"_s, "../Other.app/LCAppInfo.plist"}} +
                              sibling)
            << u"points outside Payload/Game.app"_s;
        QTest::newRow("link to LiveContainer's folder")
            << identified(u"com.a.b"_s, {{u"Payload/Game.app/Data->"_s, "../../Data"}, {u"Data/x"_s, "x"}})
            << u"points outside Payload/Game.app"_s;
        QTest::newRow("not a zip") << QByteArray("PK\x03\x04 not an archive") << QString();
        QTest::newRow("missing file") << QByteArray() << QString();
        const QByteArray info =
            AppBundleWriter::plistBytes({{u"CFBundleIdentifier"_s, u"../../escape"_s}}, Format::Xml);
        ZipBuilder badCrc;
        ZipBuilder::Options wrong;
        wrong.crc32 = 0xdeadbeef;
        badCrc.addFile(u"Payload/Game.app/Info.plist"_s, info, wrong);
        QTest::newRow("bad checksum") << badCrc.finish() << u"CRC"_s;
        ZipBuilder slash;
        slash.addFile(u"Payload/Game.app/Info.plist"_s, info);
        QTest::newRow("identifier with a separator") << slash.finish() << u"../../escape"_s;
    }

    void reportsFailuresAndCleansUp() {
        QFETCH(QByteArray, archive);
        QFETCH(QString, errorPart);
        const QString path = downloads() + u"/bad.ipa"_s;
        if (!archive.isEmpty())
            QVERIFY(ZipBuilder::writeFile(path, archive));
        const QStringList errors = convertCapturingErrors(path);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(errorPart), qPrintable(errors.first()));
        QVERIFY2(errors.first().size() < 300 + path.size(), qPrintable(errors.first()));
        QCOMPARE(entries(m_storage.path()), QStringList{u"Applications"_s});
        QVERIFY(entries(applications()).isEmpty());
        QCOMPARE(QFile::exists(path), !archive.isEmpty());
        QVERIFY(m_engine->extractingFiles().isEmpty());
    }

    // The archive work waits for a worker thread while the main thread runs on; every change of
    // the engine's state still happens on the main thread.
    void worksOffTheMainThread() {
        const QString archive = downloads() + u"/Game.ipa"_s;
        QVERIFY(InstallTest::writeAppIpa(archive, u"com.example.game"_s, u"Game"_s, u"1"_s));
        QList<QThread *> changeThreads;
        const auto record = [&] {
            changeThreads.append(QThread::currentThread());
        };
        for (const auto signal : {&DownloadManager::extractingFilesChanged,
                                  &DownloadManager::installedAppsChanged, &DownloadManager::fileListChanged})
            connect(m_engine, signal, this, record, Qt::DirectConnection);

        WorkerHold hold; // the conversion cannot progress until the workers are released
        QCoro::Task<> conversion = m_engine->convertIPA(QUrl::fromLocalFile(archive));
        QTest::qWait(50);
        QVERIFY(!conversion.isReady());
        QVERIFY(m_engine->extractingFiles().contains(QUrl::fromLocalFile(archive)));
        hold.release();
        QCoro::waitFor(std::move(conversion));
        QCOMPARE(entries(applications()), QStringList{u"com.example.game.app"_s});
        QVERIFY(changeThreads.size() >= 3); // the mark on and off, the installed apps
        QCOMPARE(changeThreads.count(QThread::currentThread()), changeThreads.size());
    }

    // An engine that goes while the worker runs leaves neither a crash nor a temporary folder.
    void survivesTheEngineGoingMidConversion() {
        const QString archive = downloads() + u"/Game.ipa"_s;
        QVERIFY(InstallTest::writeAppIpa(archive, u"com.example.game"_s, u"Game"_s, u"1"_s));
        const QString apps = applications();
        // Held workers make the conversion wait for its worker, so it is suspended, not finished
        // at once; it can only resume through the event loop, after the engine is gone.
        WorkerHold hold;
        QCoro::Task<> conversion = m_engine->convertIPA(QUrl::fromLocalFile(archive));
        hold.release(); // before the engine goes, so nothing its destructor waits for is held
        delete m_engine;
        m_engine = nullptr;
        QCoro::waitFor(std::move(conversion));
        QVERIFY2(entries(apps).isEmpty(), qPrintable(entries(apps).join(u',')));
        QVERIFY(QFile::exists(archive));
    }

    // The same for the conversion a finished download starts by itself: what follows it must
    // not use the engine that went.
    void survivesTheEngineGoingMidAutomaticConversion() {
        const QString served = m_elsewhere.filePath(u"served.ipa"_s);
        QVERIFY(InstallTest::writeAppIpa(served, u"com.example.game"_s, u"Game"_s, u"1"_s));
        m_server.serveFile(u"/Game.ipa"_s, served);
        m_engine->setAutoUnzipEnabled(true);
        const QString apps = applications();
        std::unique_ptr<WorkerHold> hold;
        connect(m_engine, &DownloadManager::extractingFilesChanged, this, [&] {
            if (!hold)
                hold = std::make_unique<WorkerHold>();
        });
        m_engine->startDownload(m_server.url(u"/Game.ipa"_s));
        QTRY_VERIFY_WITH_TIMEOUT(hold, 10000);
        hold->release();
        delete m_engine;
        m_engine = nullptr;
        QTest::qWait(100);
        QVERIFY2(entries(apps).isEmpty(), qPrintable(entries(apps).join(u',')));
    }

    void importReplacesAndNeverLosesAFile() {
        const QString destination = downloads() + u"/App.ipa"_s;
        const QString picked = m_elsewhere.filePath(u"App.ipa"_s);
        QVERIFY(ZipBuilder::writeFile(destination, "old") && ZipBuilder::writeFile(picked, "new"));
        QCoro::waitFor(m_engine->importFile(QUrl::fromLocalFile(picked)));
        QCoro::waitFor(m_engine->importFile(QUrl::fromLocalFile(destination))); // onto itself
        QFile imported(destination);
        QVERIFY(imported.open(QIODevice::ReadOnly));
        QCOMPARE(imported.readAll(), QByteArray("new"));
        QCOMPARE(m_engine->fileList(), QList<QUrl>{QUrl::fromLocalFile(destination)});

        InstallTest::StdoutCapture console;
        QCoro::waitFor(m_engine->importFile(QUrl::fromLocalFile(m_elsewhere.filePath(u"missing.ipa"_s))));
        QCOMPARE(console.lines().filter(QRegularExpression(u"^Import failed: .+"_s)).size(), 1);
        QCOMPARE(entries(downloads()), QStringList{u"App.ipa"_s});
    }

    // A download converts by itself when the setting is on and the name says ".ipa" or nothing;
    // a second version of an installed app waits for the user with its archive marked busy.
    void automaticConversionFollowsTheSetting_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("autoUnzip");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("outcome"); // "installed", "kept" or "conflict"
        QTest::newRow("ipa, on") << u"/get/Game.ipa"_s << true << true << u"installed"_s;
        QTest::newRow("IPA in capitals, on") << u"/get/GAME.IPA"_s << true << true << u"installed"_s;
        QTest::newRow("no extension, on") << u"/get/download"_s << true << true << u"installed"_s;
        QTest::newRow("ipa, off") << u"/get/Game.ipa"_s << false << true << u"kept"_s;
        QTest::newRow("zip, on") << u"/get/Game.zip"_s << true << true << u"kept"_s;
        QTest::newRow("broken ipa, on") << u"/get/Broken.ipa"_s << true << false << u"kept"_s;
        QTest::newRow("installed already, on") << u"/get/Game-2.ipa"_s << true << true << u"conflict"_s;
    }

    void automaticConversionFollowsTheSetting() {
        QFETCH(QString, path);
        QFETCH(bool, autoUnzip);
        QFETCH(bool, valid);
        QFETCH(QString, outcome);
        const QString archive = m_elsewhere.filePath(u"served.ipa"_s);
        if (valid)
            QVERIFY(InstallTest::writeAppIpa(archive, u"com.example.game"_s, u"Game"_s, u"2.0"_s));
        else
            QVERIFY(InstallTest::writeIpa(archive, {}) && QFile::resize(archive, 10));
        m_server.serveFile(path, archive);
        if (outcome == u"conflict"_s)
            installApp(u"com.example.game.app"_s, u"com.example.game"_s);
        m_engine->scanInstalledApps();
        m_engine->setAutoUnzipEnabled(autoUnzip);
        const QUrl landed =
            QUrl::fromLocalFile(downloads() + u'/' + DownloadManager::downloadFileName(m_server.url(path)));
        const bool converts = autoUnzip && !path.endsWith(u".zip"_s);
        QList<QUrl> marked;
        QObject context;
        connect(m_engine, &DownloadManager::extractingFilesChanged, &context,
                [&] { marked += m_engine->extractingFiles().values(); });

        const QStringList errors =
            InstallTest::printedBy([&] {
                m_engine->startDownload(m_server.url(path));
                (void)QTest::qWaitFor([&] { return m_engine->downloadStates().isEmpty(); }, 20000);
            }).filter(u"Convert error: "_s);
        QVERIFY(m_engine->downloadStates().isEmpty());
        const bool installed = outcome == u"installed"_s;
        QCOMPARE(m_engine->installedApps().size(), outcome == u"kept"_s ? 0 : 1);
        QCOMPARE(m_engine->installedVersion(u"com.example.game"_s).value_or(QString()),
                 installed                  ? u"2.0"_s
                 : outcome == u"conflict"_s ? u"3.1"_s
                                            : QString());
        QCOMPARE(QFile::exists(landed.toLocalFile()),
                 !installed); // a converted archive goes, any other stays
        QCOMPARE(m_engine->fileList().contains(landed), !installed);
        QCOMPARE(marked.contains(landed), converts);
        QCOMPARE(errors.size(), converts && !valid ? 1 : 0);
        QVERIFY(m_engine->tasks().isEmpty());
        if (outcome != u"conflict"_s) {
            QVERIFY(m_engine->extractingFiles().isEmpty());
            QVERIFY(entries(applications(), u"Temp_*"_s).isEmpty());
            return;
        }
        // The archive stays marked busy until the conflict is settled, then the mark goes.
        QTRY_VERIFY(m_engine->pendingInstallation());
        QCOMPARE(m_engine->pendingInstallation()->sourceArchiveURL, landed);
        QCOMPARE(m_engine->extractingFiles(), QSet<QUrl>{landed});
        m_engine->releaseConflictMark(*m_engine->pendingInstallation());
        QVERIFY(m_engine->extractingFiles().isEmpty());
    }

    // ---- Installed apps -------------------------------------------------------------------------

    // The lookups answer from the list as published: a bundle on disk counts only after a scan.
    void lookupsReadThePublishedListAndLaunchByFolder() {
        installApp(u"com.a.b.app"_s, u"com.a.b"_s, {u"C1"_s});
        installApp(u"com.c.d_1.app"_s, u"com.c.d"_s);
        QVERIFY(!m_engine->hasLCAppInfo(u"com.a.b"_s));
        QVERIFY(!m_engine->installedVersion(u"com.a.b"_s));

        m_engine->scanInstalledApps();
        QVERIFY(m_engine->hasLCAppInfo(u"com.a.b"_s));
        QVERIFY(!m_engine->hasLCAppInfo(u"com.c.d"_s));
        QCOMPARE(m_engine->installedVersion(u"com.a.b"_s), std::optional<QString>(u"3.1"_s));
        QCOMPARE(m_engine->installedFolderNameValue(u"com.absent"_s), QVariant());

        QSignalSpy opened(&UrlOpener::shared(), &UrlOpener::urlOpened);
        QVERIFY(m_engine->launchApp(*m_engine->installedFolderName(u"com.c.d"_s)));
        QVERIFY(m_engine->openLiveContainer());
        QVERIFY(!m_engine->launchApp(u"My Game.app"_s)); // not a valid URL: nothing opens
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(0).at(0).toUrl().toString(),
                 u"livecontainer://livecontainer-launch?bundle-name=com.c.d_1.app"_s);
        QCOMPARE(opened.at(1).at(0).toUrl().toString(), u"livecontainer://install"_s);
    }

    // "LCAppInfo.plist" can come inside an archive: of the names it lists, only those that stay
    // inside the data containers folder are removed.
    void deletingRemovesOnlyTheContainersInsideTheDataFolder() {
        for (const QString &folder : QStringList{m_elsewhere.path(), m_storage.filePath(u"victim"_s),
                                                 m_storage.filePath(u"Data/Sibling"_s), data() + u"C1"_s,
                                                 data() + u"C2"_s, data() + u"Other"_s})
            QVERIFY(makeFolderWithFile(folder));
        const QString app =
            installApp(u"com.a.b.app"_s, u"com.a.b"_s,
                       {u"C1"_s, u"../../victim"_s, m_elsewhere.path(), u"../Sibling"_s, u".."_s, u"C2"_s});
        installApp(u"com.keep.app"_s, u"com.keep"_s);
        m_engine->scanInstalledApps();
        QCOMPARE(m_engine->installedApps().size(), 2);

        const QList<LocalApp> apps = m_engine->installedApps(); // the deletion replaces the list
        for (const LocalApp &installed : apps) {
            if (installed.bundleID == u"com.a.b"_s)
                m_engine->deleteInstalledApp(installed);
        }
        QVERIFY(!QFile::exists(app));
        QVERIFY(!QFile::exists(data() + u"C1"_s) && !QFile::exists(data() + u"C2"_s));
        for (const QString &kept :
             QStringList{m_elsewhere.filePath(u"save.dat"_s), m_storage.filePath(u"victim/save.dat"_s),
                         m_storage.filePath(u"Data/Sibling/save.dat"_s), data() + u"Other/save.dat"_s})
            QVERIFY2(QFile::exists(kept), qPrintable(kept));
        QCOMPARE(m_engine->installedApps().size(), 1);
        QCOMPARE(m_engine->installedApps().first().bundleID, u"com.keep"_s);
    }

    // Apps arrive in LiveContainer's folder by other ways than Kivo's archives. Whatever one holds,
    // the scan lists it as best it can, and deleting it removes all of it and nothing of another app.
    void brokenAppsStayListedAndReachNoOtherApp_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("bundleID"); // as listed
        QTest::newRow("Info.plist links to a sibling's") << u"Info.plist"_s << u"unknown"_s;
        QTest::newRow("LCAppInfo.plist links to a sibling's") << u"LCAppInfo.plist"_s << u"com.evil"_s;
        QTest::newRow("the app folder links to a sibling") << u"folder"_s << u"unknown"_s;
        QTest::newRow("Info.plist nested too deeply") << u"deep Info.plist"_s << u"unknown"_s;
        QTest::newRow("LCAppInfo.plist nested too deeply") << u"deep LCAppInfo.plist"_s << u"com.evil"_s;
        QTest::newRow("a tree deeper than PATH_MAX") << u"deep tree"_s << u"com.evil"_s;
    }

    void brokenAppsStayListedAndReachNoOtherApp() {
        QFETCH(QString, fault);
        QFETCH(QString, bundleID);
        const QString sibling = installApp(u"com.sibling.app"_s, u"com.sibling"_s, {u"S1"_s});
        const QByteArray siblingAppInfo = readFile(sibling + u"/LCAppInfo.plist"_s);
        QVERIFY(makeFolderWithFile(data() + u"S1"_s));
        const QString evil = applications() + u"/Evil.app"_s;
        if (fault == u"folder"_s)
            QVERIFY(QFile::link(sibling, evil));
        else
            installApp(u"Evil.app"_s, u"com.evil"_s, {u"E1"_s});
        const QString file = evil + u'/' + fault.section(u' ', -1);
        if (fault == u"deep tree"_s)
            QVERIFY(makeDeepTree(evil, 2500));
        else if (fault.startsWith(u"deep "_s))
            QVERIFY(writeFile(file, nestedArraysPlist(200000)));
        else if (fault.endsWith(u".plist"_s))
            QVERIFY(QFile::remove(file) && QFile::link(sibling + u'/' + fault, file));

        m_engine->scanInstalledApps();
        const QList<LocalApp> apps = m_engine->installedApps();
        QCOMPARE(apps.size(), 2);
        const LocalApp listed = apps.at(apps.at(0).url.fileName() == u"Evil.app"_s ? 0 : 1);
        QCOMPARE(listed.url.fileName(), u"Evil.app"_s);
        QCOMPARE(listed.bundleID, bundleID);
        m_engine->deleteInstalledApp(listed);
        QVERIFY(!QFileInfo::exists(evil) && !QFileInfo(evil).isSymLink());
        QVERIFY(QFile::exists(data() + u"S1/save.dat"_s));
        QCOMPARE(readFile(sibling + u"/LCAppInfo.plist"_s), siblingAppInfo);
        QCOMPARE(m_engine->installedApps().size(), 1);
        QCOMPARE(m_engine->installedApps().first().bundleID, u"com.sibling"_s);
    }

    // ---- The LiveContainer stand-in -------------------------------------------------------------

    // The first launch creates a container and names it in "LCAppInfo.plist"; later launches
    // reuse it and leave the file as it is, since its creation date marks a version's first run.
    // Without "Applications" the storage folder holds the apps; "install" creates the layout.
    void standInLaunchesAsLiveContainerWould() {
        const QString app = m_elsewhere.filePath(u"a.b.app"_s);
        QVERIFY(AppBundleWriter::writeApp(app, AppBundleWriter::info(u"a.b"_s, u"A"_s, u"1"_s)));
        QCOMPARE(runStandIn({u"--storage"_s, m_elsewhere.path(), launchURL(u"a.b.app"_s)}).exitCode, 0);
        const QStringList created = entries(m_elsewhere.filePath(u"Data/Application"_s));
        QCOMPARE(created.size(), 1);
        QVERIFY(QFileInfo(m_elsewhere.filePath(u"Data/Application/"_s + created.first() + u"/Documents"_s))
                    .isDir());
        const auto appInfo = PropertyList::readDictionary(app + u"/LCAppInfo.plist"_s);
        QVERIFY(appInfo);
        QCOMPARE(LiveContainer::dataContainerNames(*appInfo), created);

        const QDateTime written = QFileInfo(app + u"/LCAppInfo.plist"_s).lastModified();
        QCOMPARE(runStandIn({launchURL(u"a.b.app"_s)}, m_elsewhere.path()).exitCode, 0);
        QCOMPARE(entries(m_elsewhere.filePath(u"Data/Application"_s)), created);
        QCOMPARE(QFileInfo(app + u"/LCAppInfo.plist"_s).lastModified(), written);
        QCOMPARE(runStandIn({u"--storage"_s, m_elsewhere.path(), u"livecontainer://install"_s}).exitCode, 0);
        QVERIFY(QFileInfo(m_elsewhere.filePath(u"Applications"_s)).isDir());
    }

    // Told no folder, the stand-in runs apps from LiveContainer's folder in the user's data folder
    // and says so: in --help, and when it finds no app there.
    void standInAndKivoAgreeOnTheFolder() {
        const QString storage = qEnvironmentVariable("XDG_DATA_HOME") + u"/LiveContainer"_s;
        QCOMPARE(StandardDirs::liveContainerStorage(), storage);
        QDir(storage).removeRecursively();
        QVERIFY(runStandIn({u"--help"_s}).output.contains(u"LiveContainer folder: "_s + storage + u'\n'));
        const StandInRun missing = runStandIn({launchURL(u"a.b.app"_s)});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY(missing.output.contains(u"uses the LiveContainer folder "_s + storage));

        const QString app = storage + u"/Applications/a.b.app"_s;
        QVERIFY(AppBundleWriter::writeApp(app, AppBundleWriter::info(u"a.b"_s, u"A"_s, u"1"_s)));
        QCOMPARE(runStandIn({launchURL(u"a.b.app"_s)}).exitCode, 0);
        QVERIFY(QFileInfo::exists(app + u"/LCAppInfo.plist"_s));
    }

    void standInRefusesWhatItCannotAnswer_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("missing app") << launchURL(u"absent.app"_s);
        QTest::newRow("parent folder") << launchURL(u".."_s);
        QTest::newRow("path") << launchURL(u"../Applications/a.app"_s);
        QTest::newRow("no name") << u"livecontainer://livecontainer-launch"_s;
        QTest::newRow("unknown action") << u"livecontainer://settings"_s;
        QTest::newRow("other scheme") << u"https://example.com/a.app"_s;
    }

    void standInRefusesWhatItCannotAnswer() {
        QFETCH(QString, url);
        installApp(u"a.app"_s, u"a"_s);
        QCOMPARE(runStandIn({u"--storage"_s, m_storage.path(), url}).exitCode, 1);
        QVERIFY(!QFileInfo::exists(data()));
    }

    // Metadata that came with an archive must not point the container outside "Data/Application".
    void standInIgnoresContainerNamesThatLeaveTheDataFolder() {
        const QString app = installApp(u"a.app"_s, u"a"_s, {u"../../escape"_s});
        QVariantMap appInfo = *PropertyList::readDictionary(app + u"/LCAppInfo.plist"_s);
        appInfo.insert(u"keep"_s, 7);
        QVERIFY(PropertyList::writeXml(app + u"/LCAppInfo.plist"_s, appInfo));
        QCOMPARE(runStandIn({u"--storage"_s, m_storage.path(), launchURL(u"a.app"_s)}).exitCode, 0);
        QVERIFY(!QFileInfo::exists(m_storage.filePath(u"escape"_s)));
        appInfo = *PropertyList::readDictionary(app + u"/LCAppInfo.plist"_s);
        const QString first =
            appInfo.value(u"LCContainers"_s).toList().value(0).toMap().value(u"folderName"_s).toString();
        QCOMPARE(entries(data()), QStringList{first});
        QCOMPARE(appInfo.value(u"keep"_s), QVariant(qint64(7)));
    }
};

KIVO_TEST_MAIN(TestInstall)
#include "tst_install.moc"

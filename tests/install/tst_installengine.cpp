#include "downloads/downloadmanager.h"
#include "fixtures/zipbuilder.h"
#include "installtestsupport.h"
#include "platform/defaultsstore.h"
#include "platform/propertylist.h"
#include "platform/standarddirs.h"
#include "platform/urlopener.h"
#include "support/testmain.h"
#include "zip/zipextractor.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;
using AppBundleWriter::Format;
using InstallTest::Entries;

namespace {

QStringList entries(const QString &folder, const QString &pattern) {
    return QDir(folder).entryList({pattern}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QVariantMap appInfoNaming(const QStringList &containers) {
    QVariantList list;
    for (const QString &name : containers)
        list.append(QVariantMap{{u"folderName"_s, name}});
    return {{u"LCContainers"_s, list}};
}

bool makeContainer(const QString &path) {
    QFile file(path + u"/save.dat"_s);
    return QDir().mkpath(path) && file.open(QIODevice::WriteOnly) && file.write("save") == 4;
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

class TestInstallEngine : public QObject {
    Q_OBJECT

    QTemporaryDir m_storage;
    QTemporaryDir m_elsewhere;
    DownloadManager *m_engine = nullptr;

    QString downloads() const { return m_engine->downloadFolder().toLocalFile(); }
    QString applications() const { return m_engine->applicationsFolder().toLocalFile(); }
    void convert(const QString &path) { QCoro::waitFor(m_engine->convertIPA(QUrl::fromLocalFile(path))); }

    QStringList convertCapturingErrors(const QString &path) {
        InstallTest::StdoutCapture console;
        convert(path);
        return console.lines().filter(QRegularExpression(u"^Convert error: .+"_s));
    }

    QString installApp(const QString &folder, const QString &bundleID, const QStringList &containers = {}) {
        const QString path = m_storage.filePath(u"Applications/"_s + folder);
        AppBundleWriter::writeApp(path, AppBundleWriter::info(bundleID, u"App"_s, u"3.1"_s));
        if (!containers.isEmpty())
            PropertyList::writeXml(path + u"/LCAppInfo.plist"_s, appInfoNaming(containers));
        return path;
    }

private Q_SLOTS:
    void init() {
        for (const QString &folder : {StandardDirs::documents(), m_storage.path(), m_elsewhere.path()}) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
        }
        QDir().mkpath(m_storage.filePath(u"Applications"_s));
        UrlOpener::shared().setForwardToDesktop(false);
        m_engine = new DownloadManager(this);
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage.path()), true);
    }

    void cleanup() {
        delete m_engine;
        m_engine = nullptr;
        DefaultsStore().remove(DownloadManager::kCustomLiveContainerFolderKey);
    }

    // Only an archive inside the downloads folder is removed after the install.
    void removesOnlyArchivesFromTheDownloadsFolder_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("removed");
        QTest::newRow("downloads folder") << QString() << true;
        QTest::newRow("elsewhere") << u"elsewhere"_s << false;
        QTest::newRow("named like the downloads folder") << u"Documents2"_s << false;
        QTest::newRow("no LiveContainer folder") << u"none"_s << true;
    }

    void removesOnlyArchivesFromTheDownloadsFolder() {
        QFETCH(QString, folder);
        QFETCH(bool, removed);
        if (folder == u"none"_s)
            m_engine->resetCustomFolder(true); // the apps then land in the downloads folder
        const QString where = folder.isEmpty() || folder == u"none"_s ? downloads()
                              : folder == u"elsewhere"_s              ? m_elsewhere.path()
                                                                      : downloads() + u"2"_s;
        QDir().mkpath(where);
        QVERIFY(InstallTest::writeAppIpa(where + u"/Game.ipa"_s, u"com.a.b"_s, u"Game"_s, u"1"_s));
        convert(where + u"/Game.ipa"_s);
        QCOMPARE(QFile::exists(where + u"/Game.ipa"_s), !removed);
        QCOMPARE(entries(applications(), u"*.app"_s), QStringList{u"com.a.b.app"_s});
        QVERIFY(entries(applications(), u"Temp_*"_s).isEmpty());
        QDir(downloads() + u"2"_s).removeRecursively();
    }

    void installsNothingFromArchivesWithoutAnApp_data() {
        QTest::addColumn<Entries>("entries");
        QTest::newRow("no Payload") << Entries{{u"Other/readme.txt"_s, "hello"}};
        QTest::newRow("no app in Payload") << Entries{{u"Payload/readme.txt"_s, "hello"}};
        QTest::newRow("extension in capitals")
            << InstallTest::appEntries(u"Game.APP"_s, AppBundleWriter::info(u"a.b"_s, u"Game"_s, u"1"_s));
    }

    void installsNothingFromArchivesWithoutAnApp() {
        QFETCH(Entries, entries);
        const QString path = downloads() + u"/Empty.ipa"_s;
        QVERIFY(InstallTest::writeIpa(path, entries));
        QVERIFY(convertCapturingErrors(path).isEmpty());
        QVERIFY(::entries(applications(), u"*"_s).isEmpty());
        QVERIFY(m_engine->extractingFiles().isEmpty());
        QCOMPARE(m_engine->fileList(), QList<QUrl>{QUrl::fromLocalFile(path)}); // kept, and listed
    }

    void namesTheFolderAfterTheBundleIdentifier_data() {
        QTest::addColumn<QByteArray>("infoPlist");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("bundleID");
        const auto plist = [](const QVariant &identifier) {
            return AppBundleWriter::plistBytes({{u"CFBundleIdentifier"_s, identifier}}, Format::Binary);
        };
        QTest::newRow("trimmed identifier") << plist(u" com.a.b\n"_s) << u"com.a.b.app"_s << u"com.a.b"_s;
        QTest::newRow("unreadable Info.plist") << QByteArray("garbage") << u"Own Name.app"_s << u"unknown"_s;
        QTest::newRow("identifier of another type") << plist(12) << u"Own Name.app"_s << u"unknown"_s;
        QTest::newRow("blank identifier") << plist(u"  "_s) << u"Own Name.app"_s << u"unknown"_s;
    }

    void namesTheFolderAfterTheBundleIdentifier() {
        QFETCH(QByteArray, infoPlist);
        QFETCH(QString, folder);
        QFETCH(QString, bundleID);
        const QString path = m_elsewhere.filePath(u"x.ipa"_s);
        QVERIFY(InstallTest::writeIpa(path, {{u"Payload/Own Name.app/Info.plist"_s, infoPlist}}));
        convert(path);
        QCOMPARE(entries(applications(), u"*"_s), QStringList{folder});
        QCOMPARE(m_engine->installedApps().first().bundleID, bundleID);
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
        QCOMPARE(entries(applications(), u"*"_s),
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
        QCOMPARE(entries(applications(), u"*"_s),
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
        QCOMPARE(pending.appName, u"Game"_s);
        QCOMPARE(pending.bundleID, u"com.example.game"_s);
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

    void reportsFailuresAndCleansUp_data() {
        QTest::addColumn<QByteArray>("archive"); // empty: no file at all
        QTest::addColumn<QString>("errorPart");
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
        QCOMPARE(entries(m_storage.path(), u"*"_s), QStringList{u"Applications"_s});
        QVERIFY(entries(applications(), u"*"_s).isEmpty());
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
        QCOMPARE(entries(applications(), u"*"_s), QStringList{u"com.example.game.app"_s});
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
        QVERIFY2(entries(apps, u"*"_s).isEmpty(), qPrintable(entries(apps, u"*"_s).join(u',')));
        QVERIFY(QFile::exists(archive));
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
        QCOMPARE(entries(downloads(), u"*"_s), QStringList{u"App.ipa"_s});
    }

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
        QTemporaryDir outside;
        const QString data = m_storage.filePath(u"Data/Application/"_s);
        for (const QString &folder : QStringList{outside.path(), m_storage.filePath(u"victim"_s),
                                                 m_storage.filePath(u"Data/Sibling"_s), data + u"C1"_s,
                                                 data + u"C2"_s, data + u"Other"_s})
            QVERIFY(makeContainer(folder));
        const QString app =
            installApp(u"com.a.b.app"_s, u"com.a.b"_s,
                       {u"C1"_s, u"../../victim"_s, outside.path(), u"../Sibling"_s, u".."_s, u"C2"_s});
        installApp(u"com.keep.app"_s, u"com.keep"_s);
        m_engine->scanInstalledApps();
        QCOMPARE(m_engine->installedApps().size(), 2);

        const QList<LocalApp> apps = m_engine->installedApps(); // the deletion replaces the list
        for (const LocalApp &installed : apps) {
            if (installed.bundleID == u"com.a.b"_s)
                m_engine->deleteInstalledApp(installed);
        }
        QVERIFY(!QFile::exists(app));
        QVERIFY(!QFile::exists(data + u"C1"_s) && !QFile::exists(data + u"C2"_s));
        for (const QString &kept :
             QStringList{outside.filePath(u"save.dat"_s), m_storage.filePath(u"victim/save.dat"_s),
                         m_storage.filePath(u"Data/Sibling/save.dat"_s), data + u"Other/save.dat"_s})
            QVERIFY2(QFile::exists(kept), qPrintable(kept));
        QCOMPARE(m_engine->installedApps().size(), 1);
        QCOMPARE(m_engine->installedApps().first().bundleID, u"com.keep"_s);
    }
};

KIVO_TEST_MAIN(TestInstallEngine)
#include "tst_installengine.moc"

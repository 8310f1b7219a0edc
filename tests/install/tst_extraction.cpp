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

#include <memory>

using namespace Qt::StringLiterals;
using AppBundleWriter::Format;
using InstallTest::Entries;

namespace {

QStringList temporaryFolders(const QString &folder) {
    return QDir(folder).entryList({u"Temp_*"_s}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QStringList appFolders(const QString &folder) {
    return QDir(folder).entryList({u"*.app"_s}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList convertErrors(const QStringList &lines) {
    return lines.filter(QRegularExpression(u"^Convert error: "_s));
}

} // namespace

class TestExtraction : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<DownloadManager> m_engine;
    std::unique_ptr<QTemporaryDir> m_storage;
    std::unique_ptr<QTemporaryDir> m_elsewhere;

    QString downloads() const { return m_engine->downloadFolder().toLocalFile(); }
    QString applications() const { return m_engine->applicationsFolder().toLocalFile(); }

    QUrl archiveInDownloads(const QString &name, const QString &bundleID, const QString &appName,
                            const QString &version) {
        const QString path = downloads() + u'/' + name;
        return InstallTest::writeAppIpa(path, bundleID, appName, version) ? QUrl::fromLocalFile(path)
                                                                          : QUrl();
    }

    void convert(const QUrl &url) { QCoro::waitFor(m_engine->convertIPA(url)); }

private Q_SLOTS:
    void initTestCase() { UrlOpener::shared().setForwardToDesktop(false); }

    void init() {
        QDir(StandardDirs::documents()).removeRecursively();
        QDir().mkpath(StandardDirs::documents());
        DefaultsStore().remove(DownloadManager::kCustomLiveContainerFolderKey);
        m_storage = std::make_unique<QTemporaryDir>();
        m_elsewhere = std::make_unique<QTemporaryDir>();
        QDir().mkpath(m_storage->filePath(u"Applications"_s));
        m_engine = std::make_unique<DownloadManager>();
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage->path()), true);
        QCOMPARE(applications(), m_storage->filePath(u"Applications"_s));
    }

    void cleanup() { m_engine.reset(); }

    void convertsAnArchiveFromTheDownloadsFolder() {
        const QUrl archive = archiveInDownloads(u"Game.ipa"_s, u"com.example.game"_s, u"Game"_s, u"1.2"_s);
        m_engine->refreshFileList();
        QVERIFY(m_engine->fileList().contains(archive));

        convert(archive);

        QCOMPARE(appFolders(applications()), QStringList{u"com.example.game.app"_s});
        QVERIFY(QFile::exists(applications() + u"/com.example.game.app/Info.plist"_s));
        QVERIFY(temporaryFolders(applications()).isEmpty());
        QVERIFY(!QFile::exists(archive.toLocalFile()));
        QVERIFY(!m_engine->fileList().contains(archive));
        QVERIFY(m_engine->extractingFiles().isEmpty());
        QVERIFY(!m_engine->pendingInstallation());

        QCOMPARE(m_engine->installedApps().size(), 1);
        const LocalApp app = m_engine->installedApps().first();
        QCOMPARE(app.name, u"Game"_s);
        QCOMPARE(app.bundleID, u"com.example.game"_s);
        QCOMPARE(app.version, std::optional<QString>(u"1.2"_s));
        QCOMPARE(app.iconURL->fileName(), u"AppIcon60x60@2x.png"_s);
        QCOMPARE(m_engine->installedFolderName(u"com.example.game"_s),
                 std::optional<QString>(u"com.example.game.app"_s));
    }

    void keepsAnArchiveConvertedElsewhere() {
        const QString path = m_elsewhere->filePath(u"Game.ipa"_s);
        QVERIFY(InstallTest::writeAppIpa(path, u"com.example.game"_s, u"Game"_s, u"1"_s));
        convert(QUrl::fromLocalFile(path));
        QVERIFY(QFile::exists(path));
        QCOMPARE(appFolders(applications()), QStringList{u"com.example.game.app"_s});
    }

    // A folder whose name only starts like the downloads folder is not inside it.
    void keepsAnArchiveInAFolderNamedLikeTheDownloadsFolder() {
        const QString sibling = downloads() + u"2"_s;
        QVERIFY(QDir().mkpath(sibling));
        const QString path = sibling + u"/Game.ipa"_s;
        QVERIFY(InstallTest::writeAppIpa(path, u"com.example.game"_s, u"Game"_s, u"1"_s));
        convert(QUrl::fromLocalFile(path));
        QVERIFY(QFile::exists(path));
        QDir(sibling).removeRecursively();
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
        InstallTest::StdoutCapture console;
        convert(QUrl::fromLocalFile(path));
        QVERIFY(convertErrors(console.lines()).isEmpty());
        QVERIFY(appFolders(applications()).isEmpty());
        QVERIFY(temporaryFolders(applications()).isEmpty());
        QVERIFY(m_engine->installedApps().isEmpty());
        QVERIFY(m_engine->extractingFiles().isEmpty());
        // The archive stays, and the refreshed list shows it.
        QVERIFY(m_engine->fileList().contains(QUrl::fromLocalFile(path)));
    }

    void namesTheFolderAfterTheBundleIdentifier_data() {
        QTest::addColumn<QByteArray>("infoPlist");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("bundleID");
        const auto plist = [](const QVariantMap &info, Format format) {
            return AppBundleWriter::plistBytes(info, format);
        };
        QTest::newRow("trimmed identifier")
            << plist({{u"CFBundleIdentifier"_s, u" com.a.b\n"_s}}, Format::Binary) << u"com.a.b.app"_s
            << u"com.a.b"_s;
        QTest::newRow("unreadable Info.plist") << QByteArray("garbage") << u"Own Name.app"_s << u"unknown"_s;
        QTest::newRow("identifier of another type")
            << plist({{u"CFBundleIdentifier"_s, 12}}, Format::Xml) << u"Own Name.app"_s << u"unknown"_s;
        QTest::newRow("blank identifier")
            << plist({{u"CFBundleIdentifier"_s, u"  "_s}}, Format::Xml) << u"Own Name.app"_s << u"unknown"_s;
    }

    void namesTheFolderAfterTheBundleIdentifier() {
        QFETCH(QByteArray, infoPlist);
        QFETCH(QString, folder);
        QFETCH(QString, bundleID);
        const QString path = m_elsewhere->filePath(u"x.ipa"_s);
        QVERIFY(InstallTest::writeIpa(path, {{u"Payload/Own Name.app/Info.plist"_s, infoPlist}}));
        convert(QUrl::fromLocalFile(path));
        QCOMPARE(appFolders(applications()), QStringList{folder});
        QCOMPARE(m_engine->installedApps().size(), 1);
        QCOMPARE(m_engine->installedApps().first().bundleID, bundleID);
    }

    void installsOnlyTheFirstAppInListingOrder() {
        Entries entries =
            InstallTest::appEntries(u"Beta.app"_s, AppBundleWriter::info(u"com.beta"_s, u"B"_s, u"1"_s));
        entries +=
            InstallTest::appEntries(u"Alpha.app"_s, AppBundleWriter::info(u"com.alpha"_s, u"A"_s, u"1"_s));
        const QString path = m_elsewhere->filePath(u"two.ipa"_s);
        QVERIFY(InstallTest::writeIpa(path, entries));

        // The order the file system lists the extracted Payload in, on the same file system.
        QTemporaryDir probe(applications() + u"/probe-XXXXXX"_s);
        ZipExtractor extractor;
        QVERIFY(extractor.extractAll(path, probe.path()));
        const QStringList listed =
            QDir(probe.filePath(u"Payload"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
        const QString expected = listed.first() == u"Alpha.app"_s ? u"com.alpha.app"_s : u"com.beta.app"_s;
        probe.remove();

        convert(QUrl::fromLocalFile(path));
        QCOMPARE(appFolders(applications()), QStringList{expected});
    }

    // Without a rescan between them both conversions pass the conflict test; the second takes
    // the next free name.
    void takesTheNextFreeNameForARepeatedIdentifier() {
        const QString first = m_elsewhere->filePath(u"one.ipa"_s);
        const QString second = m_elsewhere->filePath(u"two.ipa"_s);
        QVERIFY(InstallTest::writeAppIpa(first, u"com.a.b"_s, u"One"_s, u"1"_s));
        QVERIFY(InstallTest::writeAppIpa(second, u"com.a.b"_s, u"Two"_s, u"2"_s));
        QCOMPARE(QCoro::waitFor(m_engine->extractIPA(QUrl::fromLocalFile(first))), std::optional<QString>());
        QCOMPARE(QCoro::waitFor(m_engine->extractIPA(QUrl::fromLocalFile(second))), std::optional<QString>());
        QCOMPARE(appFolders(applications()), (QStringList{u"com.a.b.app"_s, u"com.a.b_1.app"_s}));
        QVERIFY(!m_engine->pendingInstallation());
    }

    void unknownIdentifiersNeverConflict() {
        const QString path = m_elsewhere->filePath(u"x.ipa"_s);
        QVERIFY(InstallTest::writeIpa(path, {{u"Payload/Tool.app/Info.plist"_s, "unreadable"}}));
        convert(QUrl::fromLocalFile(path));
        QCOMPARE(m_engine->installedApps().first().bundleID, u"unknown"_s);
        convert(QUrl::fromLocalFile(path));
        QVERIFY(!m_engine->pendingInstallation());
        QCOMPARE(appFolders(applications()), (QStringList{u"Tool.app"_s, u"Tool_1.app"_s}));
    }

    void leavesAConflictToTheUser() {
        convert(archiveInDownloads(u"v1.ipa"_s, u"com.example.game"_s, u"Game"_s, u"1.0"_s));
        QCOMPARE(m_engine->installedApps().size(), 1);
        const LocalApp installed = m_engine->installedApps().first();

        const QUrl update = archiveInDownloads(u"v2.ipa"_s, u"com.example.game"_s, u"Game Two"_s, u"2.0"_s);
        QSignalSpy pendingChanged(m_engine.get(), &DownloadManager::pendingInstallationChanged);
        convert(update);

        QCOMPARE(pendingChanged.size(), 1);
        QVERIFY(m_engine->pendingInstallation());
        const PendingInstallation pending = *m_engine->pendingInstallation();
        QVERIFY(!pending.id.isNull());
        QCOMPARE(pending.appName, u"Game"_s);
        QCOMPARE(pending.bundleID, u"com.example.game"_s);
        QCOMPARE(pending.sourceArchiveURL, update);
        QCOMPARE(pending.existingApp, std::optional<LocalApp>(installed));
        const QString payload = pending.tempPayloadURL.toLocalFile();
        QCOMPARE(QFileInfo(payload).fileName(), u"Payload"_s);
        QCOMPARE(QFileInfo(QFileInfo(payload).absolutePath()).absolutePath(), applications());
        QVERIFY(QFileInfo(payload).absolutePath().contains(u"/Temp_"_s));
        QCOMPARE(pending.extractedAppURL.toLocalFile(), payload + u"/Game Two.app"_s);
        const auto extracted = PropertyList::readDictionary(payload + u"/Game Two.app/Info.plist"_s);
        QCOMPARE(extracted->value(u"CFBundleShortVersionString"_s).toString(), u"2.0"_s);

        // Nothing is decided yet: the archive, the temporary folder and the installed app stay.
        QVERIFY(QFile::exists(update.toLocalFile()));
        QCOMPARE(temporaryFolders(applications()).size(), 1);
        QCOMPARE(appFolders(applications()), QStringList{u"com.example.game.app"_s});
        QCOMPARE(m_engine->installedVersion(u"com.example.game"_s), std::optional<QString>(u"1.0"_s));
        QVERIFY(m_engine->extractingFiles().isEmpty());
    }

    void reportsFailuresAndCleansUp_data() {
        QTest::addColumn<QByteArray>("archive"); // empty: no file at all
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("not a zip") << QByteArray("PK\x03\x04 this is not an archive") << QString();
        QTest::newRow("missing file") << QByteArray() << QString();
        ZipBuilder badCrc;
        ZipBuilder::Options wrong;
        wrong.crc32 = 0xdeadbeef;
        badCrc.addFile(u"Payload/Game.app/Info.plist"_s,
                       AppBundleWriter::plistBytes({{u"CFBundleIdentifier"_s, u"a"_s}}, Format::Xml), wrong);
        QTest::newRow("bad checksum") << badCrc.finish() << QString();
        ZipBuilder slash;
        slash.addFile(
            u"Payload/Game.app/Info.plist"_s,
            AppBundleWriter::plistBytes({{u"CFBundleIdentifier"_s, u"../../escape"_s}}, Format::Xml));
        QTest::newRow("identifier with a separator") << slash.finish() << u"../../escape"_s;
    }

    void reportsFailuresAndCleansUp() {
        QFETCH(QByteArray, archive);
        QFETCH(QString, errorPart);
        const QString path = downloads() + u"/bad.ipa"_s;
        if (!archive.isEmpty())
            QVERIFY(ZipBuilder::writeFile(path, archive));

        QStringList errors;
        {
            InstallTest::StdoutCapture console;
            convert(QUrl::fromLocalFile(path));
            errors = convertErrors(console.lines());
        }
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().size() > u"Convert error: "_s.size(), qPrintable(errors.first()));
        QVERIFY2(errors.first().contains(errorPart), qPrintable(errors.first()));
        QVERIFY(temporaryFolders(applications()).isEmpty());
        QVERIFY(appFolders(applications()).isEmpty());
        QVERIFY(QDir(m_storage->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size() <= 2);
        QVERIFY(!QFile::exists(m_storage->filePath(u"escape.app"_s)));
        QCOMPARE(QFile::exists(path), !archive.isEmpty());
        QVERIFY(m_engine->extractingFiles().isEmpty());
    }

    // Without a LiveContainer folder the downloads folder takes the apps.
    void installsIntoTheDownloadsFolderWithoutLiveContainer() {
        m_engine->resetCustomFolder(true);
        QCOMPARE(applications(), downloads());
        const QUrl archive = archiveInDownloads(u"Game.ipa"_s, u"com.example.game"_s, u"Game"_s, u"1"_s);
        convert(archive);
        QCOMPARE(appFolders(downloads()), QStringList{u"com.example.game.app"_s});
        QVERIFY(temporaryFolders(downloads()).isEmpty());
        QVERIFY(!QFile::exists(archive.toLocalFile()));
        QVERIFY(m_engine->fileList().isEmpty());
        QCOMPARE(m_engine->installedApps().size(), 1);
    }

    // The archive work waits for a worker thread while the main thread stays free; every change
    // of the engine's state still happens on the main thread.
    void worksOffTheMainThread() {
        const QUrl archive = archiveInDownloads(u"Game.ipa"_s, u"com.example.game"_s, u"Game"_s, u"1"_s);
        QThread *const mainThread = QThread::currentThread();
        QList<QThread *> changeThreads;
        const auto record = [&] {
            changeThreads.append(QThread::currentThread());
        };
        connect(m_engine.get(), &DownloadManager::extractingFilesChanged, this, record, Qt::DirectConnection);
        connect(m_engine.get(), &DownloadManager::installedAppsChanged, this, record, Qt::DirectConnection);
        connect(m_engine.get(), &DownloadManager::fileListChanged, this, record, Qt::DirectConnection);

        // Hold every worker: the conversion cannot progress until they are released.
        QThreadPool *pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        QSemaphore release;
        QSemaphore holding;
        for (int i = 0; i < threads; ++i)
            pool->start([&] {
                holding.release();
                release.acquire();
            });
        holding.acquire(threads);

        QCoro::Task<> conversion = m_engine->convertIPA(archive);
        QVERIFY(m_engine->extractingFiles().contains(archive));
        QTest::qWait(50); // the main thread keeps running events meanwhile
        QVERIFY(!conversion.isReady());
        QVERIFY(appFolders(applications()).isEmpty());

        release.release(threads);
        QCoro::waitFor(std::move(conversion));
        QCOMPARE(appFolders(applications()), QStringList{u"com.example.game.app"_s});
        QVERIFY(m_engine->extractingFiles().isEmpty());
        QVERIFY(changeThreads.size() >= 3);
        for (QThread *thread : changeThreads)
            QCOMPARE(thread, mainThread);
    }

    void importReplacesAndNeverLosesAFile() {
        const QString destination = downloads() + u"/App.ipa"_s;
        QVERIFY(ZipBuilder::writeFile(destination, "old"));
        const QString picked = m_elsewhere->filePath(u"App.ipa"_s);
        QVERIFY(ZipBuilder::writeFile(picked, "new"));

        QCoro::waitFor(m_engine->importFile(QUrl::fromLocalFile(picked)));
        QFile imported(destination);
        QVERIFY(imported.open(QIODevice::ReadOnly));
        QCOMPARE(imported.readAll(), QByteArray("new"));
        QCOMPARE(m_engine->fileList(), QList<QUrl>{QUrl::fromLocalFile(destination)});
        QVERIFY(QFile::exists(picked));

        // Importing the file onto itself keeps it.
        QCoro::waitFor(m_engine->importFile(QUrl::fromLocalFile(destination)));
        QVERIFY(QFile::exists(destination));

        // A failed import reports and leaves the file that was there.
        QStringList lines;
        {
            InstallTest::StdoutCapture console;
            QCoro::waitFor(
                m_engine->importFile(QUrl::fromLocalFile(m_elsewhere->filePath(u"App.ipa.missing"_s))));
            lines = console.lines();
        }
        QCOMPARE(lines.filter(QRegularExpression(u"^Import failed: .+"_s)).size(), 1);
        QVERIFY(QFile::exists(destination));
        QCOMPARE(QDir(downloads()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
};

KIVO_TEST_MAIN(TestExtraction)
#include "tst_extraction.moc"

#include "downloads/downloadmanager.h"
#include "failingfileoperations.h"
#include "install/installtestsupport.h"
#include "platform/defaultsstore.h"
#include "platform/propertylist.h"
#include "platform/standarddirs.h"
#include "platform/urlopener.h"
#include "services/notificationmanager.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <qcoro/qcorotask.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kBundleID = u"com.example.game"_s;
const QString kFolderName = u"com.example.game.app"_s;

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString &folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList containerNames(const QString &appInfoPath) {
    QStringList names;
    const auto info = PropertyList::readDictionary(appInfoPath);
    for (const QVariant &element : info ? info->value(u"LCContainers"_s).toList() : QVariantList())
        names.append(element.toMap().value(u"folderName"_s).toString());
    return names;
}

} // namespace

// The user's answer to a bundle-identifier conflict, from real archives to the files it leaves,
// and the whole road of an update through LiveContainer.
class TestInstallation : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_storage;
    std::unique_ptr<DownloadManager> m_engine;

    QString applications() const { return m_storage->filePath(u"Applications"_s); }
    QString containers() const { return m_storage->filePath(u"Data/Application"_s); }
    QString installedApp() const { return applications() + u'/' + kFolderName; }
    QString downloads() const { return m_engine->downloadFolder().toLocalFile(); }
    QString backups() const { return StandardDirs::applicationSupport() + u"/Backups"_s; }
    QString newArchive() const { return downloads() + u"/Game-2.ipa"_s; }

    std::optional<QString> installedVersion() const {
        const auto info = PropertyList::readDictionary(installedApp() + u"/Info.plist"_s);
        return info ? std::optional(info->value(u"CFBundleShortVersionString"_s).toString()) : std::nullopt;
    }

    bool convert(const QString &name, const QString &version) {
        const QString archive = downloads() + u'/' + name;
        if (!InstallTest::writeAppIpa(archive, kBundleID, u"Game"_s, version))
            return false;
        QCoro::waitFor(m_engine->convertIPA(QUrl::fromLocalFile(archive)));
        return true;
    }

    // Version 1 installed, version 2 waiting for the user's answer.
    void makeConflict() {
        QVERIFY(convert(u"Game.ipa"_s, u"1.0"_s));
        QCOMPARE(installedVersion(), std::optional<QString>(u"1.0"_s));
        QVERIFY(convert(u"Game-2.ipa"_s, u"2.0"_s));
        QVERIFY(m_engine->pendingInstallation());
    }

    // LiveContainer has run the app: it has data to keep.
    void configure() {
        QVERIFY(QDir().mkpath(containers() + u"/A"_s));
        const QVariantList list{QVariantMap{{u"folderName"_s, u"A"_s}}};
        QVERIFY(PropertyList::writeXml(installedApp() + u"/LCAppInfo.plist"_s, {{u"LCContainers"_s, list}}));
    }

    void resolve(InstallAction action) {
        m_engine->resolvePendingInstallation(action);
        // The conflict stays published while its work runs.
        QVERIFY(m_engine->pendingInstallation());
        QTRY_VERIFY_WITH_TIMEOUT(!m_engine->pendingInstallation(), 20000);
    }

    // No temporary folder is left in the applications folder.
    QStringList leftovers() const { return entries(applications()).filter(u"Temp_"_s); }

    // Runs the LiveContainer stand-in on the URL the engine opened.
    void launch(const QString &folderName) {
        QSignalSpy opened(&UrlOpener::shared(), &UrlOpener::urlOpened);
        QVERIFY(m_engine->launchApp(folderName));
        QCOMPARE(opened.size(), 1);
        QProcess liveContainer;
        liveContainer.start(QString::fromUtf8(KIVO_LIVECONTAINER_STANDIN),
                            {u"--storage"_s, m_storage->path(), opened.first().first().toUrl().toString()});
        QVERIFY(liveContainer.waitForFinished(30000));
        QCOMPARE(liveContainer.exitCode(), 0);
    }

private Q_SLOTS:
    void initTestCase() {
        UrlOpener::shared().setForwardToDesktop(false);
        NotificationManager::shared().setAppInForeground(true);
        NotificationManager::shared().setBannerDuration(std::chrono::seconds(30));
    }

    void init() {
        QDir(StandardDirs::documents()).removeRecursively();
        QDir().mkpath(StandardDirs::documents());
        QDir(backups()).removeRecursively();
        DefaultsStore().remove(DownloadManager::kPendingBackupsKey);
        m_storage = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(applications()));
        QVERIFY(QDir().mkpath(containers()));
        m_engine = std::make_unique<DownloadManager>();
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage->path()), true);
    }

    void cleanup() {
        m_engine.reset();
        QFile::remove(backups());
    }

    void carriesOutTheAnswer_data() {
        QTest::addColumn<InstallAction>("action");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QStringList>("apps");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("archiveKept");
        QTest::newRow("install separately")
            << InstallAction::installSeparate << false
            << QStringList{u"com.example.game.app"_s, u"com.example.game_1.app"_s} << u"1.0"_s << false;
        QTest::newRow("cancel") << InstallAction::cancel << true << QStringList{kFolderName} << u"1.0"_s
                                << true;
        QTest::newRow("update an app never run")
            << InstallAction::updateExisting << false << QStringList{kFolderName} << u"2.0"_s << false;
        QTest::newRow("update a configured app")
            << InstallAction::updateExisting << true << QStringList{kFolderName} << u"2.0"_s << false;
    }

    void carriesOutTheAnswer() {
        QFETCH(InstallAction, action);
        QFETCH(bool, configured);
        QFETCH(QStringList, apps);
        QFETCH(QString, version);
        QFETCH(bool, archiveKept);
        makeConflict();
        if (configured)
            configure();
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const QUrl archive = QUrl::fromLocalFile(newArchive());
        QCOMPARE(m_engine->extractingFiles(), QSet<QUrl>());

        {
            InstallTest::StdoutCapture console;
            // A second answer to the same question changes nothing.
            m_engine->resolvePendingInstallation(action);
            resolve(action);
            QCOMPARE(console.lines(), QStringList());
        }
        QCOMPARE(entries(applications()), apps);
        QCOMPARE(installedVersion(), std::optional(version));
        QCOMPARE(QFile::exists(newArchive()), archiveKept);
        QCOMPARE(m_engine->fileList().contains(archive), archiveKept);
        QCOMPARE(m_engine->installedApps().size(), apps.size());

        const bool backedUp = configured && action == InstallAction::updateExisting;
        QCOMPARE(m_engine->pendingBackups().size(), backedUp ? 1 : 0);
        QCOMPARE(entries(backups()).size(), backedUp ? 1 : 0);
        if (backedUp) {
            const AppBackup backup = m_engine->pendingBackups().first();
            QCOMPARE(backup.bundleID, kBundleID);
            QCOMPARE(backup.appName, u"Game"_s);
            QCOMPARE(backup.version, std::optional<QString>(u"1.0"_s));
            QCOMPARE(backup.originalInstallPath, kFolderName);
            QVERIFY(backup.hadLCAppInfo);
            QVERIFY(backup.date >= before.addMSecs(-1) && backup.date <= QDateTime::currentDateTimeUtc());
            QCOMPARE(entries(backups()), QStringList{backup.backupPath});
            QCOMPARE(backup.backupPath.size(), 36);
            QCOMPARE(backup.backupPath, backup.backupPath.toUpper());
            const QString saved = backups() + u'/' + backup.backupPath + u'/' + kFolderName;
            QVERIFY(QFile::exists(saved + u"/LCAppInfo.plist"_s));
            QCOMPARE(PropertyList::readDictionary(saved + u"/Info.plist"_s)
                         ->value(u"CFBundleShortVersionString"_s),
                     QVariant(u"1.0"_s));
            // Stored, as the next start finds it.
            m_engine = std::make_unique<DownloadManager>();
            QCOMPARE(m_engine->pendingBackups(), QList<AppBackup>{backup});
        }
    }

    // Each fault leaves the installed version whole, records no backup and keeps the archive.
    void failedActionsLoseNothing_data() {
        QTest::addColumn<InstallAction>("action");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("fault");
        QTest::newRow("separate: new app gone")
            << InstallAction::installSeparate << false << u"extracted app gone"_s;
        QTest::newRow("never run: moving beside fails")
            << InstallAction::updateExisting << false << u"extracted app gone"_s;
        QTest::newRow("never run: the swap fails") << InstallAction::updateExisting << false << u"swap"_s;
        QTest::newRow("configured: backup folder blocked")
            << InstallAction::updateExisting << true << u"file for backups folder"_s;
        QTest::newRow("configured: moving into the backup fails")
            << InstallAction::updateExisting << true << u"backup move"_s;
    }

    void failedActionsLoseNothing() {
        QFETCH(InstallAction, action);
        QFETCH(bool, configured);
        QFETCH(QString, fault);
        makeConflict();
        if (configured)
            configure();
        const auto files = std::make_shared<FailingFileOperations>();
        m_engine->setFileOperations(files);
        if (fault == u"extracted app gone"_s) {
            QVERIFY(QDir(m_engine->pendingInstallation()->extractedAppURL.toLocalFile()).removeRecursively());
        } else if (fault == u"swap"_s) {
            // No atomic exchange, and the new app cannot take the old one's place once it is aside.
            files->failsExchange = true;
            const QString old = installedApp();
            // The first move onto the old place is the new app's; the second puts the old one back.
            auto movesOntoOld = std::make_shared<int>(0);
            files->failsMove = [old, movesOntoOld](const QString &, const QString &to) {
                return to == old && ++*movesOntoOld == 1;
            };
        } else if (fault == u"file for backups folder"_s) {
            QVERIFY(QDir(backups()).removeRecursively());
            QVERIFY(writeFile(backups(), "in the way"));
        } else {
            files->failsMove = [](const QString &, const QString &to) {
                return to.contains(u"/Backups/"_s);
            };
        }

        QStringList lines;
        {
            InstallTest::StdoutCapture console;
            resolve(action);
            lines = console.lines();
        }
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(u"Finalize install error: "_s), qPrintable(lines.first()));
        QCOMPARE(entries(applications()), QStringList{kFolderName});
        QCOMPARE(installedVersion(), std::optional<QString>(u"1.0"_s));
        QCOMPARE(QFile::exists(installedApp() + u"/LCAppInfo.plist"_s), configured);
        QCOMPARE(QFile::exists(installedApp() + u"/executable"_s), true);
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QVERIFY(entries(backups()).isEmpty());
        QVERIFY(QFile::exists(newArchive()));
        QVERIFY(leftovers().isEmpty());
    }

    // The record is saved before the new version moves in; when that move fails the previous
    // version is restorable from its backup.
    void failedFinalMoveLeavesARestorableBackup() {
        makeConflict();
        configure();
        const auto files = std::make_shared<FailingFileOperations>();
        const QString old = installedApp();
        files->failsMove = [old](const QString &from, const QString &to) {
            return to == old && from.contains(u"/Temp_"_s);
        };
        m_engine->setFileOperations(files);
        {
            InstallTest::StdoutCapture console;
            resolve(InstallAction::updateExisting);
            QCOMPARE(console.lines().size(), 1);
        }
        QVERIFY(QFile::exists(newArchive()));
        QCOMPARE(m_engine->pendingBackups().size(), 1);
        QVERIFY(m_engine->installedApps().isEmpty());

        m_engine->restoreBackup(m_engine->pendingBackups().first());
        QCOMPARE(installedVersion(), std::optional<QString>(u"1.0"_s));
        QCOMPARE(containerNames(installedApp() + u"/LCAppInfo.plist"_s), QStringList{u"A"_s});
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QVERIFY(leftovers().isEmpty());
    }

    // LiveContainer's folder on another file system than the backups: moves become copies.
    void updatesAcrossFileSystems() {
        if (!QFileInfo(u"/dev/shm"_s).isDir())
            QSKIP("No second file system (/dev/shm) to test with");
        m_storage = std::make_unique<QTemporaryDir>(u"/dev/shm/kivo-test-XXXXXX"_s);
        QVERIFY(QDir().mkpath(applications()));
        QVERIFY(QDir().mkpath(containers()));
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage->path()), true);
        makeConflict();
        configure();
        QVERIFY(QFile::link(u"executable"_s, installedApp() + u"/link"_s));

        resolve(InstallAction::updateExisting);
        QCOMPARE(installedVersion(), std::optional<QString>(u"2.0"_s));
        QCOMPARE(m_engine->pendingBackups().size(), 1);
        const AppBackup backup = m_engine->pendingBackups().first();
        const QString saved = backups() + u'/' + backup.backupPath + u'/' + kFolderName;
        QCOMPARE(QFileInfo(saved + u"/link"_s).symLinkTarget(), saved + u"/executable"_s);
        QCOMPARE(readFile(saved + u"/executable"_s), QByteArray(4096, 'x'));
        QVERIFY(leftovers().isEmpty());

        m_engine->restoreBackup(backup);
        QCOMPARE(installedVersion(), std::optional<QString>(u"1.0"_s));
        QCOMPARE(containerNames(installedApp() + u"/LCAppInfo.plist"_s), QStringList{u"A"_s});
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QVERIFY(leftovers().isEmpty());
    }

    // Install, run, update, run the new version: the user's data lives on in the new version.
    void updateKeepsTheUserDataThroughLiveContainer() {
        QSignalSpy banners(&NotificationManager::shared(), &NotificationManager::currentNotificationChanged);
        QVERIFY(convert(u"Game.ipa"_s, u"1.0"_s));
        launch(kFolderName);
        const QString appInfo = installedApp() + u"/LCAppInfo.plist"_s;
        const QStringList firstContainers = containerNames(appInfo);
        QCOMPARE(firstContainers.size(), 1);
        const QString userData = containers() + u'/' + firstContainers.first() + u"/Documents/save.dat"_s;
        QVERIFY(writeFile(userData, "level 42"));

        QVERIFY(convert(u"Game-2.ipa"_s, u"2.0"_s));
        QVERIFY(m_engine->pendingInstallation());
        resolve(InstallAction::updateExisting);
        QCOMPARE(m_engine->pendingBackups().size(), 1);
        const AppBackup backup = m_engine->pendingBackups().last();
        QCOMPARE(installedVersion(), std::optional<QString>(u"2.0"_s));
        QVERIFY(!m_engine->hasLCAppInfo(kBundleID));
        QVERIFY(!m_engine->checkUpdate(backup));

        // LiveContainer writes the new file when it runs the new version, later than the backup
        // by more than the second the check asks for.
        QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentDateTimeUtc() > backup.date.addMSecs(1100), 5000);
        launch(kFolderName);
        const QStringList secondContainers = containerNames(appInfo);
        QCOMPARE(secondContainers.size(), 1);
        QVERIFY(secondContainers != firstContainers);
        QVERIFY(QFileInfo::exists(containers() + u'/' + secondContainers.first()));

        QVERIFY(m_engine->checkUpdate(backup));
        QCOMPARE(containerNames(appInfo), firstContainers);
        QVERIFY(!QFileInfo::exists(containers() + u'/' + secondContainers.first()));
        QCOMPARE(readFile(userData), QByteArray("level 42"));
        QVERIFY(entries(backups()).isEmpty());
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QCOMPARE(DefaultsStore().bytes(DownloadManager::kPendingBackupsKey), QByteArray("[]"));
        QTRY_VERIFY(NotificationManager::shared().currentNotification());
        QCOMPARE(NotificationManager::shared().currentNotification()->title, u"Update Completed"_s);
        QCOMPARE(NotificationManager::shared().currentNotification()->message,
                 u"Game has been successfully updated."_s);

        // The next run of the updated app finds its old container.
        launch(kFolderName);
        QCOMPARE(containerNames(appInfo), firstContainers);
        QCOMPARE(readFile(userData), QByteArray("level 42"));
    }
};

KIVO_TEST_MAIN(TestInstallation)
#include "tst_installation.moc"

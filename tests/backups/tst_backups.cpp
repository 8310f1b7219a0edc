#include "downloads/appbackupcoding.h"
#include "downloads/downloadmanager.h"
#include "downloads/livecontainer.h"
#include "failingfileoperations.h"
#include "install/appbundlewriter.h"
#include "install/installtestsupport.h"
#include "platform/defaultsstore.h"
#include "platform/propertylist.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"
#include "services/notificationmanager.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kBundleID = u"com.example.game"_s;
const QString kFolderName = u"com.example.game.app"_s;

QVariantMap appInfo(const QStringList &containers, const QVariantMap &extra = {}) {
    QVariantList list;
    for (const QString &name : containers)
        list.append(QVariantMap{{u"folderName"_s, name}, {u"name"_s, u"Default"_s}});
    QVariantMap info = extra;
    info.insert(u"LCContainers"_s, list);
    return info;
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList containerNames(const QString &appInfoPath) {
    QStringList names;
    const auto info = PropertyList::readDictionary(appInfoPath);
    for (const QVariant &element : info ? info->value(u"LCContainers"_s).toList() : QVariantList())
        names.append(element.toMap().value(u"folderName"_s).toString());
    return names;
}

} // namespace

// Update backups with hand-made app folders: the stored records, the check that waits for
// LiveContainer, carrying the user's data over, restoring and deleting.
class TestBackups : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_storage;
    std::unique_ptr<DownloadManager> m_engine;

    QString applications() const { return m_storage->filePath(u"Applications"_s); }
    QString containers() const { return m_storage->filePath(u"Data/Application"_s); }
    QString installedApp() const { return applications() + u'/' + kFolderName; }
    QString newAppInfo() const { return installedApp() + u"/LCAppInfo.plist"_s; }
    QString backupFolder(const AppBackup &backup) const {
        return m_engine->backupsFolder().toLocalFile() + u'/' + backup.backupPath;
    }
    QString oldAppInfo(const AppBackup &backup) const {
        return backupFolder(backup) + u'/' + kFolderName + u"/LCAppInfo.plist"_s;
    }

    // A new engine that finds these records stored, as at the next start.
    void restart(const QList<AppBackup> &stored) {
        m_engine.reset();
        DefaultsStore().setBytes(DownloadManager::kPendingBackupsKey, AppBackupCoding::encode(stored));
        m_engine = std::make_unique<DownloadManager>();
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage->path()), true);
    }

    // The previous version in a backup folder, with its "LCAppInfo.plist" naming the containers;
    // each container holds the user's save file.
    AppBackup makeBackup(const QStringList &oldContainers, const QDateTime &date) {
        AppBackup backup;
        backup.bundleID = kBundleID;
        backup.appName = u"Game"_s;
        backup.version = u"1.0"_s;
        backup.backupPath = newUuidString();
        backup.originalInstallPath = kFolderName;
        backup.date = date;
        backup.hadLCAppInfo = true;
        const QString saved =
            m_engine->backupsFolder().toLocalFile() + u'/' + backup.backupPath + u'/' + kFolderName;
        if (!AppBundleWriter::writeApp(saved, AppBundleWriter::info(kBundleID, u"Game"_s, u"1.0"_s)) ||
            !PropertyList::writeXml(saved + u"/LCAppInfo.plist"_s,
                                    appInfo(oldContainers, {{u"LCDataUUID"_s, u"old"_s}})))
            return {};
        for (const QString &name : oldContainers) {
            if (!QDir().mkpath(containers() + u'/' + name) ||
                !writeFile(containers() + u'/' + name + u"/save.dat"_s, "level 42"))
                return {};
        }
        return backup;
    }

    // The new version, installed; LiveContainer has run it when containers are given.
    bool installNewVersion(const std::optional<QVariantMap> &lcAppInfo) {
        if (!AppBundleWriter::writeApp(installedApp(), AppBundleWriter::info(kBundleID, u"Game"_s, u"2.0"_s)))
            return false;
        if (!lcAppInfo)
            return true;
        for (const QString &name : LiveContainer::dataContainerNames(*lcAppInfo))
            QDir().mkpath(containers() + u'/' + name);
        return PropertyList::writeXml(newAppInfo(), *lcAppInfo);
    }

    // A backup made well before LiveContainer ran the new version.
    AppBackup configuredUpdate(const QStringList &oldContainers, const QVariantMap &newInfo) {
        const AppBackup backup = makeBackup(oldContainers, QDateTime::currentDateTimeUtc().addSecs(-60));
        if (!installNewVersion(newInfo))
            return {};
        restart({backup});
        return backup;
    }

private Q_SLOTS:
    void initTestCase() {
        NotificationManager::shared().setAppInForeground(true);
        NotificationManager::shared().setBannerDuration(std::chrono::milliseconds(20));
    }

    void init() {
        m_storage = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(applications()));
        QVERIFY(QDir().mkpath(containers()));
        restart({});
    }

    void cleanup() {
        m_engine.reset();
        QDir(StandardDirs::applicationSupport() + u"/Backups"_s).removeRecursively();
        NotificationManager::shared().setAppInForeground(true);
        // No banner of one test may show up in the next; a requested one is still queued.
        QCoreApplication::sendPostedEvents();
        QTRY_VERIFY(!NotificationManager::shared().currentNotification());
    }

    void storedFormRoundTrips_data() {
        QTest::addColumn<std::optional<QString>>("version");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QByteArray>("dateText");
        QTest::newRow("with version")
            << std::optional<QString>(u"1.2 \"beta\""_s)
            << QDateTime(QDate(2001, 1, 1), QTime(0, 0, 1, 500), Qt::UTC) << QByteArray("\"date\":1.5,");
        QTest::newRow("without version")
            << std::optional<QString>() << QDateTime(QDate(2026, 12, 5), QTime(17, 0), Qt::UTC)
            << QByteArray("\"date\":818182800,");
        QTest::newRow("before the reference date")
            << std::optional<QString>() << QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59, 750), Qt::UTC)
            << QByteArray("\"date\":-0.25,");
    }

    void storedFormRoundTrips() {
        QFETCH(std::optional<QString>, version);
        QFETCH(QDateTime, date);
        QFETCH(QByteArray, dateText);
        AppBackup backup;
        backup.bundleID = kBundleID;
        backup.appName = u"Gäme"_s;
        backup.version = version;
        backup.backupPath = u"0F6C58D5-55A2-4C2B-9C54-0D4A1B1E2F30"_s;
        backup.originalInstallPath = kFolderName;
        backup.date = date;
        backup.hadLCAppInfo = true;

        const QByteArray json = AppBackupCoding::encode({backup, backup});
        QVERIFY(json.contains(dateText));
        QCOMPARE(json.contains("\"version\""), version.has_value());
        QVERIFY(json.startsWith("[{\"bundleID\":\"com.example.game\",\"appName\":"));
        QVERIFY(json.endsWith("\"hadLCAppInfo\":true}]"));
        const auto decoded = AppBackupCoding::decode(json);
        QVERIFY(decoded);
        QCOMPARE(*decoded, (QList<AppBackup>{backup, backup}));
    }

    void storedFormRejectsBrokenLists_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        const QByteArray fields =
            R"("appName":"Game","backupPath":"B","originalInstallPath":"A.app","hadLCAppInfo":true)";
        QTest::newRow("null version is absent")
            << R"([{"bundleID":"a",)" + fields + R"(,"date":3,"version":null}])" << true;
        QTest::newRow("missing date") << R"([{"bundleID":"a",)" + fields + "}]" << false;
        QTest::newRow("version as number")
            << R"([{"bundleID":"a",)" + fields + R"(,"date":3,"version":2}])" << false;
        QTest::newRow("one bad record spoils the list")
            << R"([{"bundleID":"a",)" + fields + R"(,"date":3},{"bundleID":1}])" << false;
        QTest::newRow("not JSON") << QByteArray("[{") << false;
    }

    void storedFormRejectsBrokenLists() {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const auto decoded = AppBackupCoding::decode(json);
        QCOMPARE(decoded.has_value(), decodes);
        if (json.contains("null"))
            QVERIFY(!decoded->first().version);
    }

    // Unreadable stored data leaves the list empty and the engine working.
    void unreadableStoredBackupsAreDropped() {
        m_engine.reset();
        DefaultsStore().setBytes(DownloadManager::kPendingBackupsKey, "[{\"bundleID\":");
        m_engine = std::make_unique<DownloadManager>();
        QVERIFY(m_engine->pendingBackups().isEmpty());
    }

    void checkWaitsForLiveContainerToRunTheNewVersion_data() {
        QTest::addColumn<std::optional<QVariantMap>>("newInfo");
        QTest::addColumn<QByteArray>("rawFile");
        QTest::addColumn<bool>("installed");
        QTest::newRow("app not installed") << std::optional<QVariantMap>() << QByteArray() << false;
        QTest::newRow("not yet run") << std::optional<QVariantMap>() << QByteArray() << true;
        QTest::newRow("no containers")
            << std::optional(QVariantMap{{u"LCDataUUID"_s, u"x"_s}}) << QByteArray() << true;
        QTest::newRow("empty container list") << std::optional(appInfo({})) << QByteArray() << true;
        QTest::newRow("unparsable file") << std::optional<QVariantMap>() << QByteArray("not a plist") << true;
    }

    void checkWaitsForLiveContainerToRunTheNewVersion() {
        QFETCH(std::optional<QVariantMap>, newInfo);
        QFETCH(QByteArray, rawFile);
        QFETCH(bool, installed);
        const AppBackup backup = makeBackup({u"A"_s}, QDateTime::currentDateTimeUtc().addSecs(-60));
        if (installed)
            QVERIFY(installNewVersion(newInfo));
        if (!rawFile.isEmpty())
            QVERIFY(writeFile(newAppInfo(), rawFile));
        restart({backup});

        QVERIFY(!m_engine->checkUpdate(backup));
        QCOMPARE(m_engine->pendingBackups(), QList<AppBackup>{backup});
        QVERIFY(QFile::exists(oldAppInfo(backup)));
    }

    // The file's creation date must be at least one second after the backup's.
    void checkUsesTheOneSecondRule_data() {
        QTest::addColumn<int>("backupBeforeFileMs");
        QTest::addColumn<bool>("settled");
        QTest::newRow("half a second") << 500 << false;
        QTest::newRow("just under a second") << 999 << false;
        QTest::newRow("exactly one second") << 1000 << true;
        QTest::newRow("a minute") << 60000 << true;
    }

    void checkUsesTheOneSecondRule() {
        QFETCH(int, backupBeforeFileMs);
        QFETCH(bool, settled);
        QVERIFY(installNewVersion(appInfo({u"B"_s})));
        const auto created = FileOperations::creationDate(newAppInfo());
        QVERIFY(created);
        const AppBackup backup = makeBackup({u"A"_s}, created->addMSecs(-backupBeforeFileMs));
        restart({backup});

        QCOMPARE(m_engine->checkUpdate(backup), settled);
        QCOMPARE(m_engine->pendingBackups().isEmpty(), settled);
        QCOMPARE(containerNames(newAppInfo()), settled ? QStringList{u"A"_s} : QStringList{u"B"_s});
    }

    void finalisingCarriesTheUserDataOver_data() {
        QTest::addColumn<bool>("foreground");
        QTest::newRow("window active: banner") << true;
        QTest::newRow("window inactive: system notification") << false;
    }

    void finalisingCarriesTheUserDataOver() {
        QFETCH(bool, foreground);
        NotificationManager &notifications = NotificationManager::shared();
        notifications.setAppInForeground(foreground);
        QSignalSpy banners(&notifications, &NotificationManager::currentNotificationChanged);
        QSignalSpy systemNotifications(&notifications, &NotificationManager::systemNotificationSent);

        const AppBackup backup =
            configuredUpdate({u"A"_s}, appInfo({u"B"_s}, {{u"LCDataUUID"_s, u"new"_s}, {u"LCNewKey"_s, 7}}));
        QSignalSpy saved(m_engine.get(), &DownloadManager::pendingBackupsChanged);
        QVERIFY(m_engine->checkUpdate(backup));

        // Old keys over new ones, new-only keys kept, written as XML.
        QVERIFY(readFile(newAppInfo()).startsWith("<?xml"));
        const auto patched = PropertyList::readDictionary(newAppInfo());
        QVERIFY(patched);
        QCOMPARE(containerNames(newAppInfo()), QStringList{u"A"_s});
        QCOMPARE(patched->value(u"LCDataUUID"_s), QVariant(u"old"_s));
        QCOMPARE(patched->value(u"LCNewKey"_s).toLongLong(), 7);
        // The throw-away container goes; the user's data stays.
        QVERIFY(!QFileInfo::exists(containers() + u"/B"_s));
        QCOMPARE(readFile(containers() + u"/A/save.dat"_s), QByteArray("level 42"));
        // The backup and its record are gone, also from the stored list.
        QVERIFY(!QFileInfo::exists(backupFolder(backup)));
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QCOMPARE(saved.size(), 1);
        QCOMPARE(DefaultsStore().bytes(DownloadManager::kPendingBackupsKey), QByteArray("[]"));

        // Announced one way, never both.
        const QString message = u"Game has been successfully updated."_s;
        if (foreground) {
            QTRY_VERIFY(notifications.currentNotification().has_value());
            QCOMPARE(notifications.currentNotification()->title, u"Update Completed"_s);
            QCOMPARE(notifications.currentNotification()->message, message);
            QCOMPARE(notifications.currentNotification()->type, NotificationType::success);
            QVERIFY(systemNotifications.isEmpty());
        } else {
            QCOMPARE(systemNotifications.size(), 1);
            QCOMPARE(systemNotifications.first(), (QVariantList{u"Update Completed"_s, message}));
            QTest::qWait(50);
            QVERIFY(banners.isEmpty());
        }
    }

    // A container the old file names is the user's, even when the new file names it too.
    void finalisingNeverRemovesTheUserContainer() {
        const AppBackup backup = configuredUpdate({u"A"_s}, appInfo({u"A"_s, u"B"_s}));
        QVERIFY(m_engine->checkUpdate(backup));
        QCOMPARE(readFile(containers() + u"/A/save.dat"_s), QByteArray("level 42"));
        QVERIFY(!QFileInfo::exists(containers() + u"/B"_s));
    }

    // Finalising that fails keeps the backup while it holds data to carry over.
    void failedFinalisationKeepsTheBackup_data() {
        QTest::addColumn<QStringList>("oldContainers");
        QTest::addColumn<bool>("unparsableNewFile");
        QTest::addColumn<bool>("keptBackup");
        QTest::newRow("unwritable new file") << QStringList{u"A"_s} << false << true;
        QTest::newRow("unparsable new file") << QStringList{u"A"_s} << true << true;
        QTest::newRow("nothing to carry over") << QStringList() << false << false;
    }

    void failedFinalisationKeepsTheBackup() {
        QFETCH(QStringList, oldContainers);
        QFETCH(bool, unparsableNewFile);
        QFETCH(bool, keptBackup);
        const AppBackup backup = configuredUpdate(oldContainers, appInfo({u"B"_s}));
        const auto files = std::make_shared<FailingFileOperations>();
        files->failsWrite = true;
        m_engine->setFileOperations(files);
        QSignalSpy systemNotifications(&NotificationManager::shared(),
                                       &NotificationManager::systemNotificationSent);
        QSignalSpy banners(&NotificationManager::shared(), &NotificationManager::currentNotificationChanged);

        // The check passes (it reads the file first), the patch cannot be made.
        if (unparsableNewFile) {
            QVERIFY(m_engine->finalizeUpdate(backup) == !keptBackup);
            QVERIFY(writeFile(newAppInfo(), "garbage"));
            QVERIFY(m_engine->finalizeUpdate(backup) == !keptBackup);
        } else {
            QCOMPARE(m_engine->checkUpdate(backup), !keptBackup);
        }
        QCOMPARE(m_engine->pendingBackups().size(), keptBackup ? 1 : 0);
        QCOMPARE(QFileInfo::exists(backupFolder(backup)), keptBackup);
        // Nothing was removed before the file named the old containers.
        QVERIFY(QFileInfo::exists(containers() + u"/B"_s));
        for (const QString &name : oldContainers)
            QCOMPARE(readFile(containers() + u'/' + name + u"/save.dat"_s), QByteArray("level 42"));
        QTest::qWait(50);
        QVERIFY(banners.isEmpty());
        QVERIFY(systemNotifications.isEmpty());

        if (keptBackup) {
            // The retry after the fault is gone completes the update.
            m_engine->setFileOperations(std::make_shared<FileOperations>());
            QVERIFY(installNewVersion(appInfo({u"B"_s})));
            QVERIFY(m_engine->finalizeUpdate(backup));
            QCOMPARE(containerNames(newAppInfo()), oldContainers);
            QVERIFY(m_engine->pendingBackups().isEmpty());
        }
    }

    // Nothing to carry over: the backup goes and the new file stays as LiveContainer wrote it.
    void settlesWithoutPatching_data() {
        QTest::addColumn<bool>("oldFileMissing");
        QTest::newRow("old file missing") << true;
        QTest::newRow("no previous metadata") << false;
    }

    void settlesWithoutPatching() {
        QFETCH(bool, oldFileMissing);
        AppBackup backup = configuredUpdate({u"A"_s}, appInfo({u"B"_s}));
        if (oldFileMissing)
            QVERIFY(QFile::remove(oldAppInfo(backup)));
        backup.hadLCAppInfo = oldFileMissing;
        restart({backup});
        QVERIFY(m_engine->checkUpdate(backup));
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QVERIFY(!QFileInfo::exists(backupFolder(backup)));
        QCOMPARE(containerNames(newAppInfo()), QStringList{u"B"_s});
        QVERIFY(QFileInfo::exists(containers() + u"/B"_s));
    }

    void restorePutsThePreviousVersionBack() {
        const AppBackup backup = configuredUpdate({u"A"_s}, appInfo({u"B"_s}));
        m_engine->scanInstalledApps();
        QCOMPARE(m_engine->installedVersion(kBundleID), std::optional<QString>(u"2.0"_s));

        m_engine->restoreBackup(backup);
        QCOMPARE(m_engine->installedVersion(kBundleID), std::optional<QString>(u"1.0"_s));
        QCOMPARE(containerNames(newAppInfo()), QStringList{u"A"_s});
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QVERIFY(!QFileInfo::exists(backupFolder(backup)));
        // The new version's containers stay where LiveContainer made them.
        QVERIFY(QFileInfo::exists(containers() + u"/B"_s));
    }

    void failedRestoreKeepsBothVersions() {
        const AppBackup backup = configuredUpdate({u"A"_s}, appInfo({u"B"_s}));
        const auto files = std::make_shared<FailingFileOperations>();
        files->failsExchange = true;
        files->failsMove = [](const QString &from, const QString &) {
            return from.contains(u"/Backups/"_s);
        };
        m_engine->setFileOperations(files);
        {
            InstallTest::StdoutCapture console;
            m_engine->restoreBackup(backup);
            QCOMPARE(console.lines(), QStringList{u"Restore failed: Injected failure"_s});
        }
        m_engine->scanInstalledApps();
        QCOMPARE(m_engine->installedVersion(kBundleID), std::optional<QString>(u"2.0"_s));
        QVERIFY(QFileInfo::exists(oldAppInfo(backup)));
        QCOMPARE(m_engine->pendingBackups(), QList<AppBackup>{backup});
    }

    void deletingRemovesTheOldContainersOnlyInsideTheirFolder() {
        const AppBackup backup = configuredUpdate({u"A"_s}, appInfo({u"B"_s}));
        // A metadata file that came inside an archive names folders outside the containers.
        QVERIFY(QDir().mkpath(m_storage->filePath(u"Keep"_s)));
        QVERIFY(PropertyList::writeXml(oldAppInfo(backup), appInfo({u"A"_s, u"../../Keep"_s, u".."_s})));

        InstallTest::StdoutCapture console;
        m_engine->deleteBackup(backup, true);
        QCOMPARE(console.lines(), QStringList{u"Deleted backup container: A"_s});
        QVERIFY(!QFileInfo::exists(containers() + u"/A"_s));
        QVERIFY(QFileInfo::exists(containers() + u"/B"_s));
        QVERIFY(QFileInfo::exists(m_storage->filePath(u"Keep"_s)));
        QVERIFY(!QFileInfo::exists(backupFolder(backup)));
        QVERIFY(m_engine->pendingBackups().isEmpty());
    }

    void deletingTakesTheFirstRecordOfTheApp() {
        const AppBackup first = makeBackup({u"A"_s}, QDateTime::currentDateTimeUtc().addSecs(-10));
        const AppBackup second = makeBackup({u"C"_s}, QDateTime::currentDateTimeUtc());
        AppBackup other = second;
        other.bundleID = u"com.example.other"_s;
        restart({other, first, second});

        m_engine->deleteBackup(second, false);
        QCOMPARE(m_engine->pendingBackups(), (QList<AppBackup>{other, second}));
        QVERIFY(!QFileInfo::exists(backupFolder(second)));
        QVERIFY(QFileInfo::exists(backupFolder(first)));
        // Containers are the user's data: kept unless asked.
        QVERIFY(QFileInfo::exists(containers() + u"/C/save.dat"_s));
    }

    // A record read back from the settings names a folder inside the backups folder only.
    void recordsCannotReachOutsideTheBackupsFolder() {
        AppBackup backup = makeBackup({u"A"_s}, QDateTime::currentDateTimeUtc());
        const QString backups = m_engine->backupsFolder().toLocalFile();
        backup.backupPath = u".."_s;
        restart({backup});
        m_engine->deleteBackup(backup, true);
        QVERIFY(QFileInfo::exists(backups));
        QVERIFY(QFileInfo::exists(containers() + u"/A/save.dat"_s));
        QVERIFY(m_engine->pendingBackups().isEmpty());
    }
};

KIVO_TEST_MAIN(TestBackups)
#include "tst_backups.moc"

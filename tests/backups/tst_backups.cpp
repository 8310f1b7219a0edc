#include "downloads/appbackupcoding.h"
#include "downloads/downloadmanager.h"
#include "downloads/livecontainer.h"
#include "install/installtestsupport.h"
#include "platform/defaultsstore.h"
#include "platform/propertylist.h"
#include "platform/standarddirs.h"
#include "platform/urlopener.h"
#include "platform/uuid.h"
#include "services/notificationmanager.h"
#include "support/enginefixture.h"
#include "support/smallfilesystem.h"
#include "support/testfiles.h"
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

// File operations with chosen steps made to fail, as a full disk or a vanished
// folder would.
class FailingFileOperations : public FileOperations {
public:
    std::function<bool(const QString &from, const QString &to)> failsMove;
    bool failsExchange = false;
    bool failsWrite = false;

    bool move(const QString &from, const QString &to, QString *error) override {
        return failsMove && failsMove(from, to) ? fail(error) : FileOperations::move(from, to, error);
    }
    bool exchange(const QString &first, const QString &second, QString *error) override {
        return failsExchange ? fail(error) : FileOperations::exchange(first, second, error);
    }
    bool writePropertyList(const QString &path, const QVariantMap &dictionary, QString *error) override {
        return failsWrite ? fail(error) : FileOperations::writePropertyList(path, dictionary, error);
    }

private:
    static bool fail(QString *error) {
        if (error)
            *error = u"Injected failure"_s;
        return false;
    }
};

using InstallTest::containerNames;
using InstallTest::entries;

QVariantMap appInfo(const QStringList &containers, const QVariantMap &extra = {}) {
    return InstallTest::lcAppInfo(QVariantList(containers.cbegin(), containers.cend()), extra);
}

std::optional<QString> versionOf(const QString &app) {
    const auto info = PropertyList::readDictionary(app + u"/Info.plist"_s);
    return info ? std::optional(info->value(u"CFBundleShortVersionString"_s).toString()) : std::nullopt;
}

} // namespace

// Update backups and the user's answer to a bundle-identifier conflict: the
// stored records, the check that waits for LiveContainer, carrying the user's
// data over, restoring and deleting, and every fault on the way, from real
// archives to the files they leave.
class TestBackups : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_storage;
    std::unique_ptr<DownloadManager> m_engine;
    EngineFixture::BannerLog m_bannerLog;
    const QStringList &m_banners = m_bannerLog.lines();

    QString applications() const { return m_storage->filePath(u"Applications"_s); }
    QString containers() const { return m_storage->filePath(u"Data/Application"_s); }
    QString installedApp() const { return applications() + u'/' + kFolderName; }
    QString newAppInfo() const { return installedApp() + u"/LCAppInfo.plist"_s; }
    QString downloads() const { return m_engine->downloadFolder().toLocalFile(); }
    QString newArchive() const { return downloads() + u"/Game-2.ipa"_s; }
    static QString backups() { return StandardDirs::applicationSupport() + u"/Backups"_s; }
    static QString backupFolder(const AppBackup &backup) { return backups() + u'/' + backup.backupPath; }
    static QString savedApp(const AppBackup &backup) { return backupFolder(backup) + u'/' + kFolderName; }
    static QString oldAppInfo(const AppBackup &backup) { return savedApp(backup) + u"/LCAppInfo.plist"_s; }
    QStringList leftovers() const { return entries(applications()).filter(u"Temp_"_s); }

    // A new engine that finds these records stored, as at the next start.
    void restart(const QList<AppBackup> &stored) {
        m_engine.reset();
        DefaultsStore().setBytes(DownloadManager::kPendingBackupsKey, AppBackupCoding::encode(stored));
        m_engine = std::make_unique<DownloadManager>();
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage->path()), true);
    }

    // The previous version in a backup folder, with its "LCAppInfo.plist" naming
    // the containers; each container holds the user's save file.
    AppBackup makeBackup(const QStringList &oldContainers, const QDateTime &date) {
        const AppBackup backup{kBundleID, u"Game"_s, u"1.0"_s, newUuidString(), kFolderName, date, true};
        if (!AppBundleWriter::writeApp(savedApp(backup),
                                       AppBundleWriter::info(kBundleID, u"Game"_s, u"1.0"_s)) ||
            !PropertyList::writeXml(oldAppInfo(backup),
                                    appInfo(oldContainers, {{u"LCDataUUID"_s, u"old"_s}})))
            return {};
        for (const QString &name : oldContainers) {
            if (!QDir().mkpath(containers() + u'/' + name) ||
                !writeFile(containers() + u'/' + name + u"/save.dat"_s, "level 42"))
                return {};
        }
        return backup;
    }

    // The new version, installed; LiveContainer has run it when its metadata is
    // given.
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

    bool convert(const QString &name, const QString &version) {
        const QString archive = downloads() + u'/' + name;
        if (!InstallTest::writeAppIpa(archive, kBundleID, u"Game"_s, version))
            return false;
        QCoro::waitFor(m_engine->convertIPA(QUrl::fromLocalFile(archive)));
        return true;
    }

    // Version 1 installed, version 2 waiting for the user's answer; configured:
    // LiveContainer has run version 1, so it has data to keep. Each helper says
    // whether it got there; the caller stops the test when not.
    bool makeConflict(bool configured) {
        return convert(u"Game.ipa"_s, u"1.0"_s) && convert(u"Game-2.ipa"_s, u"2.0"_s) &&
               m_engine->pendingInstallation() &&
               (!configured || (QDir().mkpath(containers() + u"/A"_s) &&
                                PropertyList::writeXml(newAppInfo(), appInfo({u"A"_s}))));
    }

    bool resolve(InstallAction action) {
        m_engine->resolvePendingInstallation(action);
        // The conflict stays published while its work runs.
        return m_engine->pendingInstallation() &&
               QTest::qWaitFor([&] { return !m_engine->pendingInstallation(); }, 20000);
    }

    // Runs the LiveContainer stand-in on the URL the engine opened.
    bool launch() {
        QSignalSpy opened(&UrlOpener::shared(), &UrlOpener::urlOpened);
        if (!m_engine->launchApp(kFolderName) || opened.size() != 1)
            return false;
        QProcess liveContainer;
        liveContainer.start(QString::fromUtf8(KIVO_LIVECONTAINER_STANDIN),
                            {u"--storage"_s, m_storage->path(), opened.first().first().toUrl().toString()});
        return liveContainer.waitForFinished(30000) && liveContainer.exitCode() == 0;
    }

    // Runs the update child (updatechild.cpp) to its end; its last line.
    QString runChild(const QString &storage, const QStringList &arguments) {
        QProcess child;
        child.start(QString::fromUtf8(UPDATE_CHILD), QStringList{storage} + arguments);
        if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit)
            return u"did not finish"_s;
        const QStringList lines =
            QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        return lines.isEmpty() ? QString() : lines.last();
    }

private Q_SLOTS:
    void initTestCase() { UrlOpener::shared().setForwardToDesktop(false); }

    void init() {
        EngineFixture::forgetEverything();
        QDir().mkpath(StandardDirs::documents());
        m_storage = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(applications()));
        QVERIFY(QDir().mkpath(containers()));
        restart({});
        m_bannerLog.clear();
    }

    void cleanup() {
        m_engine.reset();
        QFile::remove(backups());
        // No banner of one test may show up in the next.
        QVERIFY(EngineFixture::settleNotifications());
    }

    // Dates count seconds from 2001, fractions and negatives included; an absent version is left out.
    void storedFormRoundTrips() {
        QList<AppBackup> backups;
        for (const QDateTime &date : {QDateTime(QDate(2001, 1, 1), QTime(0, 0, 1, 500), Qt::UTC),
                                      QDateTime(QDate(2026, 12, 5), QTime(17, 0), Qt::UTC),
                                      QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59, 750), Qt::UTC)})
            backups.append({kBundleID, u"Gäme"_s, std::nullopt, newUuidString(), kFolderName, date, true});
        backups[0].version = u"1.2 \"beta\""_s;
        const QByteArray json = AppBackupCoding::encode(backups);
        for (const char *date : {"\"date\":1.5,", "\"date\":818182800,", "\"date\":-0.25,"})
            QVERIFY2(json.contains(date), json.constData());
        QCOMPARE(json.count("\"version\""), 1);
        QVERIFY(json.startsWith("[{\"bundleID\":\"com.example.game\",\"appName\":"));
        QVERIFY(json.endsWith("\"hadLCAppInfo\":true}]"));
        QCOMPARE(AppBackupCoding::decode(json), std::optional(backups));
    }

    // A list that does not decode is dropped whole; the engine starts without
    // records.
    void storedFormRejectsBrokenLists_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        const QByteArray fields =
            R"([{"bundleID":"a","appName":"Game","backupPath":"B","originalInstallPath":"A.app","hadLCAppInfo":true)";
        QTest::newRow("null version is absent") << fields + R"(,"date":3,"version":null}])" << true;
        QTest::newRow("missing date") << fields + "}]" << false;
        QTest::newRow("version as number") << fields + R"(,"date":3,"version":2}])" << false;
        QTest::newRow("one bad record spoils the list") << fields + R"(,"date":3},{"bundleID":1}])" << false;
        QTest::newRow("not JSON") << QByteArray("[{") << false;
    }

    void storedFormRejectsBrokenLists() {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const auto decoded = AppBackupCoding::decode(json);
        QCOMPARE(decoded.has_value(), decodes);
        if (decodes)
            QVERIFY(!decoded->first().version);
        m_engine.reset();
        DefaultsStore().setBytes(DownloadManager::kPendingBackupsKey, json);
        m_engine = std::make_unique<DownloadManager>();
        QCOMPARE(m_engine->pendingBackups().size(), decodes ? 1 : 0);
    }

    void checkWaitsForLiveContainerToRunTheNewVersion_data() {
        QTest::addColumn<std::optional<QVariantMap>>("newInfo");
        QTest::addColumn<QByteArray>(
            "rawFile"); // "->": a link to another app's file, which must stay as it is
        QTest::addColumn<bool>("installed");
        const std::optional<QVariantMap> none;
        QTest::newRow("app not installed") << none << QByteArray() << false;
        QTest::newRow("no containers")
            << std::optional(QVariantMap{{u"LCDataUUID"_s, u"x"_s}}) << QByteArray() << true;
        QTest::newRow("empty container list") << std::optional(appInfo({})) << QByteArray() << true;
        QTest::newRow("unparsable file") << none << QByteArray("not a plist") << true;
        QTest::newRow("nested too deeply") << none << nestedArraysPlist(200000) << true;
        QTest::newRow("link to another app's file") << none << QByteArray("->") << true;
    }

    void checkWaitsForLiveContainerToRunTheNewVersion() {
        QFETCH(std::optional<QVariantMap>, newInfo);
        QFETCH(QByteArray, rawFile);
        QFETCH(bool, installed);
        const AppBackup backup = makeBackup({u"A"_s}, QDateTime::currentDateTimeUtc().addSecs(-60));
        if (installed)
            QVERIFY(installNewVersion(newInfo));
        const QString other = applications() + u"/com.other.app/LCAppInfo.plist"_s;
        QVERIFY(QDir().mkpath(containers() + u"/B"_s) && QDir().mkpath(QFileInfo(other).path()));
        QVERIFY(PropertyList::writeXml(other, appInfo({u"B"_s})));
        if (rawFile == "->")
            QVERIFY(QFile::link(other, newAppInfo()));
        else if (!rawFile.isEmpty())
            QVERIFY(writeFile(newAppInfo(), rawFile));
        const QByteArray otherBytes = readFile(other);
        restart({backup});

        QVERIFY(!m_engine->checkUpdate(backup));
        QCOMPARE(m_engine->pendingBackups(), QList<AppBackup>{backup});
        QVERIFY(QFile::exists(oldAppInfo(backup)));
        QCOMPARE(readFile(other), otherBytes);
        QVERIFY(QFileInfo::exists(containers() + u"/B"_s));
    }

    // The file's creation date must be at least one second after the backup's.
    void checkUsesTheOneSecondRule_data() {
        QTest::addColumn<int>("backupBeforeFileMs");
        QTest::newRow("just under a second") << 999;
        QTest::newRow("exactly one second") << 1000;
    }

    void checkUsesTheOneSecondRule() {
        QFETCH(int, backupBeforeFileMs);
        const bool settled = backupBeforeFileMs >= 1000;
        QVERIFY(installNewVersion(appInfo({u"B"_s})));
        const auto created = FileOperations::creationDate(newAppInfo());
        QVERIFY(created);
        const AppBackup backup = makeBackup({u"A"_s}, created->addMSecs(-backupBeforeFileMs));
        restart({backup});

        QCOMPARE(m_engine->checkUpdate(backup), settled);
        QCOMPARE(m_engine->pendingBackups().isEmpty(), settled);
        QCOMPARE(containerNames(newAppInfo()), settled ? QStringList{u"A"_s} : QStringList{u"B"_s});
    }

    // Old keys over new ones; a container the old file names is the user's, even
    // when the new file names it too, and only the throw-away ones go. Announced
    // one way, never both.
    void finalisingCarriesTheUserDataOver_data() {
        QTest::addColumn<bool>("foreground");
        QTest::newRow("window active: banner") << true;
        QTest::newRow("window inactive: system notification") << false;
    }

    void finalisingCarriesTheUserDataOver() {
        QFETCH(bool, foreground);
        NotificationManager::shared().setAppInForeground(foreground);
        QSignalSpy systemNotifications(&NotificationManager::shared(),
                                       &NotificationManager::systemNotificationSent);
        const AppBackup backup = configuredUpdate(
            {u"A"_s}, appInfo({u"A"_s, u"B"_s}, {{u"LCDataUUID"_s, u"new"_s}, {u"LCNewKey"_s, 7}}));
        QSignalSpy saved(m_engine.get(), &DownloadManager::pendingBackupsChanged);
        QVERIFY(m_engine->checkUpdate(backup));

        QVERIFY(readFile(newAppInfo()).startsWith("<?xml"));
        const auto patched = PropertyList::readDictionary(newAppInfo());
        QVERIFY(patched);
        QCOMPARE(containerNames(newAppInfo()), QStringList{u"A"_s});
        QCOMPARE(patched->value(u"LCDataUUID"_s), QVariant(u"old"_s));
        QCOMPARE(patched->value(u"LCNewKey"_s).toLongLong(), 7);
        QVERIFY(!QFileInfo::exists(containers() + u"/B"_s));
        QCOMPARE(readFile(containers() + u"/A/save.dat"_s), QByteArray("level 42"));
        // The backup and its record are gone, also from the stored list.
        QVERIFY(!QFileInfo::exists(backupFolder(backup)));
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QCOMPARE(saved.size(), 1);
        QCOMPARE(DefaultsStore().bytes(DownloadManager::kPendingBackupsKey), QByteArray("[]"));

        const QString message = u"Game has been successfully updated."_s;
        if (foreground)
            QTRY_COMPARE(m_banners, QStringList{u"Update Completed: "_s + message});
        else
            QCOMPARE(systemNotifications.value(0), (QVariantList{u"Update Completed"_s, message}));
        QTest::qWait(50);
        QCOMPARE(m_banners.size(), foreground ? 1 : 0);
        QCOMPARE(systemNotifications.size(), foreground ? 0 : 1);
    }

    // Finalising that fails keeps the backup while it holds data to carry over,
    // and announces nothing; the retry after the fault is gone completes the
    // update.
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
        QVERIFY(m_banners.isEmpty() && systemNotifications.isEmpty());

        if (keptBackup) {
            m_engine->setFileOperations(std::make_shared<FileOperations>());
            QVERIFY(installNewVersion(appInfo({u"B"_s})));
            QVERIFY(m_engine->finalizeUpdate(backup));
            QCOMPARE(containerNames(newAppInfo()), oldContainers);
            QVERIFY(m_engine->pendingBackups().isEmpty());
        }
    }

    // Nothing to carry over: the backup goes and the new file stays as
    // LiveContainer wrote it.
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
        QCOMPARE(InstallTest::printedBy([&] { m_engine->restoreBackup(backup); }),
                 QStringList{u"Restore failed: Injected failure"_s});
        QCOMPARE(versionOf(installedApp()), std::optional<QString>(u"2.0"_s));
        QVERIFY(QFileInfo::exists(oldAppInfo(backup)));
        QCOMPARE(m_engine->pendingBackups(), QList<AppBackup>{backup});
    }

    // A metadata file that came inside an archive may name folders outside the
    // containers, and a record read back from the settings may name one outside
    // the backups folder.
    void deletingStaysInsideItsFolders() {
        const AppBackup backup = configuredUpdate({u"A"_s}, appInfo({u"B"_s}));
        QVERIFY(QDir().mkpath(m_storage->filePath(u"Keep"_s)));
        QVERIFY(PropertyList::writeXml(oldAppInfo(backup), appInfo({u"A"_s, u"../../Keep"_s, u".."_s})));
        AppBackup escaping = makeBackup({u"C"_s}, QDateTime::currentDateTimeUtc());
        escaping.bundleID = u"com.example.other"_s;
        // Its own folder would be taken up again as an unrecorded backup.
        QVERIFY(QDir(backupFolder(escaping)).removeRecursively());
        escaping.backupPath = u".."_s;
        restart({backup, escaping});

        QCOMPARE(InstallTest::printedBy([&] { m_engine->deleteBackup(backup, true); }),
                 QStringList{u"Deleted backup container: A"_s});
        QVERIFY(!QFileInfo::exists(containers() + u"/A"_s));
        QVERIFY(QFileInfo::exists(containers() + u"/B"_s));
        QVERIFY(QFileInfo::exists(m_storage->filePath(u"Keep"_s)));
        QVERIFY(!QFileInfo::exists(backupFolder(backup)));

        m_engine->deleteBackup(escaping, true);
        QVERIFY(QFileInfo::exists(backups()));
        QVERIFY(QFileInfo::exists(containers() + u"/C/save.dat"_s));
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

    void carriesOutTheAnswer_data() {
        QTest::addColumn<InstallAction>("action");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QStringList>("apps");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("archiveKept");
        QTest::newRow("install separately")
            << InstallAction::InstallSeparate << false
            << QStringList{kFolderName, u"com.example.game_1.app"_s} << u"1.0"_s << false;
        QTest::newRow("cancel") << InstallAction::Cancel << true << QStringList{kFolderName} << u"1.0"_s
                                << true;
        QTest::newRow("update an app never run")
            << InstallAction::UpdateExisting << false << QStringList{kFolderName} << u"2.0"_s << false;
        QTest::newRow("update a configured app")
            << InstallAction::UpdateExisting << true << QStringList{kFolderName} << u"2.0"_s << false;
    }

    void carriesOutTheAnswer() {
        QFETCH(InstallAction, action);
        QFETCH(bool, configured);
        QFETCH(QStringList, apps);
        QFETCH(QString, version);
        QFETCH(bool, archiveKept);
        QVERIFY(makeConflict(configured));
        const QDateTime before = QDateTime::currentDateTimeUtc();
        bool resolved = false;
        // A second answer to the same question changes nothing.
        QCOMPARE(InstallTest::printedBy([&] {
                     m_engine->resolvePendingInstallation(action);
                     resolved = resolve(action);
                 }),
                 QStringList());
        QVERIFY(resolved);
        QCOMPARE(entries(applications()), apps);
        QCOMPARE(versionOf(installedApp()), std::optional(version));
        QCOMPARE(QFile::exists(newArchive()), archiveKept);
        QCOMPARE(m_engine->fileList().contains(QUrl::fromLocalFile(newArchive())), archiveKept);
        QCOMPARE(m_engine->installedApps().size(), apps.size());

        const bool backedUp = configured && action == InstallAction::UpdateExisting;
        QCOMPARE(m_engine->pendingBackups().size(), backedUp ? 1 : 0);
        if (!backedUp) {
            QVERIFY(entries(backups()).isEmpty());
            return;
        }
        const AppBackup backup = m_engine->pendingBackups().first();
        QCOMPARE((QStringList{backup.bundleID, backup.appName, backup.version.value_or(QString()),
                              backup.originalInstallPath}),
                 (QStringList{kBundleID, u"Game"_s, u"1.0"_s, kFolderName}));
        QVERIFY(backup.hadLCAppInfo);
        QVERIFY(backup.date >= before.addMSecs(-1) && backup.date <= QDateTime::currentDateTimeUtc());
        QCOMPARE(entries(backups()), QStringList{backup.backupPath});
        QVERIFY(QFile::exists(oldAppInfo(backup)));
        QCOMPARE(versionOf(savedApp(backup)), std::optional<QString>(u"1.0"_s));
        // Stored, as the next start finds it.
        m_engine = std::make_unique<DownloadManager>();
        QCOMPARE(m_engine->pendingBackups(), QList<AppBackup>{backup});
    }

    // Each fault leaves the installed version whole, records no backup and keeps
    // the archive.
    void failedActionsLoseNothing_data() {
        QTest::addColumn<InstallAction>("action");
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("fault");
        QTest::newRow("separate: new app gone") << InstallAction::InstallSeparate << false << u"app gone"_s;
        QTest::newRow("never run: moving beside fails")
            << InstallAction::UpdateExisting << false << u"app gone"_s;
        QTest::newRow("never run: the swap fails") << InstallAction::UpdateExisting << false << u"swap"_s;
        QTest::newRow("configured: backup folder blocked")
            << InstallAction::UpdateExisting << true << u"file for backups folder"_s;
        QTest::newRow("configured: moving into the backup fails")
            << InstallAction::UpdateExisting << true << u"backup move"_s;
        // The record is all that names the user's data once the app has moved.
        QTest::newRow("configured: the record cannot be saved (settings disk full)")
            << InstallAction::UpdateExisting << true << u"settings full"_s;
    }

    void failedActionsLoseNothing() {
        QFETCH(InstallAction, action);
        QFETCH(bool, configured);
        QFETCH(QString, fault);
        QVERIFY(makeConflict(configured));
        const auto files = std::make_shared<FailingFileOperations>();
        m_engine->setFileOperations(files);
        std::unique_ptr<SmallFileSystem> fullDisk;
        if (fault == u"app gone"_s) {
            QVERIFY(QDir(m_engine->pendingInstallation()->extractedAppURL.toLocalFile()).removeRecursively());
        } else if (fault == u"swap"_s) {
            // No atomic exchange, and the new app cannot take the old one's place
            // once it is aside: the first move onto the old place is the new app's,
            // the second puts the old one back.
            files->failsExchange = true;
            auto movesOntoOld = std::make_shared<int>(0);
            files->failsMove = [old = installedApp(), movesOntoOld](const QString &, const QString &to) {
                return to == old && ++*movesOntoOld == 1;
            };
        } else if (fault == u"file for backups folder"_s) {
            QVERIFY(QDir(backups()).removeRecursively());
            QVERIFY(writeFile(backups(), "in the way"));
        } else if (fault == u"settings full"_s) {
            const QString settings = DefaultsStore().fileName();
            const QByteArray stored = readFile(settings);
            fullDisk = std::make_unique<SmallFileSystem>(QFileInfo(settings).path(), 64 * 1024);
            if (!fullDisk->isMounted())
                QSKIP("No right to mount a small file system here");
            QVERIFY(writeFile(settings, stored) && fullDisk->fill());
        } else {
            files->failsMove = [](const QString &, const QString &to) {
                return to.contains(u"/Backups/"_s);
            };
        }

        bool resolved = false;
        const QStringList lines = InstallTest::printedBy([&] { resolved = resolve(action); });
        QVERIFY(resolved);
        QCOMPARE(lines.filter(u"Finalize install error: "_s).size(), 1);
        // The settings store names its own failure.
        QCOMPARE(lines.size(), fullDisk ? 2 : 1);
        QCOMPARE(entries(applications()), QStringList{kFolderName});
        QCOMPARE(versionOf(installedApp()), std::optional<QString>(u"1.0"_s));
        QCOMPARE(QFile::exists(newAppInfo()), configured);
        QVERIFY(QFile::exists(installedApp() + u"/executable"_s));
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QVERIFY(entries(backups()).isEmpty());
        QVERIFY(QFile::exists(newArchive()));
        QVERIFY(leftovers().isEmpty());
        QVERIFY(
            AppBackupCoding::decode(DefaultsStore().bytes(DownloadManager::kPendingBackupsKey).value_or("[]"))
                ->isEmpty());
    }

    // A backup folder that no record names (its record was lost, or an older version
    // of Kivo was killed before saving it) still holds the only file naming the user's
    // data: it is put back when its app is gone, recorded again when not, and only a
    // partial copy is removed.
    void unrecordedBackupsAreKept_data() {
        QTest::addColumn<QString>("found");
        QTest::newRow("app still installed") << u"installed"_s;
        QTest::newRow("app gone") << u"gone"_s;
        QTest::newRow("partial copy only") << u"partial"_s;
    }

    void unrecordedBackupsAreKept() {
        QFETCH(QString, found);
        const QDateTime made = QDateTime::currentDateTimeUtc();
        AppBackup backup = makeBackup({u"A"_s}, made);
        QVERIFY(!backup.backupPath.isEmpty());
        if (found == u"installed"_s)
            QVERIFY(installNewVersion(std::nullopt));
        if (found == u"partial"_s)
            QVERIFY(QDir().rename(savedApp(backup), backupFolder(backup) + u"/Temp_copy"_s));
        restart({});

        if (found == u"partial"_s) {
            QVERIFY(entries(backups()).isEmpty());
            QVERIFY(m_engine->pendingBackups().isEmpty());
            return;
        }
        if (found == u"gone"_s) {
            QCOMPARE(versionOf(installedApp()), std::optional<QString>(u"1.0"_s));
            QCOMPARE(containerNames(newAppInfo()), QStringList{u"A"_s});
            QVERIFY(entries(backups()).isEmpty());
            QVERIFY(m_engine->pendingBackups().isEmpty());
            return;
        }
        QCOMPARE(m_engine->pendingBackups().size(), 1);
        const AppBackup recorded = m_engine->pendingBackups().first();
        QVERIFY(qAbs(recorded.date.msecsTo(made)) < 2000);
        backup.date = recorded.date;
        QCOMPARE(recorded, backup);
        QCOMPARE(containerNames(oldAppInfo(backup)), QStringList{u"A"_s});
    }

    // A kill at each step of "Update Existing", on one file system and across two:
    // the next start finds exactly one whole version installed, the user's data named,
    // and nothing left over. The update child runs each step in a real process.
    void killsDuringAnUpdateLoseNothing_data() {
        QTest::addColumn<bool>("acrossFileSystems");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("step"); // convert: -1 kills once unpacking began, 0 at the question
        QTest::addColumn<QString>("version");
        for (const bool across : {false, true}) {
            const char *where = across ? "two file systems" : "one file system";
            QTest::addRow("%s: converting", where) << across << u"convert"_s << -1 << u"1.0"_s;
            QTest::addRow("%s: asking", where) << across << u"convert"_s << 0 << u"1.0"_s;
            for (const int step : {1, 2, 3, 4})
                QTest::addRow("%s: before step %d", where, step) << across << u"update"_s << step << u"1.0"_s;
            QTest::addRow("%s: not killed", where) << across << u"update"_s << 0 << u"2.0"_s;
        }
    }

    void killsDuringAnUpdateLoseNothing() {
        QFETCH(bool, acrossFileSystems);
        QFETCH(QString, mode);
        QFETCH(int, step);
        QFETCH(QString, version);
        if (acrossFileSystems && !QFileInfo(u"/dev/shm"_s).isDir())
            QSKIP("No second file system (/dev/shm) to test with");
        m_engine.reset();
        const QTemporaryDir storage(acrossFileSystems ? u"/dev/shm/kivo-test-XXXXXX"_s
                                                      : m_storage->filePath(u"XXXXXX"_s));
        QCOMPARE(runChild(storage.path(), {u"prepare"_s}), QString());

        QProcess child;
        child.start(QString::fromUtf8(UPDATE_CHILD), {storage.path(), mode, QString::number(step)});
        if (mode == u"update"_s) {
            QVERIFY(child.waitForFinished(60000));
            QCOMPARE(child.exitStatus() == QProcess::CrashExit, step > 0);
        } else {
            const QString applications = storage.filePath(u"Applications"_s);
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return step < 0 ? !entries(applications).filter(u"Temp_"_s).isEmpty()
                                    : child.readAllStandardOutput().contains("conflict");
                },
                30000));
            child.kill();
            QVERIFY(child.waitForFinished());
        }
        QCOMPARE(runChild(storage.path(), {u"check"_s}), u"consistent "_s + version);
    }

    // The record is saved before the new version moves in; when that move fails
    // the previous version is restorable from its backup.
    void failedFinalMoveLeavesARestorableBackup() {
        QVERIFY(makeConflict(true));
        const auto files = std::make_shared<FailingFileOperations>();
        files->failsMove = [old = installedApp()](const QString &from, const QString &to) {
            return to == old && from.contains(u"/Temp_"_s);
        };
        m_engine->setFileOperations(files);
        bool resolved = false;
        QCOMPARE(InstallTest::printedBy([&] { resolved = resolve(InstallAction::UpdateExisting); }).size(),
                 1);
        QVERIFY(resolved);
        QVERIFY(QFile::exists(newArchive()));
        QCOMPARE(m_engine->pendingBackups().size(), 1);
        QVERIFY(m_engine->installedApps().isEmpty());

        m_engine->restoreBackup(m_engine->pendingBackups().first());
        QCOMPARE(versionOf(installedApp()), std::optional<QString>(u"1.0"_s));
        QCOMPARE(containerNames(newAppInfo()), QStringList{u"A"_s});
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QVERIFY(leftovers().isEmpty());
    }

    // LiveContainer's folder on another file system than the backups: moves
    // become copies.
    void updatesAcrossFileSystems() {
        if (!QFileInfo(u"/dev/shm"_s).isDir())
            QSKIP("No second file system (/dev/shm) to test with");
        m_storage = std::make_unique<QTemporaryDir>(u"/dev/shm/kivo-test-XXXXXX"_s);
        QVERIFY(QDir().mkpath(applications()));
        QVERIFY(QDir().mkpath(containers()));
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage->path()), true);
        QVERIFY(makeConflict(true));
        QVERIFY(QFile::link(u"executable"_s, installedApp() + u"/link"_s));

        QVERIFY(resolve(InstallAction::UpdateExisting));
        QCOMPARE(versionOf(installedApp()), std::optional<QString>(u"2.0"_s));
        QCOMPARE(m_engine->pendingBackups().size(), 1);
        const AppBackup backup = m_engine->pendingBackups().first();
        QCOMPARE(QFileInfo(savedApp(backup) + u"/link"_s).symLinkTarget(),
                 savedApp(backup) + u"/executable"_s);
        QCOMPARE(readFile(savedApp(backup) + u"/executable"_s), QByteArray(4096, 'x'));
        QVERIFY(leftovers().isEmpty());

        m_engine->restoreBackup(backup);
        QCOMPARE(versionOf(installedApp()), std::optional<QString>(u"1.0"_s));
        QCOMPARE(containerNames(newAppInfo()), QStringList{u"A"_s});
        QVERIFY(m_engine->pendingBackups().isEmpty());
        QVERIFY(leftovers().isEmpty());
    }

    // Install, run, update, run the new version: the user's data lives on in the
    // new version.
    void updateKeepsTheUserDataThroughLiveContainer() {
        QVERIFY(convert(u"Game.ipa"_s, u"1.0"_s));
        QVERIFY(launch());
        const QStringList firstContainers = containerNames(newAppInfo());
        QCOMPARE(firstContainers.size(), 1);
        const QString userData = containers() + u'/' + firstContainers.first() + u"/Documents/save.dat"_s;
        QVERIFY(writeFile(userData, "level 42"));

        QVERIFY(convert(u"Game-2.ipa"_s, u"2.0"_s));
        QVERIFY(resolve(InstallAction::UpdateExisting));
        QCOMPARE(m_engine->pendingBackups().size(), 1);
        const AppBackup backup = m_engine->pendingBackups().last();
        QVERIFY(!m_engine->hasLCAppInfo(kBundleID));
        QVERIFY(!m_engine->checkUpdate(backup));

        // LiveContainer writes the new file when it runs the new version, later
        // than the backup by more than the second the check asks for.
        QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentDateTimeUtc() > backup.date.addMSecs(1100), 5000);
        QVERIFY(launch());
        const QStringList secondContainers = containerNames(newAppInfo());
        QCOMPARE(secondContainers.size(), 1);
        QVERIFY(secondContainers != firstContainers);

        QVERIFY(m_engine->checkUpdate(backup));
        QCOMPARE(containerNames(newAppInfo()), firstContainers);
        QVERIFY(!QFileInfo::exists(containers() + u'/' + secondContainers.first()));
        QVERIFY(entries(backups()).isEmpty());

        // The next run of the updated app finds its old container.
        QVERIFY(launch());
        QCOMPARE(containerNames(newAppInfo()), firstContainers);
        QCOMPARE(readFile(userData), QByteArray("level 42"));
    }
};

KIVO_TEST_MAIN(TestBackups)
#include "tst_backups.moc"

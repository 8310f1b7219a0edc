// Update backups: the previous version of an updated app waits in the backups folder until
// LiveContainer has run the new one; then the new "LCAppInfo.plist" takes over the old one's
// entries, and with them the user's data containers. Or the user restores or deletes the backup.
//
// A backup is the only thing that still names the user's data containers while the update
// waits, so it goes only when its data has been carried over, or when it holds none.

#include "downloadmanager.h"

#include "downloads/appbackupcoding.h"
#include "downloads/installfiles.h"
#include "downloads/livecontainer.h"
#include "platform/console.h"
#include "platform/defaultsstore.h"
#include "platform/propertylist.h"
#include "services/logger.h"
#include "services/notificationmanager.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

void log(const QString &line) {
    Logger::shared().log(line);
}

// The standard date description, always in UTC: "2026-12-05 17:00:00 +0000".
QString dateDescription(const QDateTime &date) {
    return date.toUTC().toString(u"yyyy-MM-dd HH:mm:ss"_s) + u" +0000"_s;
}

QString trueOrFalse(bool value) {
    return value ? u"true"_s : u"false"_s;
}

bool entryExists(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// A list of at least one dictionary, the sign that LiveContainer has set the app up.
bool hasContainerList(const QVariantMap &appInfo) {
    const QVariant containers = appInfo.value(LiveContainer::kContainersKey.toString());
    if (containers.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList elements = containers.toList();
    return !elements.isEmpty() &&
           std::all_of(elements.cbegin(), elements.cend(),
                       [](const QVariant &element) { return element.typeId() == QMetaType::QVariantMap; });
}

} // namespace

void DownloadManager::loadPendingBackups() {
    const std::optional<QByteArray> stored = DefaultsStore().bytes(kPendingBackupsKey);
    const auto decoded = stored ? AppBackupCoding::decode(*stored) : std::nullopt;
    m_pendingBackups = decoded.value_or(QList<AppBackup>());
}

bool DownloadManager::setPendingBackups(const QList<AppBackup> &backups) {
    // The list in memory is what the settings hold: a record that exists only here would
    // name the user's data until the next start, and then nothing would.
    if (!DefaultsStore().setBytes(kPendingBackupsKey, AppBackupCoding::encode(backups)))
        return false;
    if (m_pendingBackups == backups)
        return true;
    m_pendingBackups = backups;
    Q_EMIT pendingBackupsChanged();
    return true;
}

bool DownloadManager::appendPendingBackup(const AppBackup &backup) {
    QList<AppBackup> backups = m_pendingBackups;
    backups.append(backup);
    return setPendingBackups(backups);
}

bool DownloadManager::removePendingBackup(const AppBackup &backup) {
    QList<AppBackup> backups = m_pendingBackups;
    backups.removeIf([&](const AppBackup &pending) { return pending.backupPath == backup.backupPath; });
    return setPendingBackups(backups);
}

bool DownloadManager::checkUpdate(const AppBackup &backup) {
    scanInstalledApps();
    const LocalApp *app = installedApp(backup.bundleID);
    if (!app) {
        log(u"CheckUpdate: App "_s + backup.bundleID + u" not installed."_s);
        return false;
    }
    if (!hasLCAppInfo(backup.bundleID)) {
        log(u"CheckUpdate: No LCAppInfo.plist found for "_s + backup.bundleID);
        return false;
    }

    const QString appInfoPath = app->url.toLocalFile() + u'/' + LiveContainer::kAppInfoFileName;
    const std::optional<QDateTime> created = FileOperations::creationDate(appInfoPath);
    if (!created)
        return false;
    // LiveContainer writes the file when it first runs the new version; one written within a
    // second of the backup is taken for the old one's.
    if (*created < backup.date.addMSecs(1000)) {
        log(u"CheckUpdate: LCAppInfo.plist is older than backup. Plist: "_s + dateDescription(*created) +
            u", Backup: "_s + dateDescription(backup.date));
        return false;
    }
    log(u"CheckUpdate: New LCAppInfo found. Plist: "_s + dateDescription(*created) + u", Backup: "_s +
        dateDescription(backup.date));

    const std::optional<QVariant> appInfo = PropertyList::read(appInfoPath);
    if (!appInfo || appInfo->typeId() != QMetaType::QVariantMap || !hasContainerList(appInfo->toMap()))
        return false;

    if (!backup.hadLCAppInfo) {
        log(u"CheckUpdate: Discarding backup for "_s + backup.appName + u" (No previous LCAppInfo)"_s);
        deleteBackup(backup, false);
        return true;
    }
    log(u"CheckUpdate: Finalizing update for "_s + backup.appName);
    return finalizeUpdate(backup);
}

bool DownloadManager::finalizeUpdate(const AppBackup &backup) {
    log(u"FinalizeUpdate: Starting for "_s + backup.appName);
    // Without the app there is nothing to patch; the backup can still be restored.
    const LocalApp *app = installedApp(backup.bundleID);
    if (!app)
        return false;

    const QString newPath = app->url.toLocalFile() + u'/' + LiveContainer::kAppInfoFileName;
    // A record names folders inside the backups folder only.
    const bool recordNamesFolders = LiveContainer::isSingleFolderName(backup.backupPath) &&
                                    LiveContainer::isSingleFolderName(backup.originalInstallPath);
    const QString oldPath = backupsFolder().toLocalFile() + u'/' + backup.backupPath + u'/' +
                            backup.originalInstallPath + u'/' + LiveContainer::kAppInfoFileName;
    const bool newExists = entryExists(newPath);
    const bool oldExists = recordNamesFolders && entryExists(oldPath);
    if (!newExists || !oldExists) {
        log(u"FinalizeUpdate: Missing plist files (New: "_s + trueOrFalse(newExists) + u", Old: "_s +
            trueOrFalse(oldExists) + u')');
        if (oldExists)
            return false;
        // No old file: no data to carry over.
        deleteBackup(backup, false);
        return true;
    }

    QString error;
    const std::optional<QVariant> oldValue = PropertyList::read(oldPath, &error);
    if (!oldValue) {
        log(u"FinalizeUpdate: Failed to patch LCAppInfo: "_s + error);
        return false;
    }
    if (oldValue->typeId() != QMetaType::QVariantMap) {
        deleteBackup(backup, false);
        return true;
    }
    const QVariantMap oldAppInfo = oldValue->toMap();
    const bool carriesData = !LiveContainer::dataContainerNames(oldAppInfo).isEmpty();
    // The backup stays for a retry, a restore or the user's deletion, unless it holds nothing.
    const auto failed = [&](const QString &reason) {
        log(u"FinalizeUpdate: Failed to patch LCAppInfo: "_s + reason);
        if (carriesData)
            return false;
        deleteBackup(backup, false);
        return true;
    };

    const std::optional<QVariant> newValue = PropertyList::read(newPath, &error);
    if (!newValue)
        return failed(error);
    const QVariantMap newAppInfo =
        newValue->typeId() == QMetaType::QVariantMap ? newValue->toMap() : QVariantMap();

    QVariantMap patched = newAppInfo;
    for (auto it = oldAppInfo.cbegin(); it != oldAppInfo.cend(); ++it)
        patched.insert(it.key(), it.value());
    if (!m_fileOperations->writePropertyList(newPath, patched, &error))
        return failed(error);

    // The containers LiveContainer made for the new version's first run, once the file no longer
    // names them; a folder the patched file names holds the user's data and stays. Only after
    // the write, so a failure never leaves the file naming removed folders.
    if (const auto containers = dataContainersFolder()) {
        const QStringList kept = LiveContainer::dataContainerNames(patched);
        for (const QString &name : LiveContainer::dataContainerNames(newAppInfo)) {
            const QString container = containers->toLocalFile() + u'/' + name;
            if (kept.contains(name) || !entryExists(container))
                continue;
            m_fileOperations->remove(container, nullptr);
            log(u"FinalizeUpdate: Deleted temporary container: "_s + name);
        }
    }
    log(u"FinalizeUpdate: Patched LCAppInfo for "_s + backup.bundleID + u" with old data."_s);

    const QString title = tr("Update Completed");
    const QString message = tr("%1 has been successfully updated.").arg(backup.appName);
    NotificationManager &notifications = NotificationManager::shared();
    if (notifications.isAppInForeground())
        notifications.showNotification(title, message, NotificationType::Success);
    else
        notifications.sendSystemNotification(title, message);

    deleteBackup(backup, false);
    return true;
}

void DownloadManager::restoreBackup(const AppBackup &backup) {
    const QString backupFolder = backupsFolder().toLocalFile() + u'/' + backup.backupPath;
    if (!LiveContainer::isSingleFolderName(backup.backupPath) || !QFileInfo(backupFolder).isDir()) {
        printLine(u"Restore failed: "_s + u"Cannot list the folder \"%1\""_s.arg(backupFolder));
        return;
    }
    const QStringList entries =
        QDir(backupFolder)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    const auto saved = std::find_if(entries.cbegin(), entries.cend(), [](const QString &entry) {
        return InstallFiles::pathExtension(entry) == u"app"_s;
    });
    if (saved == entries.cend())
        return;
    if (!LiveContainer::isSingleFolderName(backup.originalInstallPath)) {
        printLine(u"Restore failed: "_s + u"\"%1\" is not a folder name"_s.arg(backup.originalInstallPath));
        return;
    }

    // The saved version takes the new one's place in one step, so one of them is installed at
    // every moment; the new one leaves with the backup folder.
    const QString source = backupFolder + u'/' + *saved;
    const QString target = applicationsFolder().toLocalFile() + u'/' + backup.originalInstallPath;
    QString error;
    const bool restored = entryExists(target) ? m_fileOperations->replace(source, target, &error)
                                              : m_fileOperations->move(source, target, &error);
    if (!restored) {
        printLine(u"Restore failed: "_s + error);
        return;
    }
    deleteBackup(backup, false);
    scanInstalledApps();
}

void DownloadManager::deleteBackup(const AppBackup &backup, bool deleteContainers) {
    // A record read back from the settings names folders inside the backups folder only.
    if (LiveContainer::isSingleFolderName(backup.backupPath)) {
        const QString backupFolder = backupsFolder().toLocalFile() + u'/' + backup.backupPath;
        const QString oldAppInfoPath =
            backupFolder + u'/' + backup.originalInstallPath + u'/' + LiveContainer::kAppInfoFileName;
        const auto containers = dataContainersFolder();
        if (deleteContainers && containers && LiveContainer::isSingleFolderName(backup.originalInstallPath) &&
            entryExists(oldAppInfoPath)) {
            if (const auto oldAppInfo = PropertyList::readDictionary(oldAppInfoPath)) {
                for (const QString &name : LiveContainer::dataContainerNames(*oldAppInfo)) {
                    m_fileOperations->remove(containers->toLocalFile() + u'/' + name, nullptr);
                    printLine(u"Deleted backup container: "_s + name);
                }
            }
        }
        m_fileOperations->remove(backupFolder, nullptr);
    }

    const auto record =
        std::find_if(m_pendingBackups.cbegin(), m_pendingBackups.cend(),
                     [&](const AppBackup &pending) { return pending.bundleID == backup.bundleID; });
    if (record == m_pendingBackups.cend())
        return;
    QList<AppBackup> backups = m_pendingBackups;
    backups.removeAt(record - m_pendingBackups.cbegin());
    setPendingBackups(backups);
}

// Recovery at start-up: what a kill, a power loss or a full disk left half done is settled before
// anything else looks at the folders, and then what no record refers to any longer is removed.
// Every step is safe to repeat: a kill during recovery leaves the next start the same work.
//
// An update of a configured app (installation.cpp) saves its backup record first, then stages
// the new version as "Temp_" + the record's backupPath beside the installed app, moves the
// installed app into the backup folder and finally moves the staged one into its place. Moves
// within one file system are renames; across file systems a whole copy is renamed into place
// and the source is renamed aside before it is removed. So after a kill the installed place
// holds one whole app or nothing, and the backup folder one whole app or nothing (a partial
// copy lies only under a "Temp_" name).

#include "downloadmanager.h"

#include "downloads/installedappsscanner.h"
#include "downloads/installfiles.h"
#include "downloads/livecontainer.h"
#include "platform/console.h"
#include "platform/resumedata.h"
#include "platform/standarddirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

bool entryExists(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QStringList entriesOf(const QString &folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

void removeLeftover(const QString &path) {
    if (InstallFiles::removeItem(path))
        printLine(u"Removed a leftover: "_s + path);
}

// Names the app makes for files of its own: a UUID, perhaps with an extension, or the hidden
// ".<name>.<UUID>" of a file being replaced.
bool isGeneratedName(const QString &name) {
    static const QRegularExpression generated(
        u"^(\\..+\\.)?[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}(\\.[^/]*)?$"_s);
    return generated.match(name).hasMatch();
}

} // namespace

void DownloadManager::recoverInterruptedWork() {
    const QString applications = applicationsFolder().toLocalFile();
    const QString backups = backupsFolder().toLocalFile();
    // Backups belong to LiveContainer's folder: while it cannot be reached (a storage that is
    // not there this time) they wait as they are.
    if (m_customLiveContainerFolder)
        reconcileBackups(applications, backups);
    removeLeftovers(applications, backups);
    cleanUpTransfers();
}

void DownloadManager::reconcileBackups(const QString &applications, const QString &backups) {
    QList<AppBackup> kept;
    for (const AppBackup &backup : std::as_const(m_pendingBackups)) {
        const QString staged = applications + u"/Temp_"_s + backup.backupPath;
        // The staged new version is moved into place last: without it the update has finished,
        // or was never of this kind.
        if (!LiveContainer::isSingleFolderName(backup.backupPath) ||
            !LiveContainer::isSingleFolderName(backup.originalInstallPath) || !entryExists(staged)) {
            kept.append(backup);
            continue;
        }
        const QString installed = applications + u'/' + backup.originalInstallPath;
        const QString folder = backups + u'/' + backup.backupPath;
        const QString saved = folder + u'/' + backup.originalInstallPath;
        const QString interrupted = u"Recovered the interrupted update of "_s + backup.appName + u": "_s;
        QString error;
        if (entryExists(installed)) {
            // The previous version never left its place; the backup holds a copy at most.
            m_fileOperations->remove(folder, nullptr);
            printLine(interrupted + u"the installed version stays"_s);
        } else if (entryExists(saved)) {
            if (!m_fileOperations->move(saved, installed, &error)) {
                printLine(interrupted + error);
                kept.append(backup);
                continue;
            }
            m_fileOperations->remove(folder, nullptr);
            printLine(interrupted + u"the previous version is back"_s);
        } else {
            // Nothing of the previous version is left: the new one is better than none.
            if (!m_fileOperations->move(staged, installed, &error)) {
                printLine(interrupted + error);
                kept.append(backup);
                continue;
            }
            m_fileOperations->remove(folder, nullptr);
            printLine(interrupted + u"the new version is installed"_s);
        }
    }
    if (kept.size() != m_pendingBackups.size())
        setPendingBackups(kept);

    // A backup folder no record names is still someone's previous version, and its
    // "LCAppInfo.plist" may be all that names the user's data: it is put back when its place is
    // free, or recorded again for the user to settle. Only partial copies go.
    QSet<QString> recorded;
    for (const AppBackup &backup : std::as_const(m_pendingBackups))
        recorded.insert(backup.backupPath);
    QList<AppBackup> found;
    for (const QString &name : entriesOf(backups)) {
        const QString folder = backups + u'/' + name;
        if (recorded.contains(name) || !QFileInfo(folder).isDir() || QFileInfo(folder).isSymLink())
            continue;
        for (const QString &entry : entriesOf(folder)) {
            if (entry.startsWith(u"Temp_"_s))
                removeLeftover(folder + u'/' + entry);
        }
        const QList<LocalApp> apps = InstalledAppsScanner::scan(folder);
        if (apps.isEmpty()) {
            removeLeftover(folder);
            continue;
        }
        const LocalApp &app = apps.first();
        const QString appFolder = app.url.toLocalFile();
        const QString installed = applications + u'/' + app.url.fileName();
        if (!entryExists(installed) && m_fileOperations->move(appFolder, installed, nullptr)) {
            m_fileOperations->remove(folder, nullptr);
            printLine(u"Recovered an unrecorded backup of "_s + app.name +
                      u": the previous version is back"_s);
            continue;
        }
        AppBackup backup;
        backup.bundleID = app.bundleID;
        backup.appName = app.name;
        backup.version = app.version;
        backup.backupPath = name;
        backup.originalInstallPath = app.url.fileName();
        backup.date = FileOperations::creationDate(folder).value_or(QDateTime::currentDateTimeUtc());
        backup.hadLCAppInfo = entryExists(appFolder + u'/' + LiveContainer::kAppInfoFileName);
        found.append(backup);
        printLine(u"Recovered an unrecorded backup of "_s + app.name + u": kept as a pending backup"_s);
    }
    if (!found.isEmpty())
        setPendingBackups(m_pendingBackups + found);
}

void DownloadManager::removeLeftovers(const QString &applications, const QString &backups) {
    // A kill during a conversion or an update leaves its "Temp_" folders; those of updates that
    // recovery could not settle stay for the next try.
    QSet<QString> staged;
    for (const AppBackup &backup : std::as_const(m_pendingBackups))
        staged.insert(u"Temp_"_s + backup.backupPath);
    for (const QString &name : entriesOf(applications)) {
        if (name.startsWith(u"Temp_"_s) && !staged.contains(name))
            removeLeftover(applications + u'/' + name);
    }
    // A copy into a backup folder that was cut short.
    for (const QString &name : entriesOf(backups)) {
        for (const QString &entry : entriesOf(backups + u'/' + name)) {
            if (entry.startsWith(u"Temp_"_s))
                removeLeftover(backups + u'/' + name + u'/' + entry);
        }
    }
    // Finished downloads on their way into the downloads folder.
    const QString temporary = StandardDirs::temporary();
    for (const QString &name : entriesOf(temporary)) {
        if (isGeneratedName(name))
            removeLeftover(temporary + u'/' + name);
    }
}

void DownloadManager::cleanUpTransfers() {
    // Resume data is kept only when it can be read: an entry that cannot would show a paused
    // download that never continues.
    const QString caches = StandardDirs::caches();
    QSet<QString> resumeFiles;
    QSet<QString> partialFiles;
    bool dropped = false;
    for (auto it = m_diskResumeDataPaths.begin(); it != m_diskResumeDataPaths.end();) {
        std::optional<ResumeData> decoded;
        if (isPlainFileName(it.value())) {
            QFile file(caches + u'/' + it.value());
            if (file.open(QIODevice::ReadOnly))
                decoded = ResumeData::decode(file.readAll());
        }
        if (!decoded) {
            printLine(u"Dropped unreadable resume data of "_s + it.key());
            it = m_diskResumeDataPaths.erase(it);
            dropped = true;
            continue;
        }
        resumeFiles.insert(it.value());
        partialFiles.insert(decoded->partialFileName);
        ++it;
    }
    if (dropped)
        storeResumeDataPaths();
    for (const QString &name : QDir(caches).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isGeneratedName(name) && !resumeFiles.contains(name))
            removeLeftover(caches + u'/' + name);
    }
    m_urlSession->removeUnreferencedFiles(partialFiles);
}

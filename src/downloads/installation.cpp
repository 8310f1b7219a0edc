// Installation: carrying out the user's answer to a bundle-identifier conflict. The new app
// goes in beside the installed one, replaces it (keeping a backup of a configured app until
// LiveContainer has run the new version) or is dropped.
//
// The file work runs on worker threads; pendingInstallation and pendingBackups change only here
// on the main thread, between the awaited steps.

#include "downloadmanager.h"

#include "downloads/installfiles.h"
#include "downloads/livecontainer.h"
#include "platform/console.h"
#include "platform/uuid.h"

#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <chrono>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// How long the conflict stays published after its file work, so the alert closes after the
// lists it leads to are settled.
constexpr auto kSettleDelay = 200ms;

bool entryExists(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// A free name beside the installed app, on its file system and never listed as an app.
QString stagingPath(const QString &installedApp) {
    return QFileInfo(installedApp).path() + u"/Temp_"_s + newUuidString();
}

// Each step below gives the failure's description, or nothing when it succeeded.

std::optional<QString> installSeparately(const PendingInstallation &pending, const QString &applications) {
    const QString extracted = pending.extractedAppURL.toLocalFile();
    const bool named = !pending.bundleID.isEmpty() && pending.bundleID != u"unknown"_s;
    const QString name = named ? pending.bundleID + u".app"_s : QFileInfo(extracted).fileName();
    QString error;
    if (!InstallFiles::moveToFreeName(extracted, applications, name, &error))
        return error;
    return std::nullopt;
}

// An app LiveContainer never ran has no data to keep: the new version takes its place in one
// swap, so one of the two is installed at every moment.
std::optional<QString> replaceUnconfigured(FileOperations &files, const QString &extracted,
                                           const QString &installed) {
    QString error;
    if (!entryExists(installed))
        return files.move(extracted, installed, &error) ? std::nullopt : std::optional(error);
    const QString staged = stagingPath(installed);
    if (!files.move(extracted, staged, &error))
        return error;
    if (!files.replace(staged, installed, &error)) {
        files.remove(staged, nullptr);
        return error;
    }
    return std::nullopt;
}

// The new version waits beside the installed one under a name that ties it to its backup, so a
// start after a kill can tell an update that never finished (its staged app is still there).
QString stagedPath(const QString &installed, const QString &backupPath) {
    return QFileInfo(installed).path() + u"/Temp_"_s + backupPath;
}

// Once the record is saved: the installed version moves into its backup folder. A failure puts
// nothing in the backup and leaves the installed app where it was.
std::optional<QString> backUpInstalled(FileOperations &files, const QString &installed,
                                       const QString &backups, const QString &backupPath) {
    QString error;
    const QString backupFolder = backups + u'/' + backupPath;
    if (files.makePath(backupFolder, &error) &&
        files.move(installed, backupFolder + u'/' + QFileInfo(installed).fileName(), &error))
        return std::nullopt;
    files.remove(backupFolder, nullptr);
    return error;
}

// After the record is saved: the new version takes the old folder name. Should that fail, the
// previous version stays restorable from its backup.
std::optional<QString> installBackedUp(FileOperations &files, const QString &staged,
                                       const QString &installed) {
    QString error;
    if (files.move(staged, installed, &error))
        return std::nullopt;
    files.remove(staged, nullptr);
    return error;
}

// The temporary folder goes whatever happened; the archive only when its app was installed, so
// a failed action leaves the user the file to try again.
void cleanUp(const PendingInstallation &pending, bool installed, const QString &downloads) {
    // Only the extraction's own "Temp_" folder: a record without one must not name a whole tree.
    const QFileInfo temporaryFolder(QFileInfo(pending.tempPayloadURL.toLocalFile()).path());
    if (!pending.tempPayloadURL.isEmpty() && temporaryFolder.fileName().startsWith(u"Temp_"_s))
        InstallFiles::removeItem(temporaryFolder.filePath());
    const QString archive = pending.sourceArchiveURL.toLocalFile();
    if (installed && InstallFiles::isInsideFolder(archive, downloads))
        InstallFiles::removeItem(archive);
}

} // namespace

void DownloadManager::resolvePendingInstallation(InstallAction action) {
    if (!m_pendingInstallation || m_resolvingInstallation == m_pendingInstallation->id)
        return;
    m_resolvingInstallation = m_pendingInstallation->id;
    carryOutInstallAction(action, *m_pendingInstallation, applicationsFolder().toLocalFile(),
                          backupsFolder().toLocalFile(), downloadFolder().toLocalFile());
}

// The record of the backup is saved before the installed version moves, and the new version
// waits beside it under a name tied to the record: a kill at any step leaves something that
// start-up recovery settles (recovery.cpp).
QCoro::Task<std::optional<QString>> DownloadManager::updateConfigured(PendingInstallation pending,
                                                                      QString backups) {
    const QPointer<DownloadManager> self(this);
    const std::shared_ptr<FileOperations> files = m_fileOperations;
    const QString extracted = pending.extractedAppURL.toLocalFile();
    const QString old = pending.existingApp->url.toLocalFile();
    AppBackup backup;
    backup.bundleID = pending.existingApp->bundleID;
    backup.appName = pending.existingApp->name;
    backup.version = pending.existingApp->version;
    backup.backupPath = newUuidString();
    backup.originalInstallPath = QFileInfo(old).fileName();
    backup.hadLCAppInfo = true;
    const QString staged = stagedPath(old, backup.backupPath);

    QFuture<std::optional<QString>> staging = QtConcurrent::run([files, extracted, staged] {
        QString error;
        return files->move(extracted, staged, &error) ? std::nullopt : std::optional(error);
    });
    const std::optional<QString> notStaged = co_await staging;
    if (notStaged)
        co_return notStaged;
    if (!self)
        co_return u"The update was abandoned"_s;

    backup.date = QDateTime::currentDateTimeUtc();
    if (!appendPendingBackup(backup)) {
        files->remove(staged, nullptr);
        co_return u"The backup record could not be saved; the installed version was left as it is"_s;
    }

    QFuture<std::optional<QString>> backingUp = QtConcurrent::run(
        [files, old, backups, backup] { return backUpInstalled(*files, old, backups, backup.backupPath); });
    std::optional<QString> error = co_await backingUp;
    if (!self)
        co_return error;
    if (error) {
        files->remove(staged, nullptr);
        removePendingBackup(backup);
        co_return error;
    }

    QFuture<std::optional<QString>> placing =
        QtConcurrent::run([files, staged, old] { return installBackedUp(*files, staged, old); });
    co_return co_await placing;
}

QCoro::Task<> DownloadManager::carryOutInstallAction(InstallAction action, PendingInstallation pending,
                                                     QString applications, QString backups,
                                                     QString downloads) {
    const QPointer<DownloadManager> self(this);
    const std::shared_ptr<FileOperations> files = m_fileOperations;
    const QString extracted = pending.extractedAppURL.toLocalFile();
    std::optional<QString> error;
    bool installed = false;

    // GCC 12 mishandles temporaries inside a co_await expression: each future is made in a
    // statement of its own and awaited as a named value.
    if (action == InstallAction::InstallSeparate) {
        QFuture<std::optional<QString>> moving =
            QtConcurrent::run([pending, applications] { return installSeparately(pending, applications); });
        error = co_await moving;
        installed = !error;
    } else if (action == InstallAction::UpdateExisting && pending.existingApp) {
        const QString old = pending.existingApp->url.toLocalFile();
        const bool configured = LiveContainer::hasAppInfoFile(old);
        if (!configured) {
            QFuture<std::optional<QString>> replacing = QtConcurrent::run(
                [files, extracted, old] { return replaceUnconfigured(*files, extracted, old); });
            error = co_await replacing;
            installed = !error;
        } else {
            error = co_await updateConfigured(pending, backups);
            installed = !error;
            if (!self)
                co_return;
        }
    }
    if (error)
        printLine(u"Finalize install error: "_s + *error);

    QFuture<void> cleaning =
        QtConcurrent::run([pending, installed, downloads] { cleanUp(pending, installed, downloads); });
    co_await cleaning;
    co_await QCoro::sleepFor(kSettleDelay);
    if (!self)
        co_return;

    m_resolvingInstallation.reset();
    // A conflict found meanwhile is the user's next question, not this one.
    if (m_pendingInstallation && m_pendingInstallation->id == pending.id)
        setPendingInstallation(std::nullopt);
    refreshFileList();
    scanInstalledApps();
}

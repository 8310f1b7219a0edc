// Completion: a finished transfer's file moves into the downloads folder under its name, the
// user is told, and every trace of the transfer goes.

#include "downloadmanager.h"

#include "downloads/installfiles.h"
#include "platform/atomicfile.h"
#include "services/notificationmanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// Puts the finished file at destination whole, or leaves what was there: a rename where both lie
// on one file system, else a copy beside the destination renamed over it once complete.
bool placeWhole(const QString &file, const QString &destination, QString *error) {
    if (std::rename(QFile::encodeName(file).constData(), QFile::encodeName(destination).constData()) == 0)
        return true;
    if (errno != EXDEV) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const bool copied = AtomicFile::copy(file, destination, error);
    QFile::remove(file);
    return copied;
}

} // namespace

void DownloadManager::takeDownloadedFile(const TransferTaskPtr &task, const QString &location) {
    const QUrl url = task->originalURL();
    if (url.isEmpty()) {
        QFile::remove(location);
        return;
    }
    finishDownload(url, location);
}

void DownloadManager::endFailedDownload(const QUrl &url, const QString &name, const QString &reason) {
    // Nothing of the transfer is left to continue: a later start begins a new one, and no
    // launch shows a paused download whose bytes are gone.
    removeDownloadStatus(url);
    m_tasks.remove(url);
    clearResumeData(url);
    refreshFileList();
    if (reason.isEmpty())
        return;
    const QString title = tr("Download Failed");
    const QString message = tr("%1 could not be saved: %2").arg(name, reason);
    NotificationManager &notifications = NotificationManager::shared();
    if (notifications.isAppInForeground())
        notifications.showNotification(title, message, NotificationType::Error);
    else
        notifications.sendSystemNotification(title, message);
}

QCoro::Task<> DownloadManager::finishDownload(QUrl url, QString file) {
    const QString folder = downloadFolder().toLocalFile();
    const QString name = downloadFileName(url);
    const QString destination = folder + u'/' + name;
    const QUrl destinationURL = QUrl::fromLocalFile(destination);

    // A download replaces an older file of its name, never a folder (an installed .app bundle
    // can share the folder) nor a link that leads elsewhere; the older file goes only when the
    // new one is whole.
    const QFileInfo existing(destination);
    QString error;
    if (!QDir().mkpath(folder))
        error = tr("Cannot create the folder \"%1\"").arg(folder);
    else if ((existing.exists() || existing.isSymLink()) && (!existing.isFile() || existing.isSymLink()))
        error = tr("Something that is not a downloaded file has its name");
    else if (!placeWhole(file, destination, &error) && error.isEmpty())
        error = tr("The file could not be moved into place");
    if (!error.isEmpty()) {
        QFile::remove(file);
        removeExtractingFile(destinationURL);
        endFailedDownload(url, name, error);
        co_return;
    }

    const QString title = tr("Download Complete");
    const QString message = tr("%1 has been downloaded.").arg(name);
    NotificationManager &notifications = NotificationManager::shared();
    if (notifications.isAppInForeground())
        notifications.showNotification(title, message, NotificationType::Success);
    else
        notifications.sendSystemNotification(title, message);

    if (m_isAutoUnzipEnabled && InstallFiles::pathExtension(name).toLower() == u"ipa"_s) {
        const QPointer<DownloadManager> alive(this);
        const bool converted = co_await convertFinishedDownload(destinationURL);
        // The engine may have gone while the conversion ran.
        if (!alive)
            co_return;
        if (!converted) {
            endFailedDownload(url, name, QString());
            co_return;
        }
    }

    removeDownloadStatus(url);
    m_tasks.remove(url);
    clearResumeData(url);
    refreshFileList();
    scanInstalledApps();
}

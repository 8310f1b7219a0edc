// Completion: a finished transfer's file moves into the downloads folder under its name, the
// user is told, and every trace of the transfer goes.

#include "downloadmanager.h"

#include "downloads/installfiles.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"
#include "services/notificationmanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

void DownloadManager::didFinishDownloading(const TransferTaskPtr &task, const QString &location) {
    // Runs on the session's thread: the file must be out of `location` before this returns.
    const QUrl url = task->originalURL();
    if (url.isEmpty())
        return;
    const QString suffix = QFileInfo(downloadFileName(url)).suffix();
    const QString temporary = StandardDirs::temporary();
    QDir().mkpath(temporary);
    const QString stagingFile =
        temporary + u'/' + newUuidString() + (suffix.isEmpty() ? QString() : u'.' + suffix);
    const bool moved = (!QFileInfo::exists(stagingFile) || QFile::remove(stagingFile)) &&
                       QFile::rename(location, stagingFile);
    if (!moved) {
        QMetaObject::invokeMethod(
            this,
            [this, url, task] {
                removeDownloadStatus(url);
                if (m_tasks.value(url) == task)
                    m_tasks.remove(url);
            },
            Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, url, stagingFile] { finishDownload(url, stagingFile); }, Qt::QueuedConnection);
}

QCoro::Task<> DownloadManager::finishDownload(QUrl url, QString stagingFile) {
    const QString folder = downloadFolder().toLocalFile();
    const QString name = downloadFileName(url);
    const QString destination = folder + u'/' + name;
    const QUrl destinationURL = QUrl::fromLocalFile(destination);

    // A download replaces an older file of its name, never a folder (an installed .app bundle
    // can share the folder) nor a link that leads elsewhere.
    const QFileInfo existing(destination);
    const bool placed = QDir().mkpath(folder) &&
                        (!(existing.exists() || existing.isSymLink()) ||
                         (existing.isFile() && !existing.isSymLink() && QFile::remove(destination))) &&
                        QFile::rename(stagingFile, destination);
    if (!placed) {
        removeDownloadStatus(url);
        refreshFileList();
        removeExtractingFile(destinationURL);
        // The transfer is over: a later start must begin a new one.
        m_tasks.remove(url);
        co_return;
    }

    const QString title = u"Download Complete"_s;
    const QString message = name + u" has been downloaded."_s;
    NotificationManager &notifications = NotificationManager::shared();
    if (notifications.isAppInForeground())
        notifications.showNotification(title, message, NotificationType::success);
    else
        notifications.sendSystemNotification(title, message);

    if (m_isAutoUnzipEnabled && InstallFiles::pathExtension(name).toLower() == u"ipa"_s) {
        if (!co_await convertFinishedDownload(destinationURL)) {
            removeDownloadStatus(url);
            refreshFileList();
            m_tasks.remove(url);
            co_return;
        }
    }

    removeDownloadStatus(url);
    m_tasks.remove(url);
    clearResumeData(url);
    refreshFileList();
    scanInstalledApps();
}

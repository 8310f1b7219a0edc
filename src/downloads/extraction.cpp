// Extraction: an ".ipa" becomes an ".app" in LiveContainer's applications folder, or a pending
// installation when its bundle identifier is already installed; and importing picked files.
//
// The archive and file work runs on worker threads; every change of the engine's state happens
// here on the main thread between the awaited steps.

#include "downloadmanager.h"

#include "downloads/failurereport.h"
#include "downloads/installfiles.h"
#include "downloads/ipaextraction.h"
#include "platform/atomicfile.h"
#include "platform/bookmark.h"
#include "platform/console.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

using namespace Qt::StringLiterals;

namespace {

// Copies beside the destination first and renames over it, so a failed copy leaves the file
// that was there, and importing a file onto itself loses nothing.
QString importCopy(const QString &source, const QString &destination) {
    const QFileInfo sourceInfo(source);
    const QFileInfo destinationInfo(destination);
    if (destinationInfo.exists() && sourceInfo.canonicalFilePath() == destinationInfo.canonicalFilePath())
        return {};
    // Hidden while it is written, so the file list never shows a half-copied file; every write
    // is checked, so a full disk keeps the old file.
    QDir().mkpath(destinationInfo.absolutePath());
    QString error;
    return AtomicFile::copy(source, destination, &error) ? QString() : error;
}

} // namespace

QCoro::Task<std::optional<QString>> DownloadManager::extractIPA(QUrl source) {
    // The folders as they are now, even if the user picks others while the work runs.
    const QString archive = source.toLocalFile();
    const QString applications = applicationsFolder().toLocalFile();
    const QString downloads = downloadFolder().toLocalFile();

    // GCC 12 mishandles temporaries inside a co_await expression: each future is made in a
    // statement of its own and awaited as a named value.
    QFuture<IpaExtraction::Unpacked> unpacking =
        QtConcurrent::run([archive, applications] { return IpaExtraction::unpack(archive, applications); });
    const QPointer<DownloadManager> alive(this);
    const IpaExtraction::Unpacked unpacked = co_await unpacking;
    // An engine that went while the worker ran can take no decision about the app.
    if (!alive) {
        InstallFiles::removeItem(unpacked.temporaryFolder);
        co_return u"The conversion was abandoned"_s;
    }
    if (!unpacked.error.isEmpty())
        co_return unpacked.error;
    if (!unpacked.hasApp())
        co_return std::nullopt;

    // The list as published now, without a rescan.
    if (unpacked.bundleID != u"unknown"_s) {
        if (const LocalApp *existing = installedApp(unpacked.bundleID)) {
            PendingInstallation pending;
            pending.id = QUuid::createUuid();
            pending.appName = existing->name;
            pending.bundleID = unpacked.bundleID;
            pending.tempPayloadURL = QUrl::fromLocalFile(unpacked.payloadFolder);
            pending.extractedAppURL = QUrl::fromLocalFile(unpacked.appFolder);
            pending.sourceArchiveURL = source;
            pending.existingApp = *existing;
            setPendingInstallation(pending);
            co_return std::nullopt;
        }
    }

    QFuture<IpaExtraction::Installed> installing =
        QtConcurrent::run([unpacked, applications, archive, downloads] {
            return IpaExtraction::install(unpacked, applications, archive, downloads);
        });
    const IpaExtraction::Installed installed = co_await installing;
    if (!installed.error.isEmpty())
        co_return installed.error;
    co_return std::nullopt;
}

QCoro::Task<> DownloadManager::convertIPA(QUrl url) {
    insertExtractingFile(url);
    const bool granted = Bookmark::startAccessing(url);
    const QPointer<DownloadManager> alive(this);
    const std::optional<QString> error = co_await extractIPA(url);
    if (granted)
        Bookmark::stopAccessing(url);
    if (!alive)
        co_return;
    if (error) {
        reportFailure(tr("Convert Failed"), u"Convert error: "_s, *error);
        removeExtractingFile(url);
        co_return;
    }
    removeExtractingFile(url);
    if (!m_pendingInstallation) {
        refreshFileList();
        scanInstalledApps();
    }
}

void DownloadManager::beginConvertIPA(const QUrl &url) {
    convertIPA(url);
}

QCoro::Task<> DownloadManager::importFile(QUrl url) {
    const QString source = url.toLocalFile();
    const QString destination = downloadFolder().toLocalFile() + u'/' + url.fileName();
    if (!Bookmark::startAccessing(url)) {
        reportFailure(tr("Import Failed"), u"Import failed: "_s,
                      tr("“%1” could not be opened.").arg(url.fileName()));
        co_return;
    }
    QFuture<QString> copying =
        QtConcurrent::run([source, destination] { return importCopy(source, destination); });
    const QPointer<DownloadManager> alive(this);
    const QString error = co_await copying;
    if (!alive)
        co_return;
    if (!error.isEmpty()) {
        reportFailure(tr("Import Failed"), u"Import failed: "_s, error);
        Bookmark::stopAccessing(url);
        co_return;
    }
    refreshFileList();
    Bookmark::stopAccessing(url);
}

void DownloadManager::beginImportFile(const QUrl &url) {
    importFile(url);
}

QCoro::Task<bool> DownloadManager::convertFinishedDownload(QUrl archive) {
    insertExtractingFile(archive);
    const QPointer<DownloadManager> alive(this);
    const std::optional<QString> error = co_await extractIPA(archive);
    if (!alive)
        co_return false;
    if (error) {
        reportFailure(tr("Convert Failed"), u"Convert error: "_s, *error);
        removeExtractingFile(archive);
        co_return false;
    }
    // An archive that waits for the user's decision stays marked until that is settled.
    if (m_pendingInstallation && m_pendingInstallation->sourceArchiveURL == archive) {
        insertExtractingFile(archive);
        m_conflictMarks.insert(archive);
    } else {
        removeExtractingFile(archive);
    }
    co_return true;
}

void DownloadManager::releaseConflictMark(const PendingInstallation &settled) {
    if (m_conflictMarks.remove(settled.sourceArchiveURL))
        removeExtractingFile(settled.sourceArchiveURL);
}

void DownloadManager::setPendingInstallation(const std::optional<PendingInstallation> &pending) {
    if (m_pendingInstallation == pending)
        return;
    // A record that goes, settled or replaced, no longer holds its archive's busy mark.
    const std::optional<PendingInstallation> previous = std::exchange(m_pendingInstallation, pending);
    if (previous)
        releaseConflictMark(*previous);
    Q_EMIT pendingInstallationChanged();
}

void DownloadManager::insertExtractingFile(const QUrl &file) {
    if (m_extractingFiles.contains(file))
        return;
    m_extractingFiles.insert(file);
    Q_EMIT extractingFilesChanged();
}

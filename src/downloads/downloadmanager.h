#pragma once

#include "downloads/appbackup.h"
#include "downloads/downloadstatus.h"
#include "downloads/fileoperations.h"
#include "downloads/installaction.h"
#include "downloads/pendinginstallation.h"
#include "model/localapp.h"
#include "platform/transfersession.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

using DownloadStates = QHash<QUrl, DownloadStatus>;

// The engine behind every file the app handles: it downloads archives over the background
// transfer session, keeps the downloads folder and its file list, and (with the install side)
// converts, installs and backs up apps in LiveContainer's storage. One instance, created by the
// main window, confined to the main thread; the session's events arrive there as its signals.
//
// Spread over files by concern: downloadmanager.cpp (construction, settings), transfers.cpp
// (downloads and resume data), storage.cpp (folders and file library), completion.cpp (placing a
// finished download), installedapps.cpp (scan, lookups, deleting, launching), extraction.cpp
// (conversion of archives, imports), installation.cpp (settling a bundle-identifier conflict),
// backups.cpp (update backups and their finalisation), recovery.cpp (settling at start-up what a
// kill left half done).
class DownloadManager : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QList<QUrl> fileList READ fileList NOTIFY fileListChanged)
    Q_PROPERTY(QList<LocalApp> installedApps READ installedApps NOTIFY installedAppsChanged)
    Q_PROPERTY(QList<QUrl> extractingFiles READ extractingFileList NOTIFY extractingFilesChanged)
    Q_PROPERTY(QUrl customDownloadFolder READ customDownloadFolderValue NOTIFY customDownloadFolderChanged)
    Q_PROPERTY(QUrl customLiveContainerFolder READ customLiveContainerFolderValue NOTIFY
                   customLiveContainerFolderChanged)
    Q_PROPERTY(QVariant pendingInstallation READ pendingInstallationValue NOTIFY pendingInstallationChanged)
    Q_PROPERTY(QList<AppBackup> pendingBackups READ pendingBackups NOTIFY pendingBackupsChanged)
    Q_PROPERTY(bool isAutoUnzipEnabled READ isAutoUnzipEnabled WRITE setAutoUnzipEnabled NOTIFY
                   isAutoUnzipEnabledChanged)
    Q_PROPERTY(DownloadStates downloadStates READ downloadStates NOTIFY downloadStatesChanged)

public:
    static inline const QString kCustomDownloadFolderKey = QStringLiteral("kCustomDownloadFolderBookmark");
    static inline const QString kCustomLiveContainerFolderKey =
        QStringLiteral("kCustomLiveContainerFolderBookmark");
    static inline const QString kBackgroundSessionID = QStringLiteral("com.kivo.downloadSession");
    static inline const QString kResumeDataMapKey = QStringLiteral("kResumeDataMapKey");
    static inline const QString kPendingBackupsKey = QStringLiteral("kPendingBackupsKey");
    static inline const QString kAutoUnzipEnabledKey = QStringLiteral("kAutoUnzipEnabled");

    explicit DownloadManager(QObject *parent = nullptr);
    // Tests give the session shorter waits and a folder of their choice.
    explicit DownloadManager(const TransferSession::Configuration &session, QObject *parent = nullptr);
    ~DownloadManager() override;

    // Published state.
    const QList<QUrl> &fileList() const { return m_fileList; }
    const QList<LocalApp> &installedApps() const { return m_installedApps; }
    const QSet<QUrl> &extractingFiles() const { return m_extractingFiles; }
    const std::optional<QUrl> &customDownloadFolder() const { return m_customDownloadFolder; }
    const std::optional<QUrl> &customLiveContainerFolder() const { return m_customLiveContainerFolder; }
    const std::optional<PendingInstallation> &pendingInstallation() const { return m_pendingInstallation; }
    const QList<AppBackup> &pendingBackups() const { return m_pendingBackups; }
    bool isAutoUnzipEnabled() const { return m_isAutoUnzipEnabled; }
    void setAutoUnzipEnabled(bool enabled);
    const DownloadStates &downloadStates() const { return m_downloadStates; }
    // The state of one URL; `none` when it has no entry.
    Q_INVOKABLE DownloadStatus downloadStatus(const QUrl &url) const;

    // Plain fields, readable for the screens' helpers and tests.
    TransferSession *urlSession() const { return m_urlSession.get(); }
    const QHash<QUrl, TransferTaskPtr> &tasks() const { return m_tasks; }
    const QHash<QUrl, QByteArray> &resumeDataMap() const { return m_resumeDataMap; }
    const QMap<QString, QString> &diskResumeDataPaths() const { return m_diskResumeDataPaths; }
    // Run once when the session reports that every background event was delivered.
    void setBackgroundCompletionHandler(std::function<void()> handler) {
        m_backgroundCompletionHandler = std::move(handler);
    }

    // Downloads.
    Q_INVOKABLE void startDownload(const QUrl &url);
    Q_INVOKABLE void pauseDownload(const QUrl &url);
    Q_INVOKABLE void resumeDownload(const QUrl &url);
    Q_INVOKABLE void cancelDownload(const QUrl &url);
    void saveResumeData(const QByteArray &data, const QUrl &url);
    std::optional<QByteArray> loadResumeData(const QUrl &url);
    void clearResumeData(const QUrl &url);
    void restoreTasks(const QList<TransferTaskPtr> &liveTasks);

    // Folders, derived on every access.
    Q_INVOKABLE QUrl downloadFolder() const;
    Q_INVOKABLE QUrl applicationsFolder() const;
    std::optional<QUrl> dataContainersFolder() const;
    Q_INVOKABLE QUrl backupsFolder() const;

    // File library.
    Q_INVOKABLE void setCustomFolder(const QUrl &url, bool isLiveContainer);
    // Back to the default folder: the bookmark is forgotten, the property becomes absent.
    Q_INVOKABLE void resetCustomFolder(bool isLiveContainer);
    Q_INVOKABLE void refreshFileList();
    std::optional<QUrl> localFileURL(const QUrl &remote) const;
    Q_INVOKABLE void renameFile(const QUrl &url, const QString &newName);
    Q_INVOKABLE void deleteFile(const QUrl &url);
    Q_INVOKABLE void deleteAllFiles();

    // The name a finished download of this URL gets in the downloads folder: the URL's last path
    // component, decoded, made a single safe file name, with ".ipa" when it has no extension.
    static QString downloadFileName(const QUrl &remote);

    // Installed apps (installedapps.cpp).
    Q_INVOKABLE void scanInstalledApps();
    std::optional<QUrl> findIconFile(const QUrl &appFolder, const QString &base) const;
    Q_INVOKABLE bool hasLCAppInfo(const QString &bundleID) const;
    std::optional<QString> installedVersion(const QString &bundleID) const;
    std::optional<QString> installedFolderName(const QString &bundleID) const;
    // The two lookups for QML: undefined when absent.
    Q_INVOKABLE QVariant installedVersionValue(const QString &bundleID) const;
    Q_INVOKABLE QVariant installedFolderNameValue(const QString &bundleID) const;
    Q_INVOKABLE void deleteInstalledApp(const LocalApp &app);
    // LiveContainer's URL actions: run the app in this folder of the applications folder, or open
    // LiveContainer itself. False when the text is not a valid URL (nothing opens).
    Q_INVOKABLE bool launchApp(const QString &folderName) const;
    Q_INVOKABLE bool openLiveContainer() const;

    // Conversion (extraction.cpp). Each returns when its work has ended; extractIPA gives the
    // failure's description, nothing when it succeeded (a conflict left for the user included).
    QCoro::Task<std::optional<QString>> extractIPA(QUrl source);
    QCoro::Task<> convertIPA(QUrl url);
    QCoro::Task<> importFile(QUrl url);
    // The screens start them and follow extractingFiles and fileList.
    Q_INVOKABLE void beginConvertIPA(const QUrl &url);
    Q_INVOKABLE void beginImportFile(const QUrl &url);
    // Clears the busy mark that an automatic conversion leaves on the archive of a conflict.
    // Clearing or replacing pendingInstallation (setPendingInstallation) calls it.
    void releaseConflictMark(const PendingInstallation &settled);

    // Installation (installation.cpp): carries out the user's answer to pendingInstallation in a
    // background task and returns at once; pendingInstallation becomes absent when it is done.
    Q_INVOKABLE void resolvePendingInstallation(InstallAction action);

    // Update backups (backups.cpp), on the main thread. checkUpdate is true when the backup is
    // settled, false while the update still waits for LiveContainer to run the new version or
    // for a retry; finalizeUpdate is true when it settled the backup.
    Q_INVOKABLE bool checkUpdate(const AppBackup &backup);
    bool finalizeUpdate(const AppBackup &backup);
    Q_INVOKABLE void restoreBackup(const AppBackup &backup);
    Q_INVOKABLE void deleteBackup(const AppBackup &backup, bool deleteContainers);
    // Tests put a failing step into the file work of installs and backups.
    void setFileOperations(std::shared_ptr<FileOperations> operations) {
        m_fileOperations = std::move(operations);
    }

Q_SIGNALS:
    void fileListChanged();
    void installedAppsChanged();
    void extractingFilesChanged();
    void customDownloadFolderChanged();
    void customLiveContainerFolderChanged();
    void pendingInstallationChanged();
    void pendingBackupsChanged();
    void isAutoUnzipEnabledChanged();
    void downloadStatesChanged();

private:
    enum class BookmarkedFolder { downloads, liveContainer };

    void construct(const TransferSession::Configuration &session);

    // Published-state writers: each notifies only on a change.
    void setDownloadStatus(const QUrl &url, const DownloadStatus &status);
    void removeDownloadStatus(const QUrl &url);
    void setFileList(const QList<QUrl> &files);
    void removeExtractingFile(const QUrl &file);
    void insertExtractingFile(const QUrl &file);
    void setInstalledApps(const QList<LocalApp> &apps);
    // Releases the busy mark of the record that goes (releaseConflictMark).
    void setPendingInstallation(const std::optional<PendingInstallation> &pending);

    // Transfers.
    void continueWithTask(const QUrl &url);
    void startTask(const QUrl &url, const TransferTaskPtr &task);
    // A session event belongs to the URL's current transfer, or to no recorded transfer at all;
    // events of a task that was replaced are stale.
    bool isCurrentTask(const QUrl &url, const TransferTaskPtr &task) const;
    bool storeResumeDataPaths();
    static bool isPlainFileName(const QString &name);

    // Storage.
    void restoreBookmark(const QString &key, BookmarkedFolder folder);
    void setCustomFolderValue(BookmarkedFolder folder, const std::optional<QUrl> &url);

    // Completion.
    QCoro::Task<> finishDownload(QUrl url, QString file);
    // Ends a download whose file could not be placed or converted; a reason is shown to the user.
    void endFailedDownload(const QUrl &url, const QString &name, const QString &reason);
    // Automatic conversion of a finished ".ipa"; false when it failed.
    QCoro::Task<bool> convertFinishedDownload(QUrl archive);

    // Installed apps.
    const LocalApp *installedApp(const QString &bundleID) const;

    // Installation.
    QCoro::Task<> carryOutInstallAction(InstallAction action, PendingInstallation pending,
                                        QString applications, QString backups, QString downloads);
    // Updates an app LiveContainer has run, keeping its previous version as a backup; the
    // failure's description, nothing when the new version is in place.
    QCoro::Task<std::optional<QString>> updateConfigured(PendingInstallation pending, QString backups);

    // Start-up recovery (recovery.cpp): settles what a kill left half done, then removes what no
    // record refers to.
    void recoverInterruptedWork();
    void reconcileBackups(const QString &applications, const QString &backups);
    void removeLeftovers(const QString &applications, const QString &backups);
    void cleanUpTransfers();

    // Update backups: every change of the list is saved whole.
    void loadPendingBackups();
    // False, changing nothing, when the list cannot be saved.
    bool setPendingBackups(const QList<AppBackup> &backups);
    bool appendPendingBackup(const AppBackup &backup);
    bool removePendingBackup(const AppBackup &backup);

    // The session's events.
    void showProgress(const TransferTaskPtr &task, qint64 totalBytesWritten, qint64 totalBytesExpected);
    void showWaitingForConnection(const TransferTaskPtr &task);
    void endTask(const TransferTaskPtr &task, const std::optional<TransferError> &error);
    void takeDownloadedFile(const TransferTaskPtr &task, const QString &location);
    void runBackgroundCompletionHandler();

    QList<QUrl> extractingFileList() const { return m_extractingFiles.values(); }
    QUrl customDownloadFolderValue() const { return m_customDownloadFolder.value_or(QUrl()); }
    QUrl customLiveContainerFolderValue() const { return m_customLiveContainerFolder.value_or(QUrl()); }
    QVariant pendingInstallationValue() const {
        return m_pendingInstallation ? QVariant::fromValue(*m_pendingInstallation) : QVariant();
    }

    QList<QUrl> m_fileList;
    QList<LocalApp> m_installedApps;
    QSet<QUrl> m_extractingFiles;
    std::optional<QUrl> m_customDownloadFolder;
    std::optional<QUrl> m_customLiveContainerFolder;
    std::optional<PendingInstallation> m_pendingInstallation;
    QList<AppBackup> m_pendingBackups;
    bool m_isAutoUnzipEnabled = false;
    DownloadStates m_downloadStates;

    std::unique_ptr<TransferSession> m_urlSession;
    QHash<QUrl, TransferTaskPtr> m_tasks;
    QHash<QUrl, QByteArray> m_resumeDataMap;
    std::function<void()> m_backgroundCompletionHandler;
    QMap<QString, QString> m_diskResumeDataPaths;
    // Archives whose busy mark waits for their conflict to be settled.
    QSet<QUrl> m_conflictMarks;
    std::shared_ptr<FileOperations> m_fileOperations = std::make_shared<FileOperations>();
    // The conflict whose answer is being carried out: a second answer to it is ignored.
    std::optional<QUuid> m_resolvingInstallation;
};

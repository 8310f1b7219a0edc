#pragma once

#include "downloads/appbackup.h"
#include "downloads/applicationsfolderwatcher.h"
#include "downloads/downloadmanager.h"
#include "store/appstoreviewmodel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>
#include <optional>

class AppStoreViewModel;
// The main window's behaviour: the start-up sequence, the change handlers that keep update
// detection current, the foreground flag of the notification service, and the state of the
// window-wide prompts (first-run setup, picker help, bundle-identifier conflict, unfinished
// update). The window draws the prompts from these properties and calls back on each button.
class ContentController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    Q_PROPERTY(bool showSetupAlert READ showSetupAlert WRITE setShowSetupAlert NOTIFY showSetupAlertChanged)
    Q_PROPERTY(
        bool showSetupPicker READ showSetupPicker WRITE setShowSetupPicker NOTIFY showSetupPickerChanged)
    Q_PROPERTY(bool showFilePickerHelp READ showFilePickerHelp WRITE setShowFilePickerHelp NOTIFY
                   showFilePickerHelpChanged)
    Q_PROPERTY(bool hasAskedForSetup READ hasAskedForSetup NOTIFY hasAskedForSetupChanged)
    Q_PROPERTY(bool showConflictAlert READ showConflictAlert WRITE setShowConflictAlert NOTIFY
                   showConflictAlertChanged)
    Q_PROPERTY(QString conflictMessage READ conflictMessage NOTIFY showConflictAlertChanged)
    Q_PROPERTY(bool showsCompleteUpdate READ showsCompleteUpdate NOTIFY verificationBackupChanged)
    Q_PROPERTY(QString completeUpdateMessage READ completeUpdateMessage NOTIFY verificationBackupChanged)

public:
    static inline const QString kHasAskedForLiveContainerSetup =
        QStringLiteral("kHasAskedForLiveContainerSetup");
    static constexpr std::chrono::milliseconds kStartupPause{500};
    static constexpr std::chrono::milliseconds kFollowUpDelay{500};

    explicit ContentController(QObject *parent = nullptr);

    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);
    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);

    bool showSetupAlert() const { return m_showSetupAlert; }
    void setShowSetupAlert(bool show);
    bool showSetupPicker() const { return m_showSetupPicker; }
    void setShowSetupPicker(bool show);
    bool showFilePickerHelp() const { return m_showFilePickerHelp; }
    void setShowFilePickerHelp(bool show);
    bool hasAskedForSetup() const { return m_hasAskedForSetup; }
    bool showConflictAlert() const { return m_showConflictAlert; }
    void setShowConflictAlert(bool show);
    QString conflictMessage() const;

    const std::optional<AppBackup> &verificationBackup() const { return m_verificationBackup; }
    void setVerificationBackup(const std::optional<AppBackup> &backup);
    bool showsCompleteUpdate() const { return m_verificationBackup.has_value(); }
    QString completeUpdateMessage() const;

    // Runs the start-up sequence once, when the window is first shown.
    Q_INVOKABLE void start();
    // The window's scene phase: active or not.
    Q_INVOKABLE void setSceneActive(bool active);

    // "Setup LiveContainer" buttons.
    Q_INVOKABLE void selectFolder();
    Q_INVOKABLE void troubleSelecting();
    Q_INVOKABLE void later();
    // The folder picker chose a folder: it becomes LiveContainer's storage folder.
    Q_INVOKABLE void folderPicked(const QUrl &folder);
    // "Open LiveContainer" of "Have trouble selecting?".
    Q_INVOKABLE void openLiveContainerInstall() const;
    // "Open LiveContainer" of "Complete Update"; every button of that alert then dismisses it.
    Q_INVOKABLE void openLiveContainerForBackup() const;
    // "Cancel Update (Restore)" and "Delete Backup".
    Q_INVOKABLE void restoreVerificationBackup();
    Q_INVOKABLE void deleteVerificationBackup();
    Q_INVOKABLE void dismissCompleteUpdate();

    // The buttons of "App Conflict", in their order: "Update Existing", "Install as Separate App",
    // "Cancel".
    enum class ConflictAnswer { UpdateExisting, InstallSeparate, Cancel };
    Q_ENUM(ConflictAnswer)
    Q_INVOKABLE void resolveConflict(ConflictAnswer answer);

    // The task behind start(), for tests that await it.
    QCoro::Task<> startUpSequence();

Q_SIGNALS:
    void storeChanged();
    void downloadManagerChanged();
    void showSetupAlertChanged();
    void showSetupPickerChanged();
    void showFilePickerHelpChanged();
    void hasAskedForSetupChanged();
    void showConflictAlertChanged();
    void verificationBackupChanged();

private:
    void setHasAskedForSetup(bool asked);
    // No apps shown and none cached by an enabled repository: the first show fetches them.
    bool catalogueIsEmpty() const;
    void reconnect();
    void scheduleUpdateCheck();
    void displayAppsDidChange();
    void pendingInstallationDidChange();
    void setupPickerDidClose();
    // Checks the backup with the engine; keeps it for "Complete Update" while it is unsettled.
    void verify(const AppBackup &backup);

    QPointer<AppStoreViewModel> m_store;
    QPointer<DownloadManager> m_downloadManager;
    QList<QMetaObject::Connection> m_connections;
    // The Apps tab follows LiveContainer's folder as it changes on disk.
    std::unique_ptr<ApplicationsFolderWatcher> m_folderWatcher;
    bool m_started = false;

    bool m_showSetupAlert = false;
    bool m_showSetupPicker = false;
    bool m_showFilePickerHelp = false;
    bool m_hasAskedForSetup = false;
    bool m_showConflictAlert = false;
    std::optional<AppBackup> m_verificationBackup;

    qsizetype m_displayAppsCount = 0;
    QUuid m_pendingInstallationID;
    QString m_conflictBundleID;
    QString m_conflictAppName;
};

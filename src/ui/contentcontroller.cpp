#include "ui/contentcontroller.h"

#include "downloads/downloadmanager.h"
#include "downloads/livecontainer.h"
#include "platform/defaultsstore.h"
#include "platform/urlopener.h"
#include "services/notificationmanager.h"
#include "store/appstoreviewmodel.h"

#include <QGuiApplication>
#include <QTimer>

#include <algorithm>

#include <qcoro/qcorotimer.h>

using namespace Qt::StringLiterals;

ContentController::ContentController(QObject *parent)
    : QObject(parent)
    , m_hasAskedForSetup(DefaultsStore().boolValue(kHasAskedForLiveContainerSetup).value_or(false)) {
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) { setSceneActive(state == Qt::ApplicationActive); });
    }
}

void ContentController::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    m_store = store;
    m_displayAppsCount = store ? store->displayApps().size() : 0;
    reconnect();
    Q_EMIT storeChanged();
}

void ContentController::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    m_downloadManager = manager;
    m_folderWatcher = manager ? std::make_unique<ApplicationsFolderWatcher>(manager) : nullptr;
    reconnect();
    Q_EMIT downloadManagerChanged();
    pendingInstallationDidChange();
}

void ContentController::reconnect() {
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    if (m_store) {
        m_connections.append(connect(m_store, &AppStoreViewModel::displayAppsChanged, this,
                                     &ContentController::displayAppsDidChange));
    }
    if (m_downloadManager) {
        m_connections.append(connect(m_downloadManager, &DownloadManager::installedAppsChanged, this,
                                     &ContentController::scheduleUpdateCheck));
        m_connections.append(connect(m_downloadManager, &DownloadManager::pendingInstallationChanged, this,
                                     &ContentController::pendingInstallationDidChange));
    }
}

void ContentController::setShowSetupAlert(bool show) {
    if (m_showSetupAlert == show)
        return;
    m_showSetupAlert = show;
    Q_EMIT showSetupAlertChanged();
}

void ContentController::setShowSetupPicker(bool show) {
    if (m_showSetupPicker == show)
        return;
    m_showSetupPicker = show;
    Q_EMIT showSetupPickerChanged();
    if (!show)
        setupPickerDidClose();
}

void ContentController::setShowFilePickerHelp(bool show) {
    if (m_showFilePickerHelp == show)
        return;
    m_showFilePickerHelp = show;
    Q_EMIT showFilePickerHelpChanged();
}

void ContentController::setHasAskedForSetup(bool asked) {
    if (m_hasAskedForSetup == asked)
        return;
    m_hasAskedForSetup = asked;
    DefaultsStore().setBool(kHasAskedForLiveContainerSetup, asked);
    Q_EMIT hasAskedForSetupChanged();
}

void ContentController::setShowConflictAlert(bool show) {
    if (m_showConflictAlert == show)
        return;
    m_showConflictAlert = show;
    Q_EMIT showConflictAlertChanged();
}

QString ContentController::conflictMessage() const {
    return tr("An app with the Bundle ID '%1' is already installed (%2). Would you like to update it "
              "(preserving data) or install it separately?")
        .arg(m_conflictBundleID, m_conflictAppName);
}

void ContentController::setVerificationBackup(const std::optional<AppBackup> &backup) {
    if (m_verificationBackup == backup)
        return;
    m_verificationBackup = backup;
    Q_EMIT verificationBackupChanged();
}

QString ContentController::completeUpdateMessage() const {
    if (!m_verificationBackup)
        return {};
    return tr("Please run '%1' in LiveContainer to finalize the update, and then return to Kivo.\n\n"
              "If you have already run it and the update is not detected, you can try again or restore "
              "the previous version.")
        .arg(m_verificationBackup->appName);
}

void ContentController::start() {
    if (m_started)
        return;
    m_started = true;
    startUpSequence();
}

bool ContentController::catalogueIsEmpty() const {
    if (!m_store->displayApps().isEmpty())
        return false;
    // The rebuild from the cached apps may not have finished when the window appears: apps cached
    // by an enabled repository will fill the catalogue without a refresh.
    const QList<SavedRepo> enabled = m_store->enabledRepos();
    return std::none_of(enabled.cbegin(), enabled.cend(),
                        [](const SavedRepo &repo) { return repo.cachedApps && !repo.cachedApps->isEmpty(); });
}

QCoro::Task<> ContentController::startUpSequence() {
    const QPointer<ContentController> self(this);
    if (m_store && catalogueIsEmpty())
        co_await m_store->fetchAllRepos();
    if (!self)
        co_return;
    if (m_downloadManager) {
        m_downloadManager->refreshFileList();
        m_downloadManager->scanInstalledApps();
    }
    co_await QCoro::sleepFor(kStartupPause);
    if (!self)
        co_return;
    scheduleUpdateCheck();
    co_await QCoro::sleepFor(kStartupPause);
    if (!self)
        co_return;
    if (!m_hasAskedForSetup && m_downloadManager && !m_downloadManager->customLiveContainerFolder())
        setShowSetupAlert(true);
}

void ContentController::setSceneActive(bool active) {
    NotificationManager::shared().setAppInForeground(active);
    if (!active || !m_downloadManager)
        return;
    if (m_verificationBackup)
        verify(*m_verificationBackup);
    else if (!m_downloadManager->pendingBackups().isEmpty())
        verify(m_downloadManager->pendingBackups().last());
}

void ContentController::verify(const AppBackup &backup) {
    if (!m_downloadManager)
        return;
    if (m_downloadManager->checkUpdate(backup))
        setVerificationBackup(std::nullopt);
    else
        setVerificationBackup(backup);
}

void ContentController::scheduleUpdateCheck() {
    // A main-thread job of its own, after the change that asked for it.
    QTimer::singleShot(0, this, [this] {
        if (m_store && m_downloadManager)
            m_store->checkForUpdates(m_downloadManager->installedApps());
    });
}

void ContentController::displayAppsDidChange() {
    const qsizetype count = m_store ? m_store->displayApps().size() : 0;
    if (count == m_displayAppsCount)
        return;
    m_displayAppsCount = count;
    scheduleUpdateCheck();
}

void ContentController::pendingInstallationDidChange() {
    const std::optional<PendingInstallation> pending =
        m_downloadManager ? m_downloadManager->pendingInstallation() : std::nullopt;
    const QUuid id = pending ? pending->id : QUuid();
    if (id == m_pendingInstallationID)
        return;
    m_pendingInstallationID = id;
    if (pending) {
        m_conflictBundleID = pending->bundleID;
        m_conflictAppName = pending->appName;
        // Also announced when an alert is already up: a newer conflict replaces its text.
        m_showConflictAlert = true;
        Q_EMIT showConflictAlertChanged();
    } else {
        setShowConflictAlert(false);
        // An update just carried out may still wait for LiveContainer to run the new version.
        QTimer::singleShot(kFollowUpDelay, this, [this] {
            if (m_downloadManager && !m_downloadManager->pendingBackups().isEmpty()) {
                const AppBackup last = m_downloadManager->pendingBackups().last();
                if (!m_downloadManager->checkUpdate(last))
                    setVerificationBackup(last);
            }
        });
    }
}

void ContentController::resolveConflict(ConflictAnswer answer) {
    setShowConflictAlert(false);
    if (!m_downloadManager)
        return;
    switch (answer) {
    case ConflictAnswer::UpdateExisting:
        m_downloadManager->resolvePendingInstallation(InstallAction::UpdateExisting);
        break;
    case ConflictAnswer::InstallSeparate:
        m_downloadManager->resolvePendingInstallation(InstallAction::InstallSeparate);
        break;
    case ConflictAnswer::Cancel:
        m_downloadManager->resolvePendingInstallation(InstallAction::Cancel);
        break;
    }
}

void ContentController::setupPickerDidClose() {
    QTimer::singleShot(kFollowUpDelay, this, [this] {
        if (m_downloadManager && !m_downloadManager->customLiveContainerFolder() && m_hasAskedForSetup)
            setShowFilePickerHelp(true);
    });
}

void ContentController::selectFolder() {
    setShowSetupAlert(false);
    setHasAskedForSetup(true);
    setShowSetupPicker(true);
}

void ContentController::troubleSelecting() {
    setShowSetupAlert(false);
    setShowFilePickerHelp(true);
}

void ContentController::later() {
    setShowSetupAlert(false);
    setHasAskedForSetup(true);
}

void ContentController::folderPicked(const QUrl &folder) {
    if (m_downloadManager && folder.isValid() && !folder.isEmpty())
        m_downloadManager->setCustomFolder(folder, true);
}

void ContentController::openLiveContainerInstall() const {
    UrlOpener::shared().open(LiveContainer::kInstallURL.toString());
}

void ContentController::openLiveContainerForBackup() const {
    if (m_verificationBackup)
        UrlOpener::shared().open(LiveContainer::launchURL(m_verificationBackup->originalInstallPath));
}

void ContentController::restoreVerificationBackup() {
    if (m_downloadManager && m_verificationBackup)
        m_downloadManager->restoreBackup(*m_verificationBackup);
}

void ContentController::deleteVerificationBackup() {
    if (m_downloadManager && m_verificationBackup)
        m_downloadManager->deleteBackup(*m_verificationBackup, true);
}

void ContentController::dismissCompleteUpdate() {
    setVerificationBackup(std::nullopt);
}

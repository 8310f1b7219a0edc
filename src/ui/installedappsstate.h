#pragma once

#include "downloads/downloadmanager.h"
#include "model/localapp.h"
#include "store/appstoreviewmodel.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// What the Apps tab does with a tile: launch its app in LiveContainer or ask for the setup,
// delete it (and say what could not be removed), and ask the store engine for updates.
class InstalledAppsState : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)

public:
    // Capitalised because QML reads only capitalised enumerators.
    enum class LaunchResult { Launched, SetupNeeded };
    Q_ENUM(LaunchResult)

    explicit InstalledAppsState(QObject *parent = nullptr);

    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);
    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);

    // A tap on a tile: LiveContainer runs the app from its own folder once LiveContainer has
    // configured the first installed app with its bundle identifier; otherwise the screen asks
    // for the setup.
    Q_INVOKABLE LaunchResult launch(const LocalApp &app) const;
    // "Open LiveContainer" of "Setup Required" for this tile's app.
    Q_INVOKABLE void openLiveContainerForSetup(const LocalApp &app) const;
    // "Delete App". When the rescan still lists the app, a banner names what is left on disk.
    Q_INVOKABLE void deleteApp(const LocalApp &app);
    // "Check Updates", with the installed apps as they are now.
    Q_INVOKABLE void checkForUpdates() const;
    // Pull to refresh.
    Q_INVOKABLE void rescan() const;

Q_SIGNALS:
    void downloadManagerChanged();
    void storeChanged();

private:
    QPointer<DownloadManager> m_downloadManager;
    QPointer<AppStoreViewModel> m_store;
};

#pragma once

#include "downloads/downloadmanager.h"
#include "model/localapp.h"
#include "store/appstoreviewmodel.h"

#include <QAbstractListModel>
#include <QList>
#include <QPointer>
#include <QQmlParserStatus>
#include <QSet>
#include <QtQml/qqmlregistration.h>

// The tiles of the Apps tab: the download engine's installed apps in their order, each marked
// when the store engine knows a newer version of its bundle identifier. A rescan that adds or
// removes apps inserts or removes their rows; the others stay as they are.
class InstalledAppListModel
    : public QAbstractListModel
    , public QQmlParserStatus {
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        AppRole = Qt::UserRole + 1,
        NameRole,
        BundleIDRole,
        VersionRole,
        FolderNameRole,
        IconSourceRole,
        HasUpdateRole,
    };
    Q_ENUM(Role)

    explicit InstalledAppListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);
    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);
    int count() const { return int(m_apps.size()); }

    // The icon provider belongs to the engine that shows the tiles; it is there before any tile
    // asks for an icon.
    void classBegin() override;
    void componentComplete() override {}

Q_SIGNALS:
    void downloadManagerChanged();
    void storeChanged();
    void countChanged();

private:
    void installedAppsDidChange();
    void availableUpdatesDidChange();
    void setApps(const QList<LocalApp> &next);
    bool hasUpdate(const LocalApp &app) const { return m_updatable.contains(app.bundleID); }

    QList<LocalApp> m_apps;
    QSet<QString> m_updatable;
    QPointer<DownloadManager> m_downloadManager;
    QPointer<AppStoreViewModel> m_store;
    QMetaObject::Connection m_installedConnection;
    QMetaObject::Connection m_updatesConnection;
};

#pragma once

#include "model/appitem.h"
#include "store/appstoreviewmodel.h"
#include "ui/appitemlistmodel.h"

#include <QPointer>

// The version history of one app on its detail screen: the store engine's versionsOfApp, asked
// again whenever the catalogue is rebuilt.
class VersionListModel : public AppItemListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(AppItem app READ app WRITE setApp NOTIFY appChanged)

public:
    explicit VersionListModel(QObject *parent = nullptr);

    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);
    const AppItem &app() const { return m_app; }
    void setApp(const AppItem &app);

Q_SIGNALS:
    void storeChanged();
    void appChanged();

private:
    void refresh();

    QPointer<AppStoreViewModel> m_store;
    QMetaObject::Connection m_connection;
    AppItem m_app;
};

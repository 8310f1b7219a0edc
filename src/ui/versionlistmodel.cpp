#include "ui/versionlistmodel.h"

#include "store/appstoreviewmodel.h"

VersionListModel::VersionListModel(QObject *parent)
    : AppItemListModel(parent) {
}

void VersionListModel::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    disconnect(m_connection);
    m_store = store;
    if (store) {
        m_connection =
            connect(store, &AppStoreViewModel::allAppsByVariantChanged, this, &VersionListModel::refresh);
    }
    refresh();
    Q_EMIT storeChanged();
}

void VersionListModel::setApp(const AppItem &app) {
    if (m_app == app)
        return;
    m_app = app;
    refresh();
    Q_EMIT appChanged();
}

void VersionListModel::refresh() {
    setApps(m_store ? m_store->versionsOfApp(m_app) : QList<AppItem>());
}

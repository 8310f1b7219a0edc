#include "ui/cataloguelistmodel.h"

#include "store/appstoreviewmodel.h"

CatalogueListModel::CatalogueListModel(QObject *parent)
    : AppItemListModel(parent) {
}

void CatalogueListModel::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    disconnect(m_connection);
    m_store = store;
    if (store) {
        m_connection = connect(store, &AppStoreViewModel::filteredAppsChanged, this,
                               &CatalogueListModel::filteredAppsDidChange);
    }
    filteredAppsDidChange();
    Q_EMIT storeChanged();
}

void CatalogueListModel::filteredAppsDidChange() {
    setApps(m_store ? m_store->filteredApps() : QList<AppItem>());
}

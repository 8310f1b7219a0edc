#pragma once

#include "store/appstoreviewmodel.h"
#include "ui/appitemlistmodel.h"

#include <QPointer>

// The store screen's rows: the store engine's filteredApps, followed as it changes.
class CatalogueListModel : public AppItemListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)

public:
    explicit CatalogueListModel(QObject *parent = nullptr);

    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);

Q_SIGNALS:
    void storeChanged();

private:
    void filteredAppsDidChange();

    QPointer<AppStoreViewModel> m_store;
    QMetaObject::Connection m_connection;
};

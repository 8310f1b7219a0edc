#pragma once

#include "store/appstoreviewmodel.h"
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

// The store screen's controls beside the list: the "Sort By" picker, the "Source" picker and the
// progress row, each bound to the store engine.
class StoreViewState : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(QStringList sortOptions READ sortOptions CONSTANT)
    Q_PROPERTY(int sortIndex READ sortIndex WRITE setSortIndex NOTIFY sortIndexChanged)
    Q_PROPERTY(bool showsSourcePicker READ showsSourcePicker NOTIFY sourcesChanged)
    // "All Sources", then the name of each enabled repository in tree order.
    Q_PROPERTY(QStringList sourceOptions READ sourceOptions NOTIFY sourcesChanged)
    Q_PROPERTY(int sourceIndex READ sourceIndex WRITE setSourceIndex NOTIFY sourcesChanged)
    Q_PROPERTY(bool showsProgress READ showsProgress NOTIFY progressChanged)
    Q_PROPERTY(QString progressText READ progressText NOTIFY progressChanged)

public:
    explicit StoreViewState(QObject *parent = nullptr);

    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);

    static QStringList sortOptions();
    int sortIndex() const;
    void setSortIndex(int index);

    bool showsSourcePicker() const;
    QStringList sourceOptions() const { return m_sourceOptions; }
    // 0 for "All Sources"; -1 when the selected name is no longer among the sources.
    int sourceIndex() const;
    void setSourceIndex(int index);

    bool showsProgress() const;
    QString progressText() const;

Q_SIGNALS:
    void storeChanged();
    void sortIndexChanged();
    void sourcesChanged();
    void progressChanged();

private:
    void reposDidChange();

    QPointer<AppStoreViewModel> m_store;
    QList<QMetaObject::Connection> m_connections;
    QStringList m_sourceOptions;
};

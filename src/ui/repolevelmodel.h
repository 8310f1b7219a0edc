#pragma once

#include "model/savedrepo.h"
#include "store/appstoreviewmodel.h"

#include <QAbstractListModel>
#include <QList>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

// One level of the repository tree as the "Repos" screen lists it: the top level, or the children
// of one folder, in the store engine's listing order. Rows whose node changed in place are
// updated; rows are reset only when the level gains, loses or reorders nodes.
class RepoLevelModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)
    // Empty for the top level.
    Q_PROPERTY(QString parentID READ parentID WRITE setParentID NOTIFY parentIDChanged)
    // Inside a linked folder the children come from its list: nothing is added or deleted here.
    Q_PROPERTY(bool insideLinkedFolder READ insideLinkedFolder NOTIFY levelChanged)
    Q_PROPERTY(int count READ count NOTIFY levelChanged)

public:
    enum Role {
        RepoRole = Qt::UserRole + 1,
        RepoIDRole,
        NameRole,
        IsFolderRole,
        IsLinkedRole,
        IsEnabledRole,
        // RepoLevelModel::Status.
        StatusRole,
        // Why the last fetch failed; empty unless the status is an error.
        ErrorTextRole,
        IconURLRole,
        AddressRole,
        AppCountRole,
        // "N repos • M apps" of a folder.
        CountsTextRole,
        ContainsDisabledRole,
    };
    Q_ENUM(Role)

    // Capitalised because QML reads only capitalised enumerators.
    enum class Status { Idle, Waiting, Loading, Success, Error };
    Q_ENUM(Status)

    explicit RepoLevelModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);
    const QString &parentID() const { return m_parentID; }
    void setParentID(const QString &id);
    bool insideLinkedFolder() const { return m_insideLinkedFolder; }
    int count() const { return int(m_level.size()); }

    // The node of a row as it was listed; an empty node for a row out of range.
    Q_INVOKABLE SavedRepo repoAt(int row) const;
    // Deletes the nodes of the rows, by id; nothing inside a linked folder.
    Q_INVOKABLE void deleteRows(const QList<int> &rows);

Q_SIGNALS:
    void storeChanged();
    void parentIDChanged();
    void levelChanged();

private:
    void reload();

    QPointer<AppStoreViewModel> m_store;
    QString m_parentID;
    QList<SavedRepo> m_level;
    bool m_insideLinkedFolder = false;
    QList<QMetaObject::Connection> m_connections;
};

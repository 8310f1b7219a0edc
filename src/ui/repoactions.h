#pragma once

#include "model/savedrepo.h"
#include "store/appstoreviewmodel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// What the settings screen, the "Repos" screens and their sheets do beyond calling the store
// engine: the clipboard, the add sheet's reading of its texts, a banner saying what an add or an
// import brought, and the file the share sheet offers.
class RepoActions : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)
    // "Sort Repos By": 0 "Default", 1 "Name", in the order of the engine's options.
    Q_PROPERTY(int repoSortIndex READ repoSortIndex WRITE setRepoSortIndex NOTIFY repoSortIndexChanged)

public:
    // Capitalised because QML reads only capitalised enumerators.
    enum class CopyMode { Json, Url };
    Q_ENUM(CopyMode)

    explicit RepoActions(QObject *parent = nullptr);

    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);
    int repoSortIndex() const;
    void setRepoSortIndex(int index);

    Q_INVOKABLE QString clipboardText() const;
    Q_INVOKABLE void copyText(const QString &text) const;

    // True when some node of the tree is switched off: "Copy as JSON" asks first.
    Q_INVOKABLE bool treeContainsDisabled() const;
    // The whole tree / one node with its subtree, in the mode's text, to the clipboard. An empty
    // export copies nothing.
    Q_INVOKABLE void copyTree(CopyMode mode, bool onlyEnabled) const;
    Q_INVOKABLE void copyNode(const SavedRepo &node, CopyMode mode, bool onlyEnabled) const;
    // The whole tree as JSON in a file for the share sheet; an empty URL when it cannot be written.
    Q_INVOKABLE QUrl writeShareFile() const;

    // The add sheet's "Save" in "Sources" mode: one repository per usable line. Returns how many
    // were added and says so in a banner, or why none were.
    Q_INVOKABLE int addSources(const QString &text, const QString &parentID);
    // The add sheet's "Save" in "Folder" mode: a folder named after its link when no name is
    // given; nothing without a name and a link. True when a folder was added.
    Q_INVOKABLE bool addFolder(const QString &name, const QString &link, const QString &parentID);
    // The folder name the link stands for when no name is typed.
    static QString folderNameFromLink(const QString &link);
    // "Import": returns how many repositories the text brought and says so in a banner.
    Q_INVOKABLE int importJson(const QString &text);

Q_SIGNALS:
    void storeChanged();
    void repoSortIndexChanged();

private:
    qint64 repositoryCount() const;

    QPointer<AppStoreViewModel> m_store;
    QMetaObject::Connection m_sortConnection;
};

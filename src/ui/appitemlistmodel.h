#pragma once

#include "downloads/downloadmanager.h"
#include "model/appitem.h"
#include "ui/installedappsindex.h"

#include <QAbstractListModel>
#include <QList>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// Rows of app items for the store screens, with the badge and "Current" mark that follow the
// download engine's installed apps. Subclasses decide which items; this class turns each new
// list into the smallest change it can describe (rows inserted, removed or changed), so that a
// search keystroke over 100,000 rows does not rebuild every delegate.
class AppItemListModel : public QAbstractListModel {
    Q_OBJECT
    // Above this many separate runs of inserted or removed rows (a search over a large catalogue
    // that keeps a scattered few), one reset costs the views less than the runs.
    static constexpr qsizetype kMaximumRuns = 64;
    // Above this many rows inserted or removed, copying and freeing them one by one here costs
    // more than a reset costs the views, which only build the rows on screen.
    static constexpr qsizetype kMaximumMovedRows = 1000;
    QML_ELEMENT
    QML_UNCREATABLE("A base class: use CatalogueListModel or VersionListModel.")
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        AppRole = Qt::UserRole + 1,
        NameRole,
        BundleIdentifierRole,
        VersionRole,
        DownloadURLRole,
        IconURLRole,
        SourceRepoNameRole,
        SourceLineRole,
        DescriptionRole,
        DetailLineRole,
        BadgeRole,
        IsCurrentRole,
    };
    Q_ENUM(Role)

    explicit AppItemListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);
    int count() const { return int(m_apps.size()); }
    const QList<AppItem> &apps() const { return m_apps; }

    // The item of a row, for opening it; an empty item for a row that does not exist.
    Q_INVOKABLE AppItem appAt(int row) const;

Q_SIGNALS:
    void downloadManagerChanged();
    void countChanged();

protected:
    // Moves the rows to `next`: inserts and removes rows where one list is the other with rows
    // added or taken out, reports changed rows, and resets only when the order itself changed.
    void setApps(QList<AppItem> next);

private:
    void installedAppsDidChange();
    void removeRuns(const QList<std::pair<qsizetype, qsizetype>> &runs);
    void resetTo(QList<AppItem> next, qsizetype oldCount);
    // Runs of rows that `kept` marks as not kept.
    static qsizetype countRuns(const QList<bool> &kept);

    QList<AppItem> m_apps;
    QPointer<DownloadManager> m_downloadManager;
    QMetaObject::Connection m_installedConnection;
    InstalledAppsIndex m_installed;
};

#include "ui/installedapplistmodel.h"

#include "ui/appiconprovider.h"

#include <QQmlEngine>

using namespace Qt::StringLiterals;

namespace {

// Whether `part` is `whole` with some apps taken out; `kept` marks the apps of `whole` in `part`.
bool isSubsequence(const QList<LocalApp> &part, const QList<LocalApp> &whole, QList<bool> &kept) {
    kept.fill(false, whole.size());
    qsizetype j = 0;
    for (qsizetype i = 0; i < whole.size() && j < part.size(); ++i) {
        if (whole.at(i).id() == part.at(j).id()) {
            kept[i] = true;
            ++j;
        }
    }
    return j == part.size();
}

} // namespace

InstalledAppListModel::InstalledAppListModel(QObject *parent)
    : QAbstractListModel(parent) {
}

int InstalledAppListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_apps.size());
}

QVariant InstalledAppListModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const LocalApp &app = m_apps.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return app.name;
    case AppRole:
        return QVariant::fromValue(app);
    case BundleIDRole:
        return app.bundleID;
    case VersionRole:
        return app.version.value_or(QString());
    case FolderNameRole:
        return app.url.fileName();
    case IconSourceRole:
        return AppIconProvider::source(app);
    case HasUpdateRole:
        return hasUpdate(app);
    }
    return {};
}

QHash<int, QByteArray> InstalledAppListModel::roleNames() const {
    return {
        {AppRole, "app"},
        {NameRole, "name"},
        {BundleIDRole, "bundleID"},
        {VersionRole, "version"},
        {FolderNameRole, "folderName"},
        {IconSourceRole, "iconSource"},
        {HasUpdateRole, "hasUpdate"},
    };
}

void InstalledAppListModel::classBegin() {
    QQmlEngine *engine = qmlEngine(this);
    if (engine && !engine->imageProvider(AppIconProvider::kProviderName))
        engine->addImageProvider(AppIconProvider::kProviderName, new AppIconProvider);
}

void InstalledAppListModel::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    disconnect(m_installedConnection);
    m_downloadManager = manager;
    if (manager) {
        m_installedConnection = connect(manager, &DownloadManager::installedAppsChanged, this,
                                        &InstalledAppListModel::installedAppsDidChange);
    }
    installedAppsDidChange();
    Q_EMIT downloadManagerChanged();
}

void InstalledAppListModel::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    disconnect(m_updatesConnection);
    m_store = store;
    if (store) {
        m_updatesConnection = connect(store, &AppStoreViewModel::availableUpdatesChanged, this,
                                      &InstalledAppListModel::availableUpdatesDidChange);
    }
    availableUpdatesDidChange();
    Q_EMIT storeChanged();
}

void InstalledAppListModel::installedAppsDidChange() {
    setApps(m_downloadManager ? m_downloadManager->installedApps() : QList<LocalApp>());
}

void InstalledAppListModel::availableUpdatesDidChange() {
    QSet<QString> updatable;
    if (m_store) {
        const QMap<QString, QString> &updates = m_store->availableUpdates();
        for (auto it = updates.cbegin(); it != updates.cend(); ++it)
            updatable.insert(it.key());
    }
    if (updatable == m_updatable)
        return;
    const QSet<QString> before = std::exchange(m_updatable, updatable);
    for (qsizetype row = 0; row < m_apps.size(); ++row) {
        const QString &bundleID = m_apps.at(row).bundleID;
        if (before.contains(bundleID) != m_updatable.contains(bundleID))
            Q_EMIT dataChanged(index(int(row)), index(int(row)), {HasUpdateRole});
    }
}

void InstalledAppListModel::setApps(const QList<LocalApp> &next) {
    const qsizetype oldCount = m_apps.size();
    QList<bool> kept;
    if (m_apps.isEmpty() || next.isEmpty()) {
        // A first fill or an emptied folder: one reset rather than hundreds of single rows.
        beginResetModel();
        m_apps = next;
        endResetModel();
    } else if (next.size() <= m_apps.size() && isSubsequence(next, m_apps, kept)) {
        // Apps went: remove their rows from the last up, then report the kept rows that changed.
        for (qsizetype row = m_apps.size() - 1; row >= 0; --row) {
            if (kept.at(row))
                continue;
            beginRemoveRows({}, int(row), int(row));
            m_apps.removeAt(row);
            endRemoveRows();
        }
    } else if (isSubsequence(m_apps, next, kept)) {
        for (qsizetype row = 0; row < next.size(); ++row) {
            if (kept.at(row))
                continue;
            beginInsertRows({}, int(row), int(row));
            m_apps.insert(row, next.at(row));
            endInsertRows();
        }
    } else {
        beginResetModel();
        m_apps = next;
        endResetModel();
    }
    for (qsizetype row = 0; row < next.size(); ++row) {
        if (!(m_apps.at(row) == next.at(row))) {
            m_apps[row] = next.at(row);
            Q_EMIT dataChanged(index(int(row)), index(int(row)));
        }
    }
    if (oldCount != m_apps.size())
        Q_EMIT countChanged();
}

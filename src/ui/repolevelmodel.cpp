#include "ui/repolevelmodel.h"

#include "model/urltext.h"

using namespace Qt::StringLiterals;

namespace {

const SavedRepo *findNode(const QList<SavedRepo> &level, const QString &id) {
    for (const SavedRepo &node : level) {
        if (node.id == id)
            return &node;
        if (node.children) {
            if (const SavedRepo *found = findNode(*node.children, id))
                return found;
        }
    }
    return nullptr;
}

bool sameNodesInOrder(const QList<SavedRepo> &a, const QList<SavedRepo> &b) {
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const SavedRepo &x, const SavedRepo &y) { return x.id == y.id; });
}

} // namespace

RepoLevelModel::RepoLevelModel(QObject *parent)
    : QAbstractListModel(parent) {
}

int RepoLevelModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_level.size());
}

QVariant RepoLevelModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const SavedRepo &node = m_level.at(index.row());
    switch (role) {
    case RepoRole:
        return QVariant::fromValue(node);
    case RepoIDRole:
        return node.id;
    case Qt::DisplayRole:
    case NameRole:
        return node.name;
    case IsFolderRole:
        return node.isFolder();
    case IsLinkedRole:
        return node.repoListURL.has_value();
    case IsEnabledRole:
        return node.isEnabled;
    case StatusRole:
        return QVariant::fromValue(static_cast<Status>(node.fetchStatus.kind()));
    case ErrorTextRole:
        return node.fetchStatus.message();
    case IconURLRole:
        return node.iconURL.value_or(QString());
    case AddressRole:
        return node.url ? UrlText::fromUrl(*node.url) : QString();
    case AppCountRole:
        return node.appCount;
    case CountsTextRole:
        return tr("%1 repos • %2 apps").arg(node.repoCount()).arg(node.enabledAppCount());
    case ContainsDisabledRole:
        return node.containsDisabled();
    default:
        return {};
    }
}

QHash<int, QByteArray> RepoLevelModel::roleNames() const {
    return {
        {RepoRole, "repo"},
        {RepoIDRole, "repoID"},
        {NameRole, "name"},
        {IsFolderRole, "isFolder"},
        {IsLinkedRole, "isLinked"},
        {IsEnabledRole, "isEnabled"},
        {StatusRole, "status"},
        {ErrorTextRole, "errorText"},
        {IconURLRole, "iconURL"},
        {AddressRole, "address"},
        {AppCountRole, "appCount"},
        {CountsTextRole, "countsText"},
        {ContainsDisabledRole, "containsDisabled"},
    };
}

void RepoLevelModel::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_store = store;
    if (store) {
        m_connections = {
            connect(store, &AppStoreViewModel::savedReposChanged, this, &RepoLevelModel::reload),
            connect(store, &AppStoreViewModel::repoSortOrderChanged, this, &RepoLevelModel::reload),
        };
    }
    reload();
    Q_EMIT storeChanged();
}

void RepoLevelModel::setParentID(const QString &id) {
    if (m_parentID == id)
        return;
    m_parentID = id;
    reload();
    Q_EMIT parentIDChanged();
}

SavedRepo RepoLevelModel::repoAt(int row) const {
    return row >= 0 && row < m_level.size() ? m_level.at(row) : SavedRepo();
}

void RepoLevelModel::deleteRows(const QList<int> &rows) {
    if (!m_store || m_insideLinkedFolder)
        return;
    // Ids first: each deletion changes the rows.
    QStringList ids;
    for (const int row : rows) {
        if (row >= 0 && row < m_level.size())
            ids.append(m_level.at(row).id);
    }
    for (const QString &id : std::as_const(ids))
        m_store->deleteRepo(id);
}

void RepoLevelModel::reload() {
    QList<SavedRepo> next = m_store ? m_store->childrenForDisplay(m_parentID) : QList<SavedRepo>();
    const SavedRepo *parent =
        m_store && !m_parentID.isEmpty() ? findNode(m_store->savedRepos(), m_parentID) : nullptr;
    const bool linked = parent && parent->repoListURL;
    const qsizetype previousCount = m_level.size();

    if (sameNodesInOrder(m_level, next)) {
        for (qsizetype row = 0; row < next.size(); ++row) {
            if (m_level.at(row) == next.at(row))
                continue;
            m_level[row] = next.at(row);
            Q_EMIT dataChanged(index(int(row)), index(int(row)));
        }
    } else {
        beginResetModel();
        m_level = std::move(next);
        endResetModel();
    }
    if (linked != m_insideLinkedFolder || previousCount != m_level.size()) {
        m_insideLinkedFolder = linked;
        Q_EMIT levelChanged();
    }
}

#include "ui/appitemlistmodel.h"

#include "downloads/downloadmanager.h"
#include "store/backgroundrelease.h"
#include "ui/appitemtexts.h"

using namespace Qt::StringLiterals;

namespace {

// Two items are the same row when they are the same archive from the same repository; the rest
// of the item may change in place.
bool sameRow(const AppItem &a, const AppItem &b) {
    return a.downloadURL == b.downloadURL && a.sourceRepoName == b.sourceRepoName;
}

// Whether `part` is `whole` with elements taken out, both seen from `first` to their ends minus
// `tail`. Fills `kept` with the matched positions of `whole`.
bool isSubsequence(const QList<AppItem> &part, qsizetype partEnd, const QList<AppItem> &whole,
                   qsizetype wholeEnd, qsizetype first, QList<bool> &kept) {
    kept.fill(false, wholeEnd - first);
    qsizetype j = first;
    for (qsizetype i = first; i < wholeEnd && j < partEnd; ++i) {
        if (sameRow(whole[i], part[j])) {
            kept[i - first] = true;
            ++j;
        }
    }
    return j == partEnd;
}

} // namespace

AppItemListModel::AppItemListModel(QObject *parent)
    : QAbstractListModel(parent) {
}

int AppItemListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_apps.size());
}

QVariant AppItemListModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const AppItem &item = m_apps.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return item.name;
    case AppRole:
        return QVariant::fromValue(item);
    case BundleIdentifierRole:
        return item.bundleIdentifier;
    case VersionRole:
        return item.version;
    case DownloadURLRole:
        return item.downloadURL;
    case IconURLRole:
        // A text that is no URL leaves the image empty: the placeholder stays.
        return item.iconURL ? QUrl(*item.iconURL) : QUrl();
    case SourceRepoNameRole:
        return item.sourceRepoName.value_or(QString());
    case SourceLineRole:
        return AppItemTexts::sourceLine(item);
    case DescriptionRole:
        return item.localizedDescription.value_or(QString());
    case DetailLineRole:
        return AppItemTexts::detailLine(item);
    case BadgeRole:
        return InstalledAppsIndex::badgeText(m_installed.badge(item));
    case IsCurrentRole:
        return m_installed.isCurrent(item);
    }
    return {};
}

QHash<int, QByteArray> AppItemListModel::roleNames() const {
    return {
        {AppRole, "app"},
        {NameRole, "name"},
        {BundleIdentifierRole, "bundleIdentifier"},
        {VersionRole, "version"},
        {DownloadURLRole, "downloadURL"},
        {IconURLRole, "iconURL"},
        {SourceRepoNameRole, "sourceRepoName"},
        {SourceLineRole, "sourceLine"},
        {DescriptionRole, "descriptionText"},
        {DetailLineRole, "detailLine"},
        {BadgeRole, "badge"},
        {IsCurrentRole, "isCurrent"},
    };
}

void AppItemListModel::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    disconnect(m_installedConnection);
    m_downloadManager = manager;
    if (manager) {
        m_installedConnection = connect(manager, &DownloadManager::installedAppsChanged, this,
                                        &AppItemListModel::installedAppsDidChange);
    }
    installedAppsDidChange();
    Q_EMIT downloadManagerChanged();
}

AppItem AppItemListModel::appAt(int row) const {
    return row >= 0 && row < m_apps.size() ? m_apps.at(row) : AppItem();
}

void AppItemListModel::installedAppsDidChange() {
    m_installed =
        InstalledAppsIndex(m_downloadManager ? m_downloadManager->installedApps() : QList<LocalApp>());
    if (!m_apps.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_apps.size()) - 1), {BadgeRole, IsCurrentRole});
}

void AppItemListModel::setApps(QList<AppItem> next) {
    // Both lists are shared with the engine: reading them through a non-const operator[] would
    // copy tens of thousands of items on the main thread.
    const QList<AppItem> &shown = m_apps;
    const QList<AppItem> &incoming = next;
    const qsizetype oldCount = m_apps.size();
    const qsizetype newCount = next.size();

    qsizetype prefix = 0;
    while (prefix < oldCount && prefix < newCount && sameRow(shown[prefix], incoming[prefix]))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < oldCount - prefix && suffix < newCount - prefix &&
           sameRow(shown[oldCount - 1 - suffix], incoming[newCount - 1 - suffix]))
        ++suffix;
    const qsizetype oldEnd = oldCount - suffix;
    const qsizetype newEnd = newCount - suffix;

    QList<bool> kept;
    if (oldEnd == prefix && newEnd == prefix) {
        // Same rows in the same order: at most their contents changed.
    } else if (newEnd - prefix < oldEnd - prefix &&
               isSubsequence(next, newEnd, m_apps, oldEnd, prefix, kept)) {
        // Rows taken out (a narrower search): remove each run of dropped rows.
        QList<std::pair<qsizetype, qsizetype>> runs;
        for (qsizetype i = 0; i < kept.size(); ++i) {
            if (kept[i])
                continue;
            if (!runs.isEmpty() && runs.last().second == prefix + i - 1)
                runs.last().second = prefix + i;
            else
                runs.append({prefix + i, prefix + i});
        }
        if (runs.size() > kMaximumRuns || oldEnd - newEnd > kMaximumMovedRows) {
            resetTo(std::move(next), oldCount);
            return;
        }
        removeRuns(runs);
    } else if (oldEnd - prefix < newEnd - prefix &&
               isSubsequence(m_apps, oldEnd, next, newEnd, prefix, kept)) {
        // Rows added (a wider search): insert each run of new rows, front to back, so that every
        // row before the run already stands where it will stay.
        if (countRuns(kept) > kMaximumRuns || newEnd - oldEnd > kMaximumMovedRows) {
            resetTo(std::move(next), oldCount);
            return;
        }
        qsizetype i = 0;
        while (i < kept.size()) {
            if (kept[i]) {
                ++i;
                continue;
            }
            const qsizetype first = i;
            while (i < kept.size() && !kept[i])
                ++i;
            beginInsertRows({}, int(prefix + first), int(prefix + i - 1));
            m_apps.insert(prefix + first, i - first, AppItem());
            for (qsizetype k = first; k < i; ++k)
                m_apps[prefix + k] = incoming[prefix + k];
            endInsertRows();
        }
    } else {
        // A new order or a different set: nothing smaller describes it.
        resetTo(std::move(next), oldCount);
        return;
    }

    // Every row now stands for the same item as in `next`; report the rows whose content moved on.
    qsizetype runStart = -1;
    for (qsizetype i = 0; i <= newCount; ++i) {
        const bool changed = i < newCount && !(shown[i] == incoming[i]);
        if (changed) {
            m_apps[i] = incoming[i];
            if (runStart < 0)
                runStart = i;
        } else if (runStart >= 0) {
            Q_EMIT dataChanged(index(int(runStart)), index(int(i - 1)));
            runStart = -1;
        }
    }
    if (oldCount != newCount)
        Q_EMIT countChanged();
}

void AppItemListModel::resetTo(QList<AppItem> next, qsizetype oldCount) {
    beginResetModel();
    // The replaced rows may be the last reference to thousands of items.
    releaseInBackground(std::exchange(m_apps, std::move(next)));
    endResetModel();
    if (oldCount != m_apps.size())
        Q_EMIT countChanged();
}

qsizetype AppItemListModel::countRuns(const QList<bool> &kept) {
    qsizetype runs = 0;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (!kept[i] && (i == 0 || kept[i - 1]))
            ++runs;
    }
    return runs;
}

void AppItemListModel::removeRuns(const QList<std::pair<qsizetype, qsizetype>> &runs) {
    // Back to front, so that the positions of the runs still to go stay valid.
    for (auto run = runs.crbegin(); run != runs.crend(); ++run) {
        beginRemoveRows({}, int(run->first), int(run->second));
        m_apps.remove(run->first, run->second - run->first + 1);
        endRemoveRows();
    }
}

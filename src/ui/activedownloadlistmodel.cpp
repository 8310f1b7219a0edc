#include "ui/activedownloadlistmodel.h"

#include "model/urltext.h"
#include "ui/bytecount.h"

#include <algorithm>

using namespace Qt::StringLiterals;

ActiveDownloadListModel::ActiveDownloadListModel(QObject *parent)
    : QAbstractListModel(parent) {
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kRedrawInterval);
    connect(&m_flushTimer, &QTimer::timeout, this, &ActiveDownloadListModel::flushPending);
}

int ActiveDownloadListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ActiveDownloadListModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    const DownloadStatus &status = row.shown;
    switch (role) {
    case Qt::DisplayRole:
    case FileNameRole:
        return row.url.adjusted(QUrl::StripTrailingSlash).fileName();
    case UrlRole:
        return row.url;
    case KindRole:
        return int(status.kind());
    case ProgressRole:
        return std::clamp(status.progress(), 0.01, 1.0);
    case PercentRole:
        return int(status.progress() * 100);
    case BytesTextRole: {
        if (status.kind() != DownloadStatus::Case::Downloading)
            return QString();
        const QString written = formatByteCount(status.written());
        if (status.total() >= 1)
            return QString(written + u" / "_s + formatByteCount(status.total()));
        if (const std::optional<qint64> size = catalogueSize(row.key))
            return QString(written + u" / "_s + formatByteCount(*size));
        return written;
    }
    }
    return {};
}

QHash<int, QByteArray> ActiveDownloadListModel::roleNames() const {
    return {
        {UrlRole, "url"},           {FileNameRole, "fileName"}, {KindRole, "kind"},
        {ProgressRole, "progress"}, {PercentRole, "percent"},   {BytesTextRole, "bytesText"},
    };
}

void ActiveDownloadListModel::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    disconnect(m_statesConnection);
    m_downloadManager = manager;
    if (manager)
        m_statesConnection =
            connect(manager, &DownloadManager::downloadStatesChanged, this, &ActiveDownloadListModel::follow);
    follow();
    Q_EMIT downloadManagerChanged();
}

void ActiveDownloadListModel::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    disconnect(m_catalogueConnection);
    m_store = store;
    m_catalogueSizes.reset();
    if (store) {
        m_catalogueConnection = connect(store, &AppStoreViewModel::allAppsByVariantChanged, this, [this] {
            m_catalogueSizes.reset();
            if (!m_rows.isEmpty())
                Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), {BytesTextRole});
        });
    }
    Q_EMIT storeChanged();
}

std::optional<qint64> ActiveDownloadListModel::catalogueSize(const QString &address) const {
    if (!m_store)
        return std::nullopt;
    if (!m_catalogueSizes) {
        QHash<QString, qint64> sizes;
        for (const QList<AppItem> &variants : m_store->allAppsByVariant()) {
            for (const AppItem &item : variants) {
                if (item.size)
                    sizes.insert(item.downloadURL, *item.size);
            }
        }
        m_catalogueSizes = std::move(sizes);
    }
    const auto found = m_catalogueSizes->constFind(address);
    if (found == m_catalogueSizes->cend())
        return std::nullopt;
    return *found;
}

void ActiveDownloadListModel::follow() {
    struct Entry {
        QString key;
        QUrl url;
        DownloadStatus status;
    };
    QList<Entry> entries;
    if (m_downloadManager) {
        const DownloadStates &states = m_downloadManager->downloadStates();
        entries.reserve(states.size());
        for (auto it = states.cbegin(); it != states.cend(); ++it)
            entries.append({UrlText::fromUrl(it.key()), it.key(), it.value()});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.key < b.key; });

    const int before = count();
    // Both lists are in key order: walk them together, removing, inserting and updating rows.
    qsizetype i = 0;
    for (const Entry &entry : std::as_const(entries)) {
        while (i < m_rows.size() && m_rows.at(i).key < entry.key) {
            beginRemoveRows({}, int(i), int(i));
            m_rows.removeAt(i);
            endRemoveRows();
        }
        if (i == m_rows.size() || m_rows.at(i).key != entry.key) {
            beginInsertRows({}, int(i), int(i));
            m_rows.insert(i, Row{entry.url, entry.key, entry.status, std::nullopt});
            endInsertRows();
        } else {
            Row &row = m_rows[i];
            if (row.shown == entry.status) {
                row.pending.reset();
            } else if (row.shown.kind() == entry.status.kind()) {
                // Only the numbers moved: drawn with every other row at the next tick.
                row.pending = entry.status;
                if (!m_flushTimer.isActive())
                    m_flushTimer.start();
            } else {
                row.shown = entry.status;
                row.pending.reset();
                Q_EMIT dataChanged(index(int(i)), index(int(i)));
            }
        }
        ++i;
    }
    if (i < m_rows.size()) {
        beginRemoveRows({}, int(i), int(m_rows.size()) - 1);
        m_rows.remove(i, m_rows.size() - i);
        endRemoveRows();
    }
    if (count() != before)
        Q_EMIT countChanged();
}

void ActiveDownloadListModel::flushPending() {
    // One signal over the span of changed rows: the rows between read the same values again,
    // which costs less than a signal per row.
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        Row &row = m_rows[i];
        if (!row.pending)
            continue;
        row.shown = *row.pending;
        row.pending.reset();
        if (first < 0)
            first = i;
        last = i;
    }
    if (first >= 0)
        Q_EMIT dataChanged(index(int(first)), index(int(last)), {ProgressRole, PercentRole, BytesTextRole});
}

void ActiveDownloadListModel::toggle(int row) {
    if (!m_downloadManager || row < 0 || row >= m_rows.size())
        return;
    const Row &entry = m_rows.at(row);
    // The state the user sees decides, not one that is still to be drawn.
    if (entry.shown.kind() == DownloadStatus::Case::Paused)
        m_downloadManager->resumeDownload(entry.url);
    else
        m_downloadManager->pauseDownload(entry.url);
}

void ActiveDownloadListModel::cancel(int row) {
    if (m_downloadManager && row >= 0 && row < m_rows.size())
        m_downloadManager->cancelDownload(m_rows.at(row).url);
}

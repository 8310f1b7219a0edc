#include "ui/downloadfilelistmodel.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

DownloadFileListModel::DownloadFileListModel(QObject *parent)
    : QAbstractListModel(parent) {
}

int DownloadFileListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_files.size());
}

bool DownloadFileListModel::isArchive(const QUrl &file) {
    const QString name = file.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return false;
    const QString extension = name.mid(dot + 1).toLower();
    return extension == u"ipa"_s || extension == u"zip"_s;
}

QVariant DownloadFileListModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QUrl &file = m_files.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case FileNameRole:
        return file.fileName();
    case UrlRole:
        return file;
    case IsArchiveRole:
        return isArchive(file);
    case IsExtractingRole:
        return m_extracting.at(index.row());
    }
    return {};
}

QHash<int, QByteArray> DownloadFileListModel::roleNames() const {
    return {{UrlRole, "url"},
            {FileNameRole, "fileName"},
            {IsArchiveRole, "isArchive"},
            {IsExtractingRole, "isExtracting"}};
}

void DownloadFileListModel::setDownloadManager(DownloadManager *manager) {
    if (m_downloadManager == manager)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_downloadManager = manager;
    if (manager) {
        m_connections = {
            connect(manager, &DownloadManager::fileListChanged, this, &DownloadFileListModel::followFiles),
            connect(manager, &DownloadManager::extractingFilesChanged, this,
                    &DownloadFileListModel::followExtracting),
        };
    }
    followFiles();
    Q_EMIT downloadManagerChanged();
}

void DownloadFileListModel::followFiles() {
    const QList<QUrl> files = m_downloadManager ? m_downloadManager->fileList() : QList<QUrl>();
    const QSet<QUrl> noneExtracting;
    const QSet<QUrl> &extracting = m_downloadManager ? m_downloadManager->extractingFiles() : noneExtracting;
    const int before = count();
    // What lies between the common beginning and the common end changed; the rest stays.
    qsizetype head = 0;
    while (head < files.size() && head < m_files.size() && files.at(head) == m_files.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < files.size() - head && tail < m_files.size() - head &&
           files.at(files.size() - 1 - tail) == m_files.at(m_files.size() - 1 - tail))
        ++tail;
    const qsizetype removed = m_files.size() - head - tail;
    const qsizetype inserted = files.size() - head - tail;
    if (removed > 0 && inserted > 0 && removed + inserted > 2) {
        // Much moved at once (another folder, a new order): start again.
        beginResetModel();
        m_files = files;
        m_extracting.resize(m_files.size());
        for (qsizetype i = 0; i < m_files.size(); ++i)
            m_extracting[i] = extracting.contains(m_files.at(i));
        endResetModel();
    } else {
        if (removed > 0) {
            beginRemoveRows({}, int(head), int(head + removed - 1));
            m_files.remove(head, removed);
            m_extracting.remove(head, removed);
            endRemoveRows();
        }
        if (inserted > 0) {
            beginInsertRows({}, int(head), int(head + inserted - 1));
            for (qsizetype i = 0; i < inserted; ++i) {
                m_files.insert(head + i, files.at(head + i));
                m_extracting.insert(head + i, extracting.contains(files.at(head + i)));
            }
            endInsertRows();
        }
    }
    if (count() != before)
        Q_EMIT countChanged();
    followExtracting();
}

void DownloadFileListModel::followExtracting() {
    if (!m_downloadManager)
        return;
    const QSet<QUrl> &extracting = m_downloadManager->extractingFiles();
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        const bool busy = extracting.contains(m_files.at(i));
        if (m_extracting.at(i) != busy) {
            m_extracting[i] = busy;
            Q_EMIT dataChanged(index(int(i)), index(int(i)), {IsExtractingRole});
        }
    }
}

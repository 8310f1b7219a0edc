#include "ui/downloadfilelistmodel.h"

#include <QSet>

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
    // Files that went leave their rows and new files get rows where the list has them, as long as
    // the files that stay keep their order; anything else (another folder) starts again.
    const QSet<QUrl> kept(files.cbegin(), files.cend());
    for (qsizetype end = m_files.size(); end > 0;) {
        if (kept.contains(m_files.at(end - 1))) {
            --end;
            continue;
        }
        qsizetype start = end - 1;
        while (start > 0 && !kept.contains(m_files.at(start - 1)))
            --start;
        beginRemoveRows({}, int(start), int(end - 1));
        m_files.remove(start, end - start);
        m_extracting.remove(start, end - start);
        endRemoveRows();
        end = start;
    }
    const QSet<QUrl> present(m_files.cbegin(), m_files.cend());
    QList<QUrl> staying;
    for (const QUrl &file : files) {
        if (present.contains(file))
            staying.append(file);
    }
    if (staying != m_files) {
        beginResetModel();
        m_files = files;
        m_extracting.resize(m_files.size());
        for (qsizetype i = 0; i < m_files.size(); ++i)
            m_extracting[i] = extracting.contains(m_files.at(i));
        endResetModel();
    } else {
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (i < m_files.size() && m_files.at(i) == files.at(i))
                continue;
            qsizetype end = i;
            while (end < files.size() && !present.contains(files.at(end)))
                ++end;
            beginInsertRows({}, int(i), int(end - 1));
            for (qsizetype k = i; k < end; ++k) {
                m_files.insert(k, files.at(k));
                m_extracting.insert(k, extracting.contains(files.at(k)));
            }
            endInsertRows();
            i = end - 1;
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

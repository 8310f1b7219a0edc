#pragma once

#include "downloads/downloadmanager.h"

#include <QAbstractListModel>
#include <QList>
#include <QPointer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// The rows of "Files": the engine's file list of the downloads folder in its order, each marked
// while it is being converted. A rename, delete or import moves only the rows it touches.
class DownloadFileListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        UrlRole = Qt::UserRole + 1,
        FileNameRole,
        // ".ipa" and ".zip", whatever their case: the archives that convert into an app.
        IsArchiveRole,
        IsExtractingRole,
    };
    Q_ENUM(Role)

    explicit DownloadFileListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);
    int count() const { return int(m_files.size()); }

    Q_INVOKABLE QUrl fileAt(int row) const {
        return row >= 0 && row < m_files.size() ? m_files.at(row) : QUrl();
    }
    static bool isArchive(const QUrl &file);

Q_SIGNALS:
    void downloadManagerChanged();
    void countChanged();

private:
    void followFiles();
    void followExtracting();

    QPointer<DownloadManager> m_downloadManager;
    QList<QMetaObject::Connection> m_connections;
    QList<QUrl> m_files;
    QList<bool> m_extracting;
};

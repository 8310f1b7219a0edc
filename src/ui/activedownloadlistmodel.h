#pragma once

#include "downloads/downloadmanager.h"
#include "downloads/downloadstatus.h"
#include "store/appstoreviewmodel.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <optional>

// The rows of "Active Downloads": one per entry of the engine's downloadStates, in the plain
// string order of their addresses. Progress reaches the rows together, once every
// kRedrawInterval however often data arrives, so that many transfers cost one frame per tick; a
// change of state (paused, waiting) shows at once.
class ActiveDownloadListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    // Supplies the catalogue's size of a transfer whose server sends no length.
    Q_PROPERTY(AppStoreViewModel *store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    static constexpr int kRedrawInterval = 100; // milliseconds

    enum Role {
        UrlRole = Qt::UserRole + 1,
        FileNameRole,
        // DownloadStatus::Case as an integer: QML cannot name lower-case enumerators.
        KindRole,
        // The ring's arc, at least 0.01 so that a start is visible.
        ProgressRole,
        // The progress in whole percent, truncated.
        PercentRole,
        // "written / total", "written / catalogue size" or "written".
        BytesTextRole,
    };
    Q_ENUM(Role)

    explicit ActiveDownloadListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);
    AppStoreViewModel *store() const { return m_store; }
    void setStore(AppStoreViewModel *store);
    int count() const { return int(m_rows.size()); }

    // The row's tap on the ring: resume a paused transfer, pause any other.
    Q_INVOKABLE void toggle(int row);
    Q_INVOKABLE void cancel(int row);

Q_SIGNALS:
    void downloadManagerChanged();
    void storeChanged();
    void countChanged();

private:
    struct Row {
        QUrl url;
        QString key; // the address's text, the order of the rows
        DownloadStatus shown;
        std::optional<DownloadStatus> pending;
    };

    void follow();
    void flushPending();
    std::optional<qint64> catalogueSize(const QString &address) const;

    QPointer<DownloadManager> m_downloadManager;
    QPointer<AppStoreViewModel> m_store;
    QMetaObject::Connection m_statesConnection;
    QMetaObject::Connection m_catalogueConnection;
    QList<Row> m_rows;
    QTimer m_flushTimer;
    // Catalogue sizes by download address, built on first need.
    mutable std::optional<QHash<QString, qint64>> m_catalogueSizes;
};

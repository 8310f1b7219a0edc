#pragma once

#include "downloads/downloadmanager.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

// What the Download tab does with the address the user typed.
class DirectDownloadState : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    // The picked downloads folder's name; empty while the default folder is used.
    Q_PROPERTY(QString customFolderName READ customFolderName NOTIFY customFolderNameChanged)

public:
    explicit DirectDownloadState(QObject *parent = nullptr);

    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);
    QString customFolderName() const;

    // Trims the text, puts "https://" in front of an address without a web scheme and starts
    // its download. False when the text is not an address: nothing starts and the field keeps it.
    Q_INVOKABLE bool startTypedDownload(const QString &text);

Q_SIGNALS:
    void downloadManagerChanged();
    void customFolderNameChanged();

private:
    QPointer<DownloadManager> m_downloadManager;
    QMetaObject::Connection m_folderConnection;
};

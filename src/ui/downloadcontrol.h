#pragma once

#include "downloads/downloadmanager.h"
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// The state behind one download button: which of its five faces it shows for an item's download
// address, and what a tap does. Follows the engine's downloads and its downloads folder.
class DownloadControl : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    Q_PROPERTY(QString downloadURL READ downloadURL WRITE setDownloadURL NOTIFY downloadURLChanged)
    Q_PROPERTY(Face face READ face NOTIFY stateChanged)
    // The arc of the ring: the transfer's fraction, at least 0.01 so that a start is visible.
    Q_PROPERTY(double progress READ progress NOTIFY stateChanged)
    // The downloaded file, when face is file.
    Q_PROPERTY(QUrl fileURL READ fileURL NOTIFY stateChanged)

public:
    // In the order the faces are chosen: the first that applies wins. Capitalised because QML
    // reads only capitalised enumerators.
    enum class Face { File, Downloading, Paused, WaitingForConnection, Get };
    Q_ENUM(Face)

    explicit DownloadControl(QObject *parent = nullptr);

    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);
    const QString &downloadURL() const { return m_downloadURL; }
    void setDownloadURL(const QString &url);

    Face face() const { return m_face; }
    double progress() const { return m_progress; }
    QUrl fileURL() const { return m_fileURL; }

    // The tap on any face but file (which opens the share sheet): start, pause or resume.
    Q_INVOKABLE void activate();

Q_SIGNALS:
    void downloadManagerChanged();
    void downloadURLChanged();
    void stateChanged();

private:
    void update();
    // The address as a URL; nothing when the text does not parse as one.
    std::optional<QUrl> parsedURL() const;

    QPointer<DownloadManager> m_downloadManager;
    QList<QMetaObject::Connection> m_connections;
    QString m_downloadURL;
    Face m_face = Face::Get;
    double m_progress = 0;
    QUrl m_fileURL;
};

#pragma once

#include "downloads/downloadmanager.h"
#include "model/appitem.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// What the detail screen shows about one app beyond its record: its texts, whether it is
// installed (the "OPEN" button), and what "OPEN" does.
class AppDetailState : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(DownloadManager *downloadManager READ downloadManager WRITE setDownloadManager NOTIFY
                   downloadManagerChanged)
    Q_PROPERTY(AppItem app READ app WRITE setApp NOTIFY appChanged)
    Q_PROPERTY(bool isInstalled READ isInstalled NOTIFY installedChanged)
    Q_PROPERTY(QString versionLine READ versionLine NOTIFY appChanged)
    Q_PROPERTY(QString sourceRepoName READ sourceRepoName NOTIFY appChanged)
    Q_PROPERTY(QString aboutText READ aboutText NOTIFY appChanged)
    Q_PROPERTY(QUrl iconURL READ iconURL NOTIFY appChanged)
    Q_PROPERTY(QList<QUrl> screenshotURLs READ screenshotURLs NOTIFY appChanged)

public:
    // Capitalised because QML reads only capitalised enumerators.
    enum class OpenResult { NothingInstalled, Launched, SetupNeeded };
    Q_ENUM(OpenResult)

    explicit AppDetailState(QObject *parent = nullptr);

    DownloadManager *downloadManager() const { return m_downloadManager; }
    void setDownloadManager(DownloadManager *manager);
    const AppItem &app() const { return m_app; }
    void setApp(const AppItem &app);

    bool isInstalled() const;
    QString versionLine() const;
    QString sourceRepoName() const { return m_app.sourceRepoName.value_or(QString()); }
    QString aboutText() const;
    QUrl iconURL() const;
    // Screenshot addresses that are URLs at all, in order.
    QList<QUrl> screenshotURLs() const;

    // "OPEN": launches the first installed app with the bundle identifier through LiveContainer
    // when LiveContainer has configured it; otherwise the screen asks the user to set it up.
    Q_INVOKABLE OpenResult open() const;
    // "Open LiveContainer" of "Setup Required": the launch URL of the installed folder, or of
    // "Unknown" when the folder is not known.
    Q_INVOKABLE void openLiveContainerForSetup() const;

Q_SIGNALS:
    void downloadManagerChanged();
    void appChanged();
    void installedChanged();

private:
    QPointer<DownloadManager> m_downloadManager;
    QMetaObject::Connection m_connection;
    AppItem m_app;
};

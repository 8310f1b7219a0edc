#pragma once

#include <QQmlNetworkAccessManagerFactory>
#include <QString>

// Gives QML's images (app icons, screenshots) a network client with a disk cache, so icons seen
// once draw at once on the next launch and scrolling does not fetch them again.
class CachingNetworkAccessManagerFactory : public QQmlNetworkAccessManagerFactory {
public:
    static constexpr qint64 kMaximumCacheSize = 200LL * 1000 * 1000;

    // The cache lives in `cacheFolder`; by default "images" under the app's caches.
    explicit CachingNetworkAccessManagerFactory(QString cacheFolder = {});

    QNetworkAccessManager *create(QObject *parent) override;

private:
    QString m_cacheFolder;
};

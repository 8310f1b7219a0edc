#include "ui/cachingnetworkaccessmanagerfactory.h"

#include "platform/standarddirs.h"

#include <QNetworkAccessManager>
#include <QNetworkDiskCache>

using namespace Qt::StringLiterals;

namespace {

// Images are addressed by URL and rarely change: a cached copy is used whatever its age, and the
// network is asked only for what the cache lacks.
class PreferCacheNetworkAccessManager : public QNetworkAccessManager {
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &original, QIODevice *data) override {
        QNetworkRequest request(original);
        if (op == GetOperation)
            request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

} // namespace

CachingNetworkAccessManagerFactory::CachingNetworkAccessManagerFactory(QString cacheFolder)
    : m_cacheFolder(cacheFolder.isEmpty() ? StandardDirs::caches() + u"/images"_s : std::move(cacheFolder)) {
}

QNetworkAccessManager *CachingNetworkAccessManagerFactory::create(QObject *parent) {
    // Called on QML's loader threads: each gets its own manager over the same folder.
    auto *manager = new PreferCacheNetworkAccessManager(parent);
    auto *cache = new QNetworkDiskCache(manager);
    cache->setCacheDirectory(m_cacheFolder);
    cache->setMaximumCacheSize(kMaximumCacheSize);
    manager->setCache(cache);
    manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    manager->setTransferTimeout(30000);
    return manager;
}

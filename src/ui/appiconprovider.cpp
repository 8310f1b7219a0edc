#include "ui/appiconprovider.h"

#include <QBuffer>
#include <QCache>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QRunnable>
#include <QThreadPool>

using namespace Qt::StringLiterals;

// Decoded icons by file, size and modification time, shared by the worker threads. Bounded by
// bytes: 500 tiles of 140-pixel icons take about 40 MB.
class AppIconCache {
public:
    std::optional<QImage> find(const QString &key) {
        const QMutexLocker lock(&m_mutex);
        if (const QImage *image = m_images.object(key))
            return *image;
        return std::nullopt;
    }
    void insert(const QString &key, const QImage &image) {
        const QMutexLocker lock(&m_mutex);
        m_images.insert(key, new QImage(image), qMax<qsizetype>(1, image.sizeInBytes() / 1024));
    }

private:
    QMutex m_mutex;
    QCache<QString, QImage> m_images{48 * 1024};
};

namespace {

QImage fallbackImage() {
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// One request: runs on the pool, reports from there; the engine deletes it once it is finished.
class AppIconResponse
    : public QQuickImageResponse
    , public QRunnable {
public:
    AppIconResponse(QString appFolder, QString iconPath, QSize size, std::shared_ptr<AppIconCache> cache)
        : m_appFolder(std::move(appFolder))
        , m_iconPath(std::move(iconPath))
        , m_size(size)
        , m_cache(std::move(cache)) {
        setAutoDelete(false);
    }

    QQuickTextureFactory *textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(m_image);
    }

    void run() override {
        const QFileInfo info(m_iconPath);
        const QString key = m_iconPath + u'|' + QString::number(m_size.width()) + u'x' +
                            QString::number(m_size.height()) + u'|' +
                            QString::number(info.lastModified().toMSecsSinceEpoch()) + u'|' +
                            QString::number(info.size());
        if (const std::optional<QImage> cached = m_cache->find(key)) {
            m_image = *cached;
        } else {
            const QImage icon = AppIconProvider::read(m_appFolder, m_iconPath, m_size);
            m_image = icon.isNull() ? fallbackImage() : AppIconProvider::rounded(icon);
            m_cache->insert(key, m_image);
        }
        Q_EMIT finished();
    }

private:
    QString m_appFolder;
    QString m_iconPath;
    QSize m_size;
    std::shared_ptr<AppIconCache> m_cache;
    QImage m_image;
};

} // namespace

AppIconProvider::AppIconProvider()
    : m_cache(std::make_shared<AppIconCache>()) {
    // Two readers: enough to keep up with a screenful, few enough to leave the rest of the
    // machine to the window.
    m_pool.setMaxThreadCount(2);
}

AppIconProvider::~AppIconProvider() = default;

QQuickImageResponse *AppIconProvider::requestImageResponse(const QString &id, const QSize &requestedSize) {
    // "<app folder>/<icon path>", each part percent-encoded, slashes included.
    const qsizetype separator = id.indexOf(u'/');
    const QString appFolder = QUrl::fromPercentEncoding(id.left(separator).toUtf8());
    const QString iconPath = QUrl::fromPercentEncoding(id.mid(separator + 1).toUtf8());
    auto *response =
        new AppIconResponse(appFolder, separator < 0 ? QString() : iconPath, requestedSize, m_cache);
    m_pool.start(response);
    return response;
}

QUrl AppIconProvider::source(const LocalApp &app) {
    if (!app.iconURL || !app.iconURL->isLocalFile())
        return {};
    const QString appFolder = QDir::cleanPath(app.url.toLocalFile());
    const QString iconPath = QDir::cleanPath(app.iconURL->toLocalFile());
    if (!iconPath.startsWith(appFolder + u'/'))
        return {};
    QUrl url;
    url.setScheme(u"image"_s);
    url.setHost(kProviderName);
    url.setPath(u'/' + QString::fromLatin1(QUrl::toPercentEncoding(appFolder)) + u'/' +
                    QString::fromLatin1(QUrl::toPercentEncoding(iconPath)),
                QUrl::TolerantMode);
    return url;
}

QImage AppIconProvider::read(const QString &appFolder, const QString &iconPath, const QSize &size) {
    // Links are resolved first: what is read must lie inside the app as it is on disk now.
    const QString folder = QFileInfo(appFolder).canonicalFilePath();
    const QFileInfo icon(QFileInfo(iconPath).canonicalFilePath());
    if (folder.isEmpty() || !icon.filePath().startsWith(folder + u'/') || !icon.isFile() ||
        icon.size() > kMaximumFileSize)
        return {};
    QFile file(icon.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Read at most one byte more than allowed: a file that grew since is refused too.
    QByteArray bytes = file.read(kMaximumFileSize + 1);
    if (bytes.size() > kMaximumFileSize)
        return {};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // A small file can still claim a huge picture.
    reader.setAllocationLimit(64);
    reader.setAutoTransform(true);
    // Only what announces a known format is decoded.
    if (!reader.canRead())
        return {};
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return {};
    if (size.isValid() && !size.isEmpty() && (image.width() > size.width() || image.height() > size.height()))
        image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage AppIconProvider::rounded(const QImage &icon) {
    // Square, cropped to the middle when the picture is not, with the corners the tiles show.
    const int side = std::min(icon.width(), icon.height());
    const QImage square = icon.copy((icon.width() - side) / 2, (icon.height() - side) / 2, side, side);
    QImage result(side, side, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(square));
    painter.drawRoundedRect(QRectF(0, 0, side, side), side * kCornerRatio, side * kCornerRatio);
    return result;
}

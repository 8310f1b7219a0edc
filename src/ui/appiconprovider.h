#pragma once

#include "model/localapp.h"

#include <QImage>
#include <QQuickAsyncImageProvider>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <memory>

class AppIconCache;

// The installed apps' own icons, read, decoded and rounded on a worker thread and kept decoded for the
// next tile that shows them. An icon's path comes from the bundle's "Info.plist", written by
// anyone: only regular files inside the app's own folder are read (links that lead out are
// refused), never more than kMaximumFileSize bytes. An icon that cannot be read or decoded
// arrives as a 1-by-1 transparent image, which the screen replaces by its symbol; an error would
// print a warning per tile.
class AppIconProvider : public QQuickAsyncImageProvider {
public:
    static inline const QString kProviderName = QStringLiteral("appicon");
    static constexpr qint64 kMaximumFileSize = 4 * 1024 * 1024;

    AppIconProvider();
    ~AppIconProvider() override;

    QQuickImageResponse *requestImageResponse(const QString &id, const QSize &requestedSize) override;

    // "image://appicon/..." for the app's icon; empty when it has none or when the icon's path
    // leaves the app's folder.
    static QUrl source(const LocalApp &app);

    // The icon at `iconPath` of the app in `appFolder`, scaled to fit `size` when it is valid; a
    // null image when it cannot be read, is not inside the app, is too large or does not decode.
    static QImage read(const QString &appFolder, const QString &iconPath, const QSize &size);

    // Corners round off a fifth of the side (14 points of a 70-point tile).
    static constexpr qreal kCornerRatio = 0.2;
    // The icon as the tiles show it: square, with rounded corners. Painting them here, off the
    // main thread, spares each tile a mask of its own.
    static QImage rounded(const QImage &icon);

    // An image that stands for "no icon".
    static bool isFallback(const QImage &image) { return image.width() <= 1 && image.height() <= 1; }

private:
    std::shared_ptr<AppIconCache> m_cache;
    // Declared last: destroyed first, it waits for the reads still running.
    QThreadPool m_pool;
};

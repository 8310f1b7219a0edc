#include "bookmark.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Bookmark {

std::optional<QByteArray> create(const QUrl &url, QString *error) {
    const QFileInfo folder(url.toLocalFile());
    if (!url.isLocalFile() || !folder.isDir()) {
        if (error)
            *error = u"The folder “%1” doesn’t exist."_s.arg(url.toDisplayString(QUrl::PreferLocalFile));
        return std::nullopt;
    }
    return QFile::encodeName(QDir::cleanPath(folder.absoluteFilePath()));
}

std::optional<Resolved> resolve(const QByteArray &bookmark) {
    const QString path = QFile::decodeName(bookmark);
    if (bookmark.isEmpty() || !QDir::isAbsolutePath(path) || !QFileInfo(path).isDir())
        return std::nullopt;
    return Resolved{QUrl::fromLocalFile(path), false};
}

bool startAccessing(const QUrl &) {
    return true;
}

void stopAccessing(const QUrl &) {
}

} // namespace Bookmark

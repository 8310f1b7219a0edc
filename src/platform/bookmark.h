#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// Security-scoped bookmarks of folders the user picked. This platform has no sandbox: a bookmark
// is the folder's absolute path, resolving fails when the folder is gone, and access is always
// granted.
namespace Bookmark {

struct Resolved {
    QUrl url;
    bool isStale = false;
};

// Nothing, with a description in *error, when the URL is not a local folder that exists.
std::optional<QByteArray> create(const QUrl &url, QString *error = nullptr);
std::optional<Resolved> resolve(const QByteArray &bookmark);

bool startAccessing(const QUrl &url);
void stopAccessing(const QUrl &url);

} // namespace Bookmark

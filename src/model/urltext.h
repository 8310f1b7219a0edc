#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

// The one textual form of an address that we write and compare (a repository's `id` is its
// address's text), and the one test of whether a text is an address at all.
namespace UrlText {

// Fully percent-encoded, so that reading it back yields the same address.
QString fromUrl(const QUrl &url);

// Nothing for an empty text or one that is not a valid URL.
std::optional<QUrl> toUrl(QStringView text);

// A typed address with "https://" in front unless it already starts with "http://" or
// "https://". A bare host such as "httpbin.org/feed" starts with "http" too, so the test looks
// for the scheme itself.
QString withWebScheme(QStringView text);

} // namespace UrlText

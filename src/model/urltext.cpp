#include "urltext.h"

namespace UrlText {

QString fromUrl(const QUrl &url) {
    return url.toString(QUrl::FullyEncoded);
}

std::optional<QUrl> toUrl(QStringView text) {
    if (text.isEmpty())
        return std::nullopt;
    // Strict: a text with spaces or stray characters is not taken for an address.
    QUrl url(text.toString(), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace UrlText

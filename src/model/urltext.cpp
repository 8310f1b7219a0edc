#include "urltext.h"

using namespace Qt::StringLiterals;

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
    // A '#' inside the fragment is kept raw here but written as "%23", which reads back as another
    // URL: take the written form now, so a save and a load keep the address equal.
    const qsizetype fragment = text.indexOf(u'#');
    if (fragment >= 0 && text.indexOf(u'#', fragment + 1) >= 0)
        url = QUrl(fromUrl(url), QUrl::StrictMode);
    return url;
}

QString withWebScheme(QStringView text) {
    if (text.startsWith(u"http://"_s, Qt::CaseInsensitive) ||
        text.startsWith(u"https://"_s, Qt::CaseInsensitive))
        return text.toString();
    return u"https://"_s + text;
}

} // namespace UrlText

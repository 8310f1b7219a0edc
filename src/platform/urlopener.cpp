#include "urlopener.h"

#include <QDesktopServices>

UrlOpener &UrlOpener::shared() {
    static UrlOpener instance;
    return instance;
}

bool UrlOpener::open(const QString &text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    Q_EMIT urlOpened(url);
    if (m_forwardToDesktop)
        QDesktopServices::openUrl(url);
    return true;
}

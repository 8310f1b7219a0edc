#pragma once

#include <QObject>
#include <QUrl>

// Opens URLs (LiveContainer's "livecontainer://" actions, links) through the desktop. Tests and
// the screens observe urlOpened to see what would have been opened.
class UrlOpener : public QObject {
    Q_OBJECT

public:
    static UrlOpener &shared();

    // Opens the text as a URL; text that is not a valid URL opens nothing and returns false.
    bool open(const QString &text);

    // When false (tests), URLs are only announced, never handed to the desktop.
    void setForwardToDesktop(bool forward) { m_forwardToDesktop = forward; }

Q_SIGNALS:
    void urlOpened(const QUrl &url);

private:
    UrlOpener() = default;
    bool m_forwardToDesktop = true;
};

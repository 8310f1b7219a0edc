#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// What the engine tests share: a first launch for the engines, and the banners they show.
namespace EngineFixture {

// Back to a first launch of both engines: no settings, and none of their folders (Application
// Support with the repository file, backups and transfer journals; Documents; Caches; Temporary).
void forgetEverything();

// The banners shown while it lives, as "title: message", in order. Banners last a few
// milliseconds, so one test's banner never shows in the next.
class BannerLog : public QObject {
public:
    BannerLog();

    const QStringList &lines() const { return m_lines; }
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
};

// Puts the window back in front and waits until no banner is showing or queued; false if one
// stays.
[[nodiscard]] bool settleNotifications();

} // namespace EngineFixture

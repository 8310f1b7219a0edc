#pragma once

#include <QList>
#include <QString>

// The demo's sample source: a feed of a dozen apps with icons, screenshots and descriptions, one
// of them in two versions, each version a real small ".ipa". Written once at build time; the
// demo's server and its test serve the folder as it stands.
//
// Addresses inside the feed and the list name the placeholder host kHost. The folder has no
// address of its own until a server serves it, on a port it learns only then; the server puts
// its own address in place of kHost.
namespace SampleSource {

inline constexpr QStringView kHost = u"http://sample.invalid";

// Paths on the server, from its root.
inline constexpr QStringView kFeedPath = u"/feed.json";
inline constexpr QStringView kReposListPath = u"/Kivo/default_repos.csv";

struct SampleApp {
    QString name;
    QString bundleIdentifier;
    QString version;
    QString versionDate;
    QString description;
    QString symbol; // Material Icons ligature drawn on the icon
    int hue = 0;
    int screenshots = 2;

    // Paths of its files on the server.
    QString iconPath() const;
    QString screenshotPath(int index) const;
    QString archivePath() const;
};

// Every version of every app, in feed order; the app with two versions lists its older one last.
QList<SampleApp> apps();
// The one app listed in two versions, for the road through "Update Existing".
QString updatedAppName();

// Writes the whole source into the folder (created when missing); the feed comes last, so a
// folder with a feed is complete. False, with the reason in *error, when a file cannot be written.
bool write(const QString &folder, QString *error);

} // namespace SampleSource

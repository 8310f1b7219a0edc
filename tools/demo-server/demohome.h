#pragma once

#include <QString>
#include <QUrl>

// Makes the current home (its XDG folders) a fresh Kivo install set up for the demo, through the
// engines' own code and keys: the store lists the sample feed as its one repository (and "Reset to
// Defaults" brings back a folder that follows the sample server's list, not the real default
// list), and LiveContainer's folder is the stand-in's, with automatic conversion on, as after the
// first-run prompt.
namespace DemoHome {

// False, with the reason in *error, when the folder cannot be made or a setting not written.
bool seed(const QUrl &reposListURL, const QUrl &feedURL, const QString &liveContainerFolder, QString *error);

} // namespace DemoHome

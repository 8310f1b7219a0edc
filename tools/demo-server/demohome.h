#pragma once

#include <QString>
#include <QUrl>

// Makes the current home (its XDG folders) a fresh Kivo install set up for the demo, through the
// engines' own code and keys: the store's "Recommended" folder follows the sample server's list
// instead of the real default list, and LiveContainer's folder is the stand-in's, with automatic
// conversion on, as after the first-run prompt.
namespace DemoHome {

// False, with the reason in *error, when the folder cannot be made or a setting not written.
bool seed(const QUrl &reposListURL, const QString &liveContainerFolder, QString *error);

} // namespace DemoHome

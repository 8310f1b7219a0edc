#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

// What Kivo relies on of LiveContainer: the names in its storage folder, its per-app metadata
// file and the two URL actions that open it.
namespace LiveContainer {

// Written into an app's folder when LiveContainer first runs it; its presence means configured.
inline constexpr QStringView kAppInfoFileName = u"LCAppInfo.plist";
inline constexpr QStringView kContainersKey = u"LCContainers";
inline constexpr QStringView kFolderNameKey = u"folderName";

// "livecontainer://livecontainer-launch?bundle-name=" + folder name, not percent-encoded.
QString launchURL(const QString &folderName);
inline constexpr QStringView kInstallURL = u"livecontainer://install";

// Opens LiveContainer on the app in the given folder of the applications folder. Text that does
// not form a valid URL (a folder name with spaces) opens nothing.
bool launchApp(const QString &folderName);
// Opens LiveContainer itself, so it can set up its storage folder.
bool openLiveContainer();

// True when the name stays inside the folder it is joined to: one path component, not "." or
// "..", no separator. Only such names may be used to find or remove data containers, because
// "LCAppInfo.plist" can arrive inside an archive written by anyone.
bool isSingleFolderName(const QString &name);

// Whether the app folder is a real folder (not a link) holding "LCAppInfo.plist" as a regular
// file. A link in either place may lead to another app's metadata, which is not this app's.
bool hasAppInfoFile(const QString &appFolder);

// The data-container folder names listed under "LCContainers" of a parsed "LCAppInfo.plist",
// in order, keeping only string "folderName"s that are single folder names. Nothing when the list
// is not an array of dictionaries.
QStringList dataContainerNames(const QVariantMap &appInfo);

} // namespace LiveContainer

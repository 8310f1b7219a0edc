#pragma once

#include <QString>

// The platform's per-user folders, all under the application name "Kivo", and the one folder
// Kivo shares with LiveContainer on this desktop.
// Every call reads the environment afresh, so tests can point XDG_* at a temporary home.
namespace StandardDirs {

// Application Support: private state such as "repos.json" and the update backups.
QString applicationSupport();
// The app's own Documents folder. Never the user's ~/Documents: "Clear All" empties it.
QString documents();
// Caches: resume data and other files the platform may purge.
QString caches();
// Temporary files that may vanish between launches.
QString temporary();

// LiveContainer's storage folder on this desktop: $LIVECONTAINER_STORAGE, else "LiveContainer" in
// the user's data folder (~/.local/share/LiveContainer): the folder the LiveContainer stand-in
// runs apps from unless told another, and so the one to choose as LiveContainer's folder in Kivo.
QString liveContainerStorage();

} // namespace StandardDirs

#pragma once

#include "model/localapp.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Builds the records of the app bundles in an applications folder from their own "Info.plist".
// Pure file reading with no engine state, so it runs on any thread and can be measured alone.
namespace InstalledAppsScanner {

// One record per entry whose extension is exactly "app", in the folder's listing order. A
// folder that cannot be listed gives no records.
QList<LocalApp> scan(const QString &applicationsFolder);

// The record of one bundle. An unreadable "Info.plist" (a link, a list too large or too deep, a
// bundle that is itself a link) gives bundle identifier "unknown", the folder's name without
// extension and no icon: the app stays listed, so it can still be deleted.
LocalApp readApp(const QString &appFolder);

// The first existing file among base, base@2x, base@3x and base60x60@2x, each tried as ".png"
// then ".jpg".
std::optional<QUrl> findIconFile(const QString &appFolder, const QString &base);

} // namespace InstalledAppsScanner

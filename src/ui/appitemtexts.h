#pragma once

#include "model/appitem.h"

#include <QString>

// The lines the store screens write about one app item, composed in one place.
namespace AppItemTexts {

// "via " and the source repository's name; empty without a source.
QString sourceLine(const AppItem &item);
// "v" + version, then " • " and the size when it is known.
QString versionLine(const AppItem &item);
// The version date or "Unknown Date", then " • " and the size when it is known.
QString detailLine(const AppItem &item);
// The description, or "No description available." when there is none.
QString aboutText(const AppItem &item);

} // namespace AppItemTexts

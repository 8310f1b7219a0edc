#pragma once

#include <QStringView>

// The one comparison of version texts, used wherever versions are ordered (the newest build of an
// app, its version list, update detection, badges). Texts are read from the start: a run of
// decimal digits compares by its numeric value, of any length ("1.10" after "1.9"; leading zeros
// do not count, so "1.01" equals "1.1"); any other character compares by its UTF-16 code,
// case-sensitively; a text that runs out first is the smaller.
namespace VersionCompare {

// Negative, zero or positive, like strcmp.
int compare(QStringView a, QStringView b) noexcept;

} // namespace VersionCompare

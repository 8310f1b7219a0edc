#pragma once

#include <QCollatorSortKey>
#include <QString>

// Case-insensitive comparison in the user's locale (ICU collation), as the tree order, the
// repository lists and the catalogue's name sort use it. Safe to call from any thread: each
// thread keeps its own collator.
namespace LocaleCompare {

// Negative, zero or positive, like strcmp.
int compare(const QString &a, const QString &b);

inline bool lessThan(const QString &a, const QString &b) {
    return compare(a, b) < 0;
}

// A binary key whose byte order is the order of compare(); build once per element for large
// sorts instead of collating every pair.
QCollatorSortKey sortKey(const QString &text);

} // namespace LocaleCompare

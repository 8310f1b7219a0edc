#pragma once

#include <QString>

// Text that came from an archive, a property list or a path deeper than any screen, made fit to
// quote in a one-line error: control characters (a newline would split the line) shown as
// U+FFFD, and at most kMaxQuoted characters, its start and end kept around an ellipsis.
namespace UntrustedText {

inline constexpr qsizetype kMaxQuoted = 200;

inline QString elided(const QString &text) {
    constexpr qsizetype kHalf = kMaxQuoted / 2;
    QString quoted =
        text.size() <= kMaxQuoted ? text : text.first(kHalf) + QChar(0x2026) + text.last(kHalf - 1);
    for (QChar &c : quoted) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return quoted;
}

} // namespace UntrustedText

#pragma once

#include <QByteArrayView>
#include <QString>

// Our JSON decoder says only that a text is malformed, not where. When it rejects a text, this
// scanner finds the first fault so the user can be told what and where, e.g.
// "expected ',' or '}' after an object member, found ']' at byte 57 (line 3, column 12)".
namespace JsonSyntax {

// Empty when the scanner finds no fault.
QString describeFirstError(QByteArrayView json, int maxDepth);

// Replaces, in place, each number our decoder cannot hold (an integer beyond 64 bits, a number
// beyond a double's range) by the largest unsigned 64-bit integer, or by 1e308, padded with
// spaces to the same length, so that byte offsets stay as they were. True when any was found.
bool clampOutOfRangeNumbers(char *text, qsizetype size);

} // namespace JsonSyntax

#pragma once

#include <QByteArrayView>
#include <QString>

// Our JSON decoder says only that a text is malformed, not where. When it rejects a text, this
// scanner finds the first fault so the user can be told what and where, e.g.
// "expected ',' or '}' after an object member, found ']' at byte 57 (line 3, column 12)".
namespace JsonSyntax {

// Empty when the scanner finds no fault (the decoder may still reject the text for its own
// limits, such as a number out of range).
QString describeFirstError(QByteArrayView json, int maxDepth);

} // namespace JsonSyntax

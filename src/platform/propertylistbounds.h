#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// The limits a property list must keep before libplist may see it. libplist 2.2 recurses once
// per level of nesting when it builds and frees a tree, and builds a binary list's shared
// objects once per reference, so a small hostile file can exhaust the stack or the memory.
// Both formats are measured here with loops of our own, never recursion.
namespace PropertyListBounds {

// Larger than any real "Info.plist" or "LCAppInfo.plist".
inline constexpr qsizetype kMaxBytes = 8 * 1024 * 1024;
// Arrays and dictionaries inside one another; real lists nest a handful deep.
inline constexpr int kMaxDepth = 256;
// Values a binary list may expand into once every reference is followed.
inline constexpr qint64 kMaxValues = 1 << 20;

// Why the bytes may not be handed to libplist, or nothing when they may. Bytes that are not
// well formed enough to be measured are refused too: libplist would refuse them as well.
std::optional<QString> check(QByteArrayView bytes);

} // namespace PropertyListBounds

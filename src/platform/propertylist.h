#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// Property lists (Apple's "Info.plist", LiveContainer's "LCAppInfo.plist") as Qt values: binary
// or XML in, XML out. A dictionary becomes a QVariantMap, an array a QVariantList, an integer a
// qint64, a real a double, a date a UTC QDateTime, data a QByteArray, a keyed-archive UID a map
// {"CF$UID": qint64}. Safe to call from any thread.
namespace PropertyList {

// Parses binary or XML bytes. On failure returns nothing and, when error is given, a description.
// Lists too large or too deeply nested for libplist to handle safely are refused unparsed.
std::optional<QVariant> parse(const QByteArray &bytes, QString *error = nullptr);

// Reads a file and parses it; the description names the file. Only a regular file is read,
// never through a symbolic link in its last component, and never more than the size limit.
std::optional<QVariant> read(const QString &path, QString *error = nullptr);

// Reads a file that must hold a dictionary at its root.
std::optional<QVariantMap> readDictionary(const QString &path, QString *error = nullptr);

// Serialises a dictionary as an XML property list. Fails for values that have no property-list
// form (the description names the key path).
std::optional<QByteArray> toXml(const QVariantMap &dictionary, QString *error = nullptr);

// Writes the dictionary as an XML property list. The file is replaced atomically: a reader sees
// either the old file or the whole new one. Fails where something other than a regular file
// (a link above all) holds the path.
bool writeXml(const QString &path, const QVariantMap &dictionary, QString *error = nullptr);

} // namespace PropertyList

#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// How entry names become paths below the destination. Names come from hostile archives, so
// everything that could point elsewhere is refused rather than repaired.
namespace ZipEntryName {

// UTF-8 when the archive flags it; otherwise UTF-8 if the bytes are valid UTF-8 (macOS writes
// UTF-8 names without the flag), else code page 437, the format's historical default.
// Sets *invalid when the flag promises UTF-8 and the bytes are not.
QString decode(QByteArrayView raw, bool utf8Flag, bool *invalid = nullptr);

struct Path {
    QStringList components; // empty for the destination itself ("./")
    bool isDirectory = false;
    QString error; // why the name was refused; empty when it is usable
};

// Splits a decoded name into components. Refuses absolute names, drive letters, backslashes,
// NUL characters, ".." and empty components; "." components are dropped.
Path parse(const QString &name);

} // namespace ZipEntryName

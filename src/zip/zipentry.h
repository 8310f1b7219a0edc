#pragma once

#include <QByteArray>
#include <QString>

// One entry of an archive as its central directory describes it, with the positions of its data
// found and checked in its local header.
struct ZipEntry {
    enum class Kind { File, Directory, SymbolicLink };

    QByteArray rawName;
    QString name; // decoded from UTF-8, or from code page 437 when the name is not valid UTF-8
    Kind kind = Kind::File;
    quint32 permissions = 0644; // rwx bits only: set-id and sticky bits are never restored
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc32 = 0;
    quint64 compressedSize = 0;
    quint64 uncompressedSize = 0;
    quint64 localHeaderOffset = 0;
    quint64 dataOffset = 0; // first byte of the (compressed) data
    quint64 endOffset = 0;  // one past the data and its data descriptor
};

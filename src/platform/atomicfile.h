#pragma once

#include <QByteArray>
#include <QString>

// Every file the app saves goes through here. Qt's QSaveFile and QSettings report success when
// the final flush of their buffer fails on a full disk, and leave an empty file behind: these
// check every write, the flush to disk and the close, and replace the old file only when the new
// one is whole. On failure the old file stays as it was and the caller gets the reason. Safe on
// any thread.
namespace AtomicFile {

enum class Durability {
    // The new file survives a kill of the process; it reaches the disk when the system gets to it.
    survivesKill,
    // The new file is on the disk before it replaces the old one.
    survivesPowerLoss,
};

// Replaces the file at path with bytes (a link at path is replaced, never followed).
bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr,
           Durability durability = Durability::survivesPowerLoss);

// Copies the file at from to path the same way, keeping its permissions.
bool copy(const QString &from, const QString &path, QString *error = nullptr,
          Durability durability = Durability::survivesPowerLoss);

} // namespace AtomicFile

#pragma once

#include <QString>

// Removes a file, a symbolic link (never what it leads to) or a folder tree of any depth. The
// tree is walked relative to directory descriptors, so paths longer than PATH_MAX inside it are
// no obstacle (QDir::removeRecursively fails on them without a word), and no link inside it is
// ever followed. Folders without write or search permission are opened up first, as Kivo owns
// what it removes. Safe on any thread.
namespace FileRemoval {

// Nothing at the path counts as removed. An empty or relative path is refused: it would name
// the working folder or something below it. On failure the description names what could not be
// removed, and everything else is gone.
bool remove(const QString &path, QString *error = nullptr);

} // namespace FileRemoval

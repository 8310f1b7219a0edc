#pragma once

#include <QByteArray>
#include <QString>

// Whole files for tests. A file that cannot be read reads as empty.
QByteArray readFile(const QString &path);
// Writes `bytes` to `path`, making its folder first; false on any failure.
bool writeFile(const QString &path, const QByteArray &bytes);
// A chain of `levels` folders "d" inside folder, with a file "f" at the bottom: a tree deeper
// than PATH_MAX when levels exceed about 2000. Built relative to descriptors; false on failure.
bool makeDeepTree(const QString &folder, int levels);
// An XML property list of `depth` arrays inside one another.
QByteArray nestedArraysPlist(int depth);
// `size` bytes of a fixed pseudo-random sequence: incompressible, and the same in every run.
QByteArray randomBytes(qsizetype size, quint32 seed);

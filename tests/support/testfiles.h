#pragma once

#include <QByteArray>
#include <QString>

// Whole files for tests. A file that cannot be read reads as empty.
QByteArray readFile(const QString &path);
// Writes `bytes` to `path`, making its folder first; false on any failure.
bool writeFile(const QString &path, const QByteArray &bytes);
// `size` bytes of a fixed pseudo-random sequence: incompressible, and the same in every run.
QByteArray randomBytes(qsizetype size, quint32 seed);

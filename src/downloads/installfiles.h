#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// File work of installing apps: the naming rule of app folders, removals that never follow a
// link out of the folder they clean, and the test of what lies inside the downloads folder.
// Safe on any thread.
namespace InstallFiles {

// Text after the last dot of a file name, when that dot is neither the first nor the last
// character ("com.a.b.app" gives "app", ".app" and "app." give nothing).
QString pathExtension(const QString &fileName);

// Whether path names folder itself or something below it, compared component by component
// (a sibling "Documents2" is not inside "Documents").
bool isInsideFolder(const QString &path, const QString &folder);

// Removes a file, a folder tree, or a symbolic link itself (never what it points to). Nothing
// at the path counts as removed.
bool removeItem(const QString &path, QString *error = nullptr);

// Moves source into folder under name, or when that is taken, under base + "_" + counter +
// extension with the counter from 1 ("com.a.b.app", "com.a.b_1.app", ...). Each try is one
// rename that never replaces anything, so two installs at once cannot take the same name and
// nothing is ever copied. Returns the path the item now has.
std::optional<QString> moveToFreeName(const QString &source, const QString &folder, const QString &name,
                                      QString *error = nullptr);

// rename(2) that fails with EEXIST instead of replacing the target (an empty folder included); the
// error code, 0 on success.
int renameWithoutReplacing(const QByteArray &from, const QByteArray &to);

} // namespace InstallFiles

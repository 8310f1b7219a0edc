#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <optional>

// The changes that installs, updates and backups make on disk, behind one seam: tests replace a
// single step with a failing one to prove that no failure loses an app or its data. Every
// operation reports a description of what failed. Safe on any thread; so must overrides be.
class FileOperations {
public:
    FileOperations() = default;
    FileOperations(const FileOperations &) = delete;
    FileOperations &operator=(const FileOperations &) = delete;
    virtual ~FileOperations();

    // Creates the folder with every missing parent.
    virtual bool makePath(const QString &folder, QString *error);
    // Renames an item, or between file systems copies it whole beside `to` and renames that into
    // place before removing the source; fails rather than replace anything that exists at `to`.
    virtual bool move(const QString &from, const QString &to, QString *error);
    // Swaps two existing items in one atomic step; fails, changing nothing, where the file
    // system cannot.
    virtual bool exchange(const QString &first, const QString &second, QString *error);
    // Removes a file, a link (never what it leads to) or a folder tree. Nothing there is success.
    virtual bool remove(const QString &path, QString *error);
    // Writes the dictionary as an XML property list, replacing the file atomically.
    virtual bool writePropertyList(const QString &path, const QVariantMap &dictionary, QString *error);

    // When the item at path was created: its birth time where the file system records one
    // (statx), else its last modification time. Nothing when its attributes cannot be read.
    static std::optional<QDateTime> creationDate(const QString &path);

    // Puts item in the place of target and removes what was there, so that target holds one
    // whole item at every moment: an exchange, or where that fails, target renamed aside first
    // and renamed back when item cannot take its place. Removing the replaced item is clean-up
    // whose failure is ignored.
    bool replace(const QString &item, const QString &target, QString *error);
};

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <utility>
#include <vector>

// The folder an archive is extracted into, reached only through a descriptor of its own: every
// path below it is walked one component at a time without following symbolic links, and files
// are created exclusively. So nothing is ever written through a link, whether the archive made
// it or it was there before, and nothing is overwritten.
//
// Paths are lists of already checked components. Safe to use from several threads, each with a
// Cursor of its own.
class DestinationFolder {
public:
    // Remembers the folder a thread used last and the chain of folders to it: archives list
    // files of one folder together, and deep paths one level after another.
    class Cursor {
    public:
        Cursor() = default;
        ~Cursor();
        Cursor(const Cursor &) = delete;
        Cursor &operator=(const Cursor &) = delete;

    private:
        friend class DestinationFolder;
        QStringList m_components;
        // Device and inode of each folder of m_components, to check a climb through "..".
        std::vector<std::pair<dev_t, ino_t>> m_identities;
        int m_fd = -1;
    };

    DestinationFolder() = default;
    ~DestinationFolder();
    DestinationFolder(const DestinationFolder &) = delete;
    DestinationFolder &operator=(const DestinationFolder &) = delete;

    // Creates the folder when it is missing.
    bool open(const QString &path, QString *error);
    // Bytes that unprivileged writers may still use on the folder's file system.
    qint64 availableBytes() const;

    // Creates the folder unless a real folder is already there. *created says which.
    bool makeDirectory(Cursor &cursor, const QStringList &path, bool *created, QString *error);
    // A new file with the given permissions, open for writing, or -1.
    int createFile(Cursor &cursor, const QStringList &path, quint32 permissions, QString *error);
    bool makeSymbolicLink(Cursor &cursor, const QStringList &path, const QByteArray &target, QString *error);
    bool setDirectoryPermissions(Cursor &cursor, const QStringList &path, quint32 permissions,
                                 QString *error);
    // Best effort, for undoing a failed extraction.
    void remove(Cursor &cursor, const QStringList &path, bool directory);

private:
    using Identity = std::pair<dev_t, ino_t>;

    int parentOf(Cursor &cursor, const QStringList &path, QString *error);
    // Moves the cursor up to the given depth (at least 1); false when a folder on the way is no
    // longer the one walked through, which leaves the cursor empty.
    bool climbTo(Cursor &cursor, qsizetype depth);
    // Walks from the cursor (or the top when it is empty) down to path's first `depth` components.
    int descend(Cursor &cursor, const QStringList &path, qsizetype depth, QString *error);

    int m_fd = -1;
    quint32 m_umask = 0777; // unknown: every file gets its mode set explicitly
};

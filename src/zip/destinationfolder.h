#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The folder an archive is extracted into, reached only through a descriptor of its own: every
// path below it is walked one component at a time without following symbolic links, and files
// are created exclusively. So nothing is ever written through a link, whether the archive made
// it or it was there before, and nothing is overwritten.
//
// Paths are lists of already checked components. Safe to use from several threads, each with a
// Cursor of its own.
class DestinationFolder {
public:
    // Remembers the folder a thread used last: archives list files of one folder together.
    class Cursor {
    public:
        Cursor() = default;
        ~Cursor();
        Cursor(const Cursor &) = delete;
        Cursor &operator=(const Cursor &) = delete;

    private:
        friend class DestinationFolder;
        QStringList m_components;
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
    int parentOf(Cursor &cursor, const QStringList &path, QString *error);

    int m_fd = -1;
    quint32 m_umask = 0777; // unknown: every file gets its mode set explicitly
};

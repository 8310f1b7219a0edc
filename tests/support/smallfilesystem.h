#pragma once

#include <QString>

// A small tmpfs mounted over a folder, for tests of what a full disk does to a save. Mounting
// needs the right to mount (root here); where it is missing nothing is mounted and the test
// skips. Whatever the folder held is hidden while the file system is mounted.
class SmallFileSystem {
public:
    SmallFileSystem(const QString &folder, qint64 bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_folder; }
    // Takes every free byte but keepFree with a filler file. A little room is the harder case:
    // buffered writes then seem to succeed and only their flush fails.
    bool fill(qint64 keepFree = 0) const;
    // Gives the file system this size, keeping its files (the filler goes).
    bool resize(qint64 bytes) const;

private:
    QString m_folder;
    bool m_mounted = false;
};

#include "zip/destinationfolder.h"

#include "platform/untrustedtext.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

#ifdef O_PATH
constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int kWalkFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

QString systemError(int code) {
    return QString::fromLocal8Bit(strerror(code));
}

QString describeWalkError(int code, const QStringList &path, qsizetype depth) {
    const QString prefix = UntrustedText::elided(path.first(depth + 1).join(u'/'));
    if (code == ELOOP || code == ENOTDIR)
        return u"the path passes through %1, which is not a folder"_s.arg(prefix);
    return u"cannot open the folder %1: %2"_s.arg(prefix, systemError(code));
}

} // namespace

DestinationFolder::Cursor::~Cursor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

DestinationFolder::~DestinationFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DestinationFolder::open(const QString &path, QString *error) {
    QDir().mkpath(path);
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        *error = u"cannot open the destination folder: "_s + systemError(errno);
        return false;
    }
    // Read rather than set and restore: umask() is process-wide and other threads create files.
    QFile status(u"/proc/self/status"_s);
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                m_umask = line.mid(6).trimmed().toUInt(nullptr, 8) & 0777;
        }
    }
    return true;
}

qint64 DestinationFolder::availableBytes() const {
    struct statvfs info;
    if (fstatvfs(m_fd, &info) != 0)
        return -1;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}

int DestinationFolder::parentOf(Cursor &cursor, const QStringList &path, QString *error) {
    const qsizetype depth = path.size() - 1;
    if (depth == 0)
        return m_fd;
    // Archives list neighbouring paths together: the cursor's folder is usually the parent
    // itself, or an ancestor or near relative of it. Walking from there keeps a deep path
    // linear in its depth, where walking from the top each time would cost its square.
    qsizetype common = 0;
    const qsizetype known = cursor.m_fd >= 0 ? std::min(cursor.m_components.size(), depth) : 0;
    while (common < known && cursor.m_components[common] == path[common])
        ++common;
    const qsizetype climb = cursor.m_fd >= 0 ? cursor.m_components.size() - common : 0;
    if (cursor.m_fd >= 0 && common > 0 && climb + (depth - common) < depth && climbTo(cursor, common))
        return descend(cursor, path, depth, error);
    if (cursor.m_fd >= 0)
        ::close(cursor.m_fd);
    cursor.m_fd = -1;
    cursor.m_components.clear();
    cursor.m_identities.clear();
    return descend(cursor, path, depth, error);
}

bool DestinationFolder::climbTo(Cursor &cursor, qsizetype depth) {
    while (cursor.m_components.size() > depth) {
        const int above = openat(cursor.m_fd, "..", kWalkFlags);
        ::close(cursor.m_fd);
        cursor.m_fd = above;
        cursor.m_components.removeLast();
        cursor.m_identities.pop_back();
        // ".." leads wherever the folder lies now: only the folder walked through on the way
        // down will do.
        struct stat info;
        if (above < 0 || fstat(above, &info) != 0 ||
            cursor.m_identities.back() != Identity{info.st_dev, info.st_ino}) {
            if (above >= 0)
                ::close(above);
            cursor.m_fd = -1;
            cursor.m_components.clear();
            cursor.m_identities.clear();
            return false;
        }
    }
    return true;
}

int DestinationFolder::descend(Cursor &cursor, const QStringList &path, qsizetype depth, QString *error) {
    int fd = cursor.m_fd >= 0 ? cursor.m_fd : m_fd;
    for (qsizetype i = cursor.m_components.size(); i < depth; ++i) {
        const int next = openat(fd, QFile::encodeName(path[i]).constData(), kWalkFlags);
        const int code = errno;
        struct stat info;
        if (next >= 0 && fstat(next, &info) != 0)
            info = {};
        if (fd != m_fd)
            ::close(fd);
        if (next < 0) {
            cursor.m_fd = -1;
            cursor.m_components.clear();
            cursor.m_identities.clear();
            *error = describeWalkError(code, path, i);
            return -1;
        }
        fd = next;
        cursor.m_components.append(path[i]);
        cursor.m_identities.push_back({info.st_dev, info.st_ino});
    }
    cursor.m_fd = fd;
    return fd;
}

bool DestinationFolder::makeDirectory(Cursor &cursor, const QStringList &path, bool *created,
                                      QString *error) {
    const int parent = parentOf(cursor, path, error);
    if (parent < 0)
        return false;
    const QByteArray leaf = QFile::encodeName(path.last());
    *created = mkdirat(parent, leaf.constData(), 0700) == 0;
    if (*created)
        return true;
    const int code = errno;
    struct stat info;
    if (code == EEXIST && fstatat(parent, leaf.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(info.st_mode))
        return true;
    *error = code == EEXIST ? u"something other than a folder is already there"_s
                            : u"cannot create the folder: "_s + systemError(code);
    return false;
}

int DestinationFolder::createFile(Cursor &cursor, const QStringList &path, quint32 permissions,
                                  QString *error) {
    const int parent = parentOf(cursor, path, error);
    if (parent < 0)
        return -1;
    // The descriptor stays writable whatever the mode, so the file gets its final mode at once;
    // only bits the umask would strip need a second call.
    const int fd = openat(parent, QFile::encodeName(path.last()).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_t(permissions));
    if (fd < 0) {
        *error = errno == EEXIST ? u"something is already there"_s
                                 : u"cannot create the file: "_s + systemError(errno);
        return -1;
    }
    if ((permissions & m_umask) != 0 && fchmod(fd, mode_t(permissions)) != 0) {
        *error = u"cannot set the file's permissions: "_s + systemError(errno);
        ::close(fd);
        unlinkat(parent, QFile::encodeName(path.last()).constData(), 0);
        return -1;
    }
    return fd;
}

bool DestinationFolder::makeSymbolicLink(Cursor &cursor, const QStringList &path, const QByteArray &target,
                                         QString *error) {
    const int parent = parentOf(cursor, path, error);
    if (parent < 0)
        return false;
    if (symlinkat(target.constData(), parent, QFile::encodeName(path.last()).constData()) == 0)
        return true;
    *error = errno == EEXIST ? u"something is already there"_s
                             : u"cannot create the symbolic link: "_s + systemError(errno);
    return false;
}

bool DestinationFolder::setDirectoryPermissions(Cursor &cursor, const QStringList &path, quint32 permissions,
                                                QString *error) {
    const int parent = parentOf(cursor, path, error);
    if (parent < 0)
        return false;
    const int fd = openat(parent, QFile::encodeName(path.last()).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool done = fd >= 0 && fchmod(fd, mode_t(permissions)) == 0;
    if (!done)
        *error = u"cannot set the folder's permissions: "_s + systemError(errno);
    if (fd >= 0)
        ::close(fd);
    return done;
}

void DestinationFolder::remove(Cursor &cursor, const QStringList &path, bool directory) {
    QString ignored;
    const int parent = parentOf(cursor, path, &ignored);
    if (parent >= 0)
        unlinkat(parent, QFile::encodeName(path.last()).constData(), directory ? AT_REMOVEDIR : 0);
}

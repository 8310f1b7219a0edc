#include "fileremoval.h"

#include "platform/untrustedtext.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
QString quoted(const QString &path) {
    return UntrustedText::elided(path);
}

// One folder on the way down: its name in its parent, its identity (so that climbing back by
// ".." can tell that the folder it left is still the one it emptied), the subfolders still to
// go, and whether something in it would not go.
struct Level {
    QByteArray name;
    dev_t device = 0;
    ino_t inode = 0;
    bool listed = false;
    std::vector<QByteArray> folders;
    bool incomplete = false;
};

// Holds one descriptor at a time, whatever the depth: the walk climbs back through "..".
class TreeRemoval {
public:
    explicit TreeRemoval(const QString &path)
        : m_path(path) {}

    // Empties the folder `fd` refers to (which this takes over) and removes it from `parent`.
    bool removeFolder(int parent, const QByteArray &name, int fd) {
        std::vector<Level> levels;
        if (!enter(&levels, name, fd))
            return false;
        while (!levels.empty()) {
            if (const int child = descendOrEmpty(&levels, fd); child >= 0) {
                ::close(fd);
                fd = child;
                continue;
            }
            const Level done = std::move(levels.back());
            levels.pop_back();
            const int above = levels.empty() ? ::dup(parent) : ::openat(fd, "..", kFolderFlags);
            ::close(fd);
            fd = above;
            if (fd < 0) {
                note(levels, done.name, errno);
                return false;
            }
            if (done.incomplete || !removeEmptied(levels, fd, done)) {
                if (!levels.empty())
                    levels.back().incomplete = true;
            }
        }
        ::close(fd);
        return m_failures == 0;
    }

    void note(const std::vector<Level> &levels, const QByteArray &name, int code) {
        if (m_failures++ > 0)
            return;
        QString path = m_path;
        for (size_t i = 1; i < levels.size(); ++i)
            path += u'/' + QFile::decodeName(levels[i].name);
        if (!levels.empty())
            path += u'/' + QFile::decodeName(name);
        m_first = path + u": "_s + QString::fromLocal8Bit(std::strerror(code));
    }

    QString description() const {
        return u"Cannot remove %1 item(s) of \"%2\", first %3"_s.arg(m_failures)
            .arg(quoted(m_path), quoted(m_first));
    }

private:
    bool enter(std::vector<Level> *levels, const QByteArray &name, int fd) {
        struct stat status {};
        if (::fstat(fd, &status) != 0) {
            note(*levels, name, errno);
            ::close(fd);
            return false;
        }
        // Listing and emptying it needs all three; the folder goes anyway.
        if ((status.st_mode & S_IRWXU) != S_IRWXU)
            ::fchmod(fd, status.st_mode | S_IRWXU);
        levels->push_back({name, status.st_dev, status.st_ino, false, {}, false});
        return true;
    }

    void fail(std::vector<Level> *levels, const QByteArray &name, int code) {
        note(*levels, name, code);
        levels->back().incomplete = true;
    }

    // Lists the current folder once, removing everything but its subfolders; then opens the next
    // subfolder, which becomes the current level, or returns -1 when none is left.
    int descendOrEmpty(std::vector<Level> *levels, int fd) {
        if (!levels->back().listed && !list(levels, fd))
            return -1;
        while (!levels->back().folders.empty()) {
            const QByteArray name = std::move(levels->back().folders.back());
            levels->back().folders.pop_back();
            int child = ::openat(fd, name.constData(), kFolderFlags);
            struct stat status {};
            if (child < 0 && errno == EACCES &&
                ::fstatat(fd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(status.st_mode) && ::fchmodat(fd, name.constData(), status.st_mode | S_IRWXU, 0) == 0)
                child = ::openat(fd, name.constData(), kFolderFlags);
            if (child < 0) {
                fail(levels, name, errno);
                continue;
            }
            if (!enter(levels, name, child)) {
                levels->back().incomplete = true;
                continue;
            }
            return child;
        }
        return -1;
    }

    bool list(std::vector<Level> *levels, int fd) {
        levels->back().listed = true;
        const int listing = ::dup(fd);
        DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
        if (!dir) {
            if (listing >= 0)
                ::close(listing);
            fail(levels, {}, errno);
            return false;
        }
        while (const dirent *entry = ::readdir(dir)) {
            const char *name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN && ::unlinkat(fd, name, 0) == 0)
                continue;
            struct stat status {};
            if (::fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT)
                    fail(levels, name, errno);
            } else if (S_ISDIR(status.st_mode)) {
                levels->back().folders.emplace_back(name);
            } else if (::unlinkat(fd, name, 0) != 0) {
                fail(levels, name, errno);
            }
        }
        ::closedir(dir);
        return true;
    }

    // Removes the folder just emptied, unless something else has taken its name meanwhile.
    bool removeEmptied(const std::vector<Level> &levels, int parent, const Level &done) {
        struct stat status {};
        if (::fstatat(parent, done.name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            note(levels, done.name, errno);
            return false;
        }
        if (status.st_dev != done.device || status.st_ino != done.inode) {
            note(levels, done.name, EBUSY);
            return false;
        }
        if (::unlinkat(parent, done.name.constData(), AT_REMOVEDIR) != 0) {
            note(levels, done.name, errno);
            return false;
        }
        return true;
    }

    QString m_path;
    int m_failures = 0;
    QString m_first;
};

void setError(QString *error, const QString &text) {
    if (error)
        *error = text;
}

} // namespace

namespace FileRemoval {

bool remove(const QString &path, QString *error) {
    if (path.isEmpty() || QDir::isRelativePath(path)) {
        setError(error, u"Refusing to remove \"%1\": not an absolute path"_s.arg(quoted(path)));
        return false;
    }
    const QString clean = QDir::cleanPath(path);
    const qsizetype slash = clean.lastIndexOf(u'/');
    const QByteArray name = QFile::encodeName(clean.mid(slash + 1));
    if (name.isEmpty()) {
        setError(error, u"Refusing to remove the root folder"_s);
        return false;
    }
    const QByteArray parentPath = QFile::encodeName(slash == 0 ? u"/"_s : clean.left(slash));
    const int parent = ::open(parentPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        if (errno == ENOENT)
            return true;
        setError(error, u"Cannot remove \"%1\": %2"_s.arg(quoted(path),
                                                          QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    struct stat status {};
    bool removed = true;
    TreeRemoval removal(clean);
    if (::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        removed = errno == ENOENT;
        if (!removed)
            removal.note({}, name, errno);
    } else if (!S_ISDIR(status.st_mode)) {
        removed = ::unlinkat(parent, name.constData(), 0) == 0;
        if (!removed)
            removal.note({}, name, errno);
    } else {
        int fd = ::openat(parent, name.constData(), kFolderFlags);
        if (fd < 0 && errno == EACCES &&
            ::fchmodat(parent, name.constData(), status.st_mode | S_IRWXU, 0) == 0)
            fd = ::openat(parent, name.constData(), kFolderFlags);
        if (fd < 0) {
            removal.note({}, name, errno);
            removed = false;
        } else {
            removed = removal.removeFolder(parent, name, fd);
        }
    }
    ::close(parent);
    if (!removed)
        setError(error, removal.description());
    return removed;
}

} // namespace FileRemoval

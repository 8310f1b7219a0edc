#include "atomicfile.h"

#include "platform/uuid.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool fail(QString *error, const QString &text) {
    if (error)
        *error = text;
    return false;
}

bool writeAll(int fd, const char *data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// A new file beside path, hidden from listings, created never through a link.
class Staging {
public:
    Staging(const QString &path, mode_t mode)
        : m_path(QFileInfo(path).path() + u"/."_s + QFileInfo(path).fileName() + u'.' + newUuidString())
        , m_fd(::open(QFile::encodeName(m_path).constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode)) {}
    ~Staging() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_placed)
            ::unlink(QFile::encodeName(m_path).constData());
    }
    Staging(const Staging &) = delete;
    Staging &operator=(const Staging &) = delete;

    int fd() const { return m_fd; }

    // Flushes and closes the file, then renames it over path.
    bool place(const QString &path, AtomicFile::Durability durability, QString *error) {
        if (durability == AtomicFile::Durability::survivesPowerLoss && ::fsync(m_fd) != 0)
            return fail(error, u"Cannot write \"%1\": %2"_s.arg(path, systemError()));
        const int fd = std::exchange(m_fd, -1);
        if (::close(fd) != 0)
            return fail(error, u"Cannot write \"%1\": %2"_s.arg(path, systemError()));
        if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(path).constData()) != 0)
            return fail(error, u"Cannot replace \"%1\": %2"_s.arg(path, systemError()));
        m_placed = true;
        if (durability == AtomicFile::Durability::survivesPowerLoss) {
            // The rename itself reaches the disk with its folder; a failure here loses no data.
            const int folder = ::open(QFile::encodeName(QFileInfo(path).path()).constData(),
                                      O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder >= 0) {
                ::fsync(folder);
                ::close(folder);
            }
        }
        return true;
    }

private:
    QString m_path;
    int m_fd;
    bool m_placed = false;
};

} // namespace

namespace AtomicFile {

bool write(const QString &path, const QByteArray &bytes, QString *error, Durability durability) {
    Staging staging(path, 0666);
    if (staging.fd() < 0)
        return fail(error, u"Cannot write \"%1\": %2"_s.arg(path, systemError()));
    if (!writeAll(staging.fd(), bytes.constData(), bytes.size()))
        return fail(error, u"Cannot write \"%1\": %2"_s.arg(path, systemError()));
    return staging.place(path, durability, error);
}

bool copy(const QString &from, const QString &path, QString *error, Durability durability) {
    const int source = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (source < 0 || ::fstat(source, &status) != 0) {
        const QString reason = systemError();
        if (source >= 0)
            ::close(source);
        return fail(error, u"Cannot copy \"%1\": %2"_s.arg(from, reason));
    }
    Staging staging(path, status.st_mode & 07777);
    bool copied = staging.fd() >= 0;
    QString reason = copied ? QString() : systemError();
    char buffer[64 * 1024];
    while (copied) {
        const ssize_t read = ::read(source, buffer, sizeof buffer);
        if (read < 0 && errno == EINTR)
            continue;
        if (read == 0)
            break;
        if (read < 0 || !writeAll(staging.fd(), buffer, read)) {
            copied = false;
            reason = systemError();
        }
    }
    ::close(source);
    if (!copied)
        return fail(error, u"Cannot copy \"%1\" to \"%2\": %3"_s.arg(from, path, reason));
    // The mode given at creation passed through the umask; a copy keeps the original's.
    ::fchmod(staging.fd(), status.st_mode & 07777);
    return staging.place(path, durability, error);
}

} // namespace AtomicFile

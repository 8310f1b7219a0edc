#include "fileoperations.h"

#include "downloads/installfiles.h"
#include "platform/propertylist.h"
#include "platform/uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

void setError(QString *error, const QString &text) {
    if (error)
        *error = text;
}

QString moveError(const QString &from, const QString &to, int code) {
    return u"Cannot move \"%1\" to \"%2\": %3"_s.arg(from, to, QString::fromLocal8Bit(std::strerror(code)));
}

bool entryExists(const QByteArray &path) {
    struct stat status;
    return ::lstat(path.constData(), &status) == 0;
}

} // namespace

FileOperations::~FileOperations() = default;

bool FileOperations::makePath(const QString &folder, QString *error) {
    if (QFileInfo(folder).isDir() || QDir().mkpath(folder))
        return true;
    setError(error, u"Cannot create the folder \"%1\""_s.arg(folder));
    return false;
}

bool FileOperations::move(const QString &from, const QString &to, QString *error) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        setError(error, moveError(from, to, errno));
        return false;
    }
#endif
    if (entryExists(target)) {
        setError(error, moveError(from, to, EEXIST));
        return false;
    }
    if (::rename(source.constData(), target.constData()) != 0) {
        setError(error, moveError(from, to, errno));
        return false;
    }
    return true;
}

bool FileOperations::exchange(const QString &first, const QString &second, QString *error) {
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, QFile::encodeName(first).constData(), AT_FDCWD,
                    QFile::encodeName(second).constData(), RENAME_EXCHANGE) == 0)
        return true;
    setError(error, u"Cannot exchange \"%1\" and \"%2\": %3"_s.arg(
                        first, second, QString::fromLocal8Bit(std::strerror(errno))));
#else
    setError(error, u"Cannot exchange \"%1\" and \"%2\" on this system"_s.arg(first, second));
#endif
    return false;
}

bool FileOperations::replace(const QString &item, const QString &target, QString *error) {
    if (exchange(item, target, nullptr)) {
        remove(item, nullptr);
        return true;
    }
    const QString aside = QFileInfo(target).path() + u"/Temp_"_s + newUuidString();
    if (!move(target, aside, error))
        return false;
    if (!move(item, target, error)) {
        // A failure of this too leaves the replaced item whole under the free name.
        move(aside, target, nullptr);
        return false;
    }
    remove(aside, nullptr);
    return true;
}

bool FileOperations::remove(const QString &path, QString *error) {
    return InstallFiles::removeItem(path, error);
}

bool FileOperations::writePropertyList(const QString &path, const QVariantMap &dictionary, QString *error) {
    return PropertyList::writeXml(path, dictionary, error);
}

std::optional<QDateTime> FileOperations::creationDate(const QString &path) {
    struct statx attributes {};
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_STATX_SYNC_AS_STAT,
                STATX_BTIME | STATX_MTIME, &attributes) != 0)
        return std::nullopt;
    const statx_timestamp &stamp = (attributes.stx_mask & STATX_BTIME)   ? attributes.stx_btime
                                   : (attributes.stx_mask & STATX_MTIME) ? attributes.stx_mtime
                                                                         : statx_timestamp{};
    if (!(attributes.stx_mask & (STATX_BTIME | STATX_MTIME)))
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(stamp.tv_sec * 1000 + stamp.tv_nsec / 1000000, Qt::UTC);
}

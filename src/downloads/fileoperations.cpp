#include "fileoperations.h"

#include "downloads/installfiles.h"
#include "platform/atomicfile.h"
#include "platform/propertylist.h"
#include "platform/uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void setError(QString *error, const QString &text) {
    if (error)
        *error = text;
}

QString moveError(const QString &from, const QString &to, int code) {
    return u"Cannot move \"%1\" to \"%2\": %3"_s.arg(from, to, QString::fromLocal8Bit(std::strerror(code)));
}

// Copies an item as it is: folders with their contents, files with their permissions, links as
// links (never what they lead to).
bool copyTree(const QString &from, const QString &to, QString *error) {
    const QFileInfo info(from);
    if (info.isSymLink()) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(QFile::encodeName(from).constData(), target, sizeof target - 1);
        if (length >= 0)
            target[length] = '\0';
        if (length < 0 || ::symlink(target, QFile::encodeName(to).constData()) != 0) {
            setError(error, u"Cannot copy the link \"%1\": %2"_s.arg(
                                from, QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        return true;
    }
    if (!info.isDir())
        return AtomicFile::copy(from, to, error, AtomicFile::Durability::survivesKill);
    if (!QDir().mkdir(to)) {
        setError(error, u"Cannot create the folder \"%1\""_s.arg(to));
        return false;
    }
    const QStringList entries = QDir(from).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &entry : entries) {
        if (!copyTree(from + u'/' + entry, to + u'/' + entry, error))
            return false;
    }
    QFile::setPermissions(to, info.permissions());
    return true;
}

// A move between file systems: a whole copy under a free name beside the target, renamed into
// place, and only then the source removed. The target never holds a partial copy.
bool moveAcrossFileSystems(const QString &from, const QString &to, QString *error) {
    const QString staging = QFileInfo(to).path() + u"/Temp_"_s + newUuidString();
    if (!copyTree(from, staging, error)) {
        InstallFiles::removeItem(staging);
        return false;
    }
    if (const int result =
            InstallFiles::renameWithoutReplacing(QFile::encodeName(staging), QFile::encodeName(to))) {
        InstallFiles::removeItem(staging);
        setError(error, moveError(from, to, result));
        return false;
    }
    // Renamed aside before it is removed, so a kill never leaves a half-removed item under its
    // name; start-up clears what lies aside.
    const QString aside = QFileInfo(from).path() + u"/Temp_"_s + newUuidString();
    InstallFiles::removeItem(
        InstallFiles::renameWithoutReplacing(QFile::encodeName(from), QFile::encodeName(aside)) == 0 ? aside
                                                                                                     : from);
    return true;
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
    const int result = InstallFiles::renameWithoutReplacing(QFile::encodeName(from), QFile::encodeName(to));
    if (result == 0)
        return true;
    if (result == EXDEV)
        return moveAcrossFileSystems(from, to, error);
    setError(error, moveError(from, to, result));
    return false;
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
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW,
                STATX_BTIME | STATX_MTIME, &attributes) != 0)
        return std::nullopt;
    const statx_timestamp &stamp = (attributes.stx_mask & STATX_BTIME)   ? attributes.stx_btime
                                   : (attributes.stx_mask & STATX_MTIME) ? attributes.stx_mtime
                                                                         : statx_timestamp{};
    if (!(attributes.stx_mask & (STATX_BTIME | STATX_MTIME)))
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(stamp.tv_sec * 1000 + stamp.tv_nsec / 1000000, Qt::UTC);
}

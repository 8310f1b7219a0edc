#include "installfiles.h"

#include "platform/fileremoval.h"

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

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

namespace InstallFiles {

QString pathExtension(const QString &fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0 || dot == fileName.size() - 1)
        return {};
    return fileName.mid(dot + 1);
}

bool isInsideFolder(const QString &path, const QString &folder) {
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QString cleanPath = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString cleanFolder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (cleanPath == cleanFolder)
        return true;
    const QString prefix = cleanFolder.endsWith(u'/') ? cleanFolder : cleanFolder + u'/';
    return cleanPath.startsWith(prefix);
}

bool removeItem(const QString &path, QString *error) {
    return FileRemoval::remove(path, error);
}

std::optional<QString> moveToFreeName(const QString &source, const QString &folder, const QString &name,
                                      QString *error) {
    const QString extension = pathExtension(name);
    const QString base = extension.isEmpty() ? name : name.chopped(extension.size() + 1);
    const QString suffix = extension.isEmpty() ? QString() : u'.' + extension;
    const QByteArray from = QFile::encodeName(source);

    // The bound only stops a folder full of copies from turning this into an endless loop.
    constexpr int kMaxCopies = 100000;
    for (int counter = 0; counter <= kMaxCopies; ++counter) {
        const QString candidate = counter == 0 ? name : base + u'_' + QString::number(counter) + suffix;
        const QString target = folder + u'/' + candidate;
        const int result = renameWithoutReplacing(from, QFile::encodeName(target));
        if (result == 0)
            return target;
        if (result != EEXIST && result != ENOTEMPTY) {
            setError(error, u"Cannot move \"%1\" to \"%2\": %3"_s.arg(source, target, systemError(result)));
            return std::nullopt;
        }
    }
    setError(error,
             u"Cannot move \"%1\" into \"%2\": every name from %3 on is taken"_s.arg(source, folder, name));
    return std::nullopt;
}

// File systems without RENAME_NOREPLACE get a check before the rename, which only leaves a
// window between two callers racing for one name.
int renameWithoutReplacing(const QByteArray &from, const QByteArray &to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    struct stat status;
    if (::lstat(to.constData(), &status) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace InstallFiles

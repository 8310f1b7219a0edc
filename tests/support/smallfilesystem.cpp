#include "smallfilesystem.h"

#include <QDir>
#include <QFile>

#include <sys/mount.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QByteArray sizeOption(qint64 bytes) {
    return "size=" + QByteArray::number(bytes);
}

QString fillerPath(const QString &folder) {
    return folder + u"/.filler"_s;
}

} // namespace

SmallFileSystem::SmallFileSystem(const QString &folder, qint64 bytes)
    : m_folder(folder) {
    QDir().mkpath(folder);
    m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                        sizeOption(bytes).constData()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

bool SmallFileSystem::fill(qint64 keepFree) const {
    QFile filler(fillerPath(m_folder));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    // Down to single bytes, so not even a small write finds room.
    for (qint64 chunk = 64 * 1024; chunk > 0; chunk /= 2) {
        const QByteArray bytes(chunk, 'f');
        while (filler.write(bytes) == chunk) {
        }
    }
    return filler.resize(std::max<qint64>(0, filler.size() - keepFree));
}

bool SmallFileSystem::resize(qint64 bytes) const {
    QFile::remove(fillerPath(m_folder));
    return ::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", MS_REMOUNT,
                   sizeOption(bytes).constData()) == 0;
}

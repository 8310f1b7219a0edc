// Storage: the folders everything lives in, the user's picked folders, and the library of
// downloaded files.

#include "downloadmanager.h"

#include "downloads/failurereport.h"
#include "platform/bookmark.h"
#include "platform/console.h"
#include "platform/defaultsstore.h"
#include "platform/fileremoval.h"
#include "platform/standarddirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// NAME_MAX of the common file systems, in bytes.
constexpr qsizetype kMaximumNameBytes = 255;

bool entryExists(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Removes a file, a link (never what it leads to) or a whole folder.
void removeEntry(const QString &path) {
    FileRemoval::remove(path);
}

// The platform's path extension: the text after the last dot of a name that does not start with it.
QString pathExtension(const QString &name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.mid(dot + 1) : QString();
}

QString lastPathComponent(const QUrl &url) {
    // Split the encoded path, so that an escaped "/" stays inside its component. Trailing
    // slashes end no component: "…/Clock/" names "Clock", as the platform reads it.
    QString path = url.path(QUrl::FullyEncoded);
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const QString component = path.mid(path.lastIndexOf(u'/') + 1);
    return QUrl::fromPercentEncoding(component.toUtf8());
}

// One safe file name: no separators or control characters, not hidden, not empty, not too long.
QString sanitizedName(const QString &raw) {
    QString name;
    name.reserve(raw.size());
    for (const QChar c : raw)
        name.append(c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f ? u'_' : c);
    name = name.trimmed();
    qsizetype leadingDots = 0;
    while (leadingDots < name.size() && name.at(leadingDots) == u'.')
        ++leadingDots;
    name.remove(0, leadingDots);
    if (name.isEmpty())
        name = u"download"_s;
    while (name.toUtf8().size() > kMaximumNameBytes) {
        const QString extension = pathExtension(name);
        const qsizetype stemEnd = extension.isEmpty() ? name.size() : name.size() - extension.size() - 1;
        name.remove(stemEnd - 1, 1);
    }
    return name;
}

} // namespace

QString DownloadManager::downloadFileName(const QUrl &remote) {
    QString name = sanitizedName(lastPathComponent(remote));
    if (pathExtension(name).isEmpty())
        name += u".ipa"_s;
    return sanitizedName(name);
}

QUrl DownloadManager::downloadFolder() const {
    if (m_customDownloadFolder)
        return *m_customDownloadFolder;
    return QUrl::fromLocalFile(StandardDirs::documents());
}

QUrl DownloadManager::applicationsFolder() const {
    if (!m_customLiveContainerFolder)
        return downloadFolder();
    const QString applications = m_customLiveContainerFolder->toLocalFile() + u"/Applications"_s;
    return entryExists(applications) ? QUrl::fromLocalFile(applications) : *m_customLiveContainerFolder;
}

std::optional<QUrl> DownloadManager::dataContainersFolder() const {
    if (!m_customLiveContainerFolder)
        return std::nullopt;
    return QUrl::fromLocalFile(m_customLiveContainerFolder->toLocalFile() + u"/Data/Application"_s);
}

QUrl DownloadManager::backupsFolder() const {
    const QString backups = StandardDirs::applicationSupport() + u"/Backups"_s;
    QDir().mkpath(backups);
    return QUrl::fromLocalFile(backups);
}

void DownloadManager::setCustomFolder(const QUrl &url, bool isLiveContainer) {
    if (!Bookmark::startAccessing(url))
        return;
    QString error;
    const std::optional<QByteArray> bookmark = Bookmark::create(url, &error);
    if (!bookmark) {
        Bookmark::stopAccessing(url);
        printLine(u"Failed to save bookmark: "_s + error);
        return;
    }
    DefaultsStore().setBytes(isLiveContainer ? kCustomLiveContainerFolderKey : kCustomDownloadFolderKey,
                             *bookmark);
    if (isLiveContainer) {
        setCustomFolderValue(BookmarkedFolder::liveContainer, url);
        setAutoUnzipEnabled(true);
        scanInstalledApps();
    } else {
        setCustomFolderValue(BookmarkedFolder::downloads, url);
        refreshFileList();
    }
    Bookmark::stopAccessing(url);
}

void DownloadManager::resetCustomFolder(bool isLiveContainer) {
    DefaultsStore().remove(isLiveContainer ? kCustomLiveContainerFolderKey : kCustomDownloadFolderKey);
    if (isLiveContainer) {
        setCustomFolderValue(BookmarkedFolder::liveContainer, std::nullopt);
        scanInstalledApps();
    } else {
        setCustomFolderValue(BookmarkedFolder::downloads, std::nullopt);
        refreshFileList();
    }
}

void DownloadManager::restoreBookmark(const QString &key, BookmarkedFolder folder) {
    DefaultsStore defaults;
    const std::optional<QByteArray> bookmark = defaults.bytes(key);
    if (!bookmark)
        return;
    const std::optional<Bookmark::Resolved> resolved = Bookmark::resolve(*bookmark);
    if (!resolved)
        return;
    if (resolved->isStale) {
        Bookmark::startAccessing(resolved->url);
        const std::optional<QByteArray> renewed = Bookmark::create(resolved->url);
        if (!renewed)
            return;
        defaults.setBytes(key, *renewed);
        Bookmark::stopAccessing(resolved->url);
    }
    // Access stays open for the life of the process.
    if (Bookmark::startAccessing(resolved->url))
        setCustomFolderValue(folder, resolved->url);
}

void DownloadManager::setCustomFolderValue(BookmarkedFolder folder, const std::optional<QUrl> &url) {
    std::optional<QUrl> &value =
        folder == BookmarkedFolder::downloads ? m_customDownloadFolder : m_customLiveContainerFolder;
    if (value == url)
        return;
    value = url;
    if (folder == BookmarkedFolder::downloads)
        Q_EMIT customDownloadFolderChanged();
    else
        Q_EMIT customLiveContainerFolderChanged();
}

void DownloadManager::refreshFileList() {
    const QDir folder(downloadFolder().toLocalFile());
    QList<QUrl> files;
    if (folder.exists()) {
        const QStringList names = folder.entryList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
        for (const QString &name : names) {
            if (!name.startsWith(u'.') && pathExtension(name) != u"app"_s)
                files.append(QUrl::fromLocalFile(folder.filePath(name)));
        }
    }
    setFileList(files);
}

std::optional<QUrl> DownloadManager::localFileURL(const QUrl &remote) const {
    const QString folder = downloadFolder().toLocalFile() + u'/';
    const QString name = downloadFileName(remote);
    const QString component = sanitizedName(lastPathComponent(remote));
    const QString extension = pathExtension(name);
    const QString zipName = name.left(name.size() - extension.size()) + u"zip"_s;
    for (const QString &candidate : {name, component, zipName}) {
        if (entryExists(folder + candidate))
            return QUrl::fromLocalFile(folder + candidate);
    }
    return std::nullopt;
}

void DownloadManager::renameFile(const QUrl &url, const QString &newName) {
    // A new name is one entry beside the old one, never a path that leads elsewhere.
    if (newName.isEmpty() || newName == u"."_s || newName == u".."_s || newName.contains(u'/') ||
        newName.contains(QChar(0))) {
        reportFailure(tr("Rename Failed"), u"Rename failed: "_s,
                      tr("“%1” is not a valid file name.").arg(newName));
        return;
    }
    const QString source = url.toLocalFile();
    const QString target = QFileInfo(source).path() + u'/' + newName;
    if (entryExists(target)) {
        reportFailure(tr("Rename Failed"), u"Error: "_s, tr("File already exists"));
        return;
    }
    QFile file(source);
    if (!file.rename(target)) {
        reportFailure(tr("Rename Failed"), u"Rename failed: "_s, file.errorString());
        return;
    }
    refreshFileList();
}

void DownloadManager::deleteFile(const QUrl &url) {
    const QString path = url.toLocalFile();
    removeEntry(path);
    if (entryExists(path))
        reportFailure(tr("Delete Failed"), u"Delete failed: "_s,
                      tr("“%1” could not be removed.").arg(QFileInfo(path).fileName()));
    refreshFileList();
}

void DownloadManager::deleteAllFiles() {
    const QDir folder(downloadFolder().toLocalFile());
    if (folder.exists()) {
        const QStringList names = folder.entryList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
        for (const QString &name : names) {
            if (pathExtension(name) != u"app"_s)
                removeEntry(folder.filePath(name));
        }
    }
    refreshFileList();
}

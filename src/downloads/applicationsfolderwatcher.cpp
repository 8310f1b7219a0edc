#include "applicationsfolderwatcher.h"

#include "downloads/downloadmanager.h"

#include <QFileInfo>

ApplicationsFolderWatcher::ApplicationsFolderWatcher(DownloadManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietPeriod);
    connect(&m_quiet, &QTimer::timeout, this, &ApplicationsFolderWatcher::rescan);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &ApplicationsFolderWatcher::folderDidChange);
    if (manager) {
        connect(manager, &DownloadManager::customLiveContainerFolderChanged, this,
                &ApplicationsFolderWatcher::watchCurrentFolders);
    }
    watchCurrentFolders();
}

void ApplicationsFolderWatcher::watchCurrentFolders() {
    QStringList wanted;
    if (m_manager) {
        const QString applications = m_manager->applicationsFolder().toLocalFile();
        wanted.append(applications);
        // "Applications" created or removed inside the storage folder moves the applications folder.
        if (const auto storage = m_manager->customLiveContainerFolder())
            wanted.append(storage->toLocalFile());
    }
    QStringList existing;
    for (const QString &folder : std::as_const(wanted)) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir() && !existing.contains(folder))
            existing.append(folder);
    }
    const QStringList watched = m_watcher.directories();
    if (watched == existing)
        return;
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    if (!existing.isEmpty())
        m_watcher.addPaths(existing);
}

void ApplicationsFolderWatcher::folderDidChange() {
    m_quiet.start();
}

void ApplicationsFolderWatcher::rescan() {
    if (!m_manager)
        return;
    m_manager->scanInstalledApps();
    // A folder that was removed and made again is a new folder to the watcher.
    watchCurrentFolders();
}

#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>

class DownloadManager;

// Keeps the installed apps in step with LiveContainer's applications folder while the app runs:
// an app added by LiveContainer or removed by hand shows up without a manual refresh. Changes come
// in bursts (an extraction writes thousands of files), so the folder is rescanned once it has been
// quiet for a short while.
class ApplicationsFolderWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kQuietPeriod{700};

    explicit ApplicationsFolderWatcher(DownloadManager *manager, QObject *parent = nullptr);

    // Tests wait less.
    void setQuietPeriod(std::chrono::milliseconds period) { m_quiet.setInterval(period); }
    // The folders watched now: the applications folder and the storage folder above it, whose
    // "Applications" may appear or go.
    QStringList watchedFolders() const { return m_watcher.directories(); }

private:
    void watchCurrentFolders();
    void folderDidChange();
    void rescan();

    QPointer<DownloadManager> m_manager;
    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
};

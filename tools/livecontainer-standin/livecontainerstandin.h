#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Plays LiveContainer for one storage folder: answers its two URL actions the way the real app
// leaves its storage behind, so installs, launches and updates can be tried on a desktop.
class LiveContainerStandIn {
public:
    explicit LiveContainerStandIn(const QString &storageFolder);

    struct Outcome {
        bool succeeded = false;
        QString message; // one line for the console
        // What was run, for the window: empty for "install" and for a launch that found no app.
        QString appName;
        QString bundleIdentifier;
        std::optional<QUrl> iconURL;
        QString dataContainer;
        bool isFirstLaunch = false;
    };

    // "livecontainer://livecontainer-launch?bundle-name=<folder>" or "livecontainer://install".
    Outcome open(const QUrl &url) const;

    // The folder holding the ".app" bundles: "Applications" when it exists, else the storage itself.
    QString applicationsFolder() const;
    QString dataContainersFolder() const;
    QString storageFolder() const { return m_storage; }

private:
    Outcome launch(const QString &folderName) const;
    Outcome prepareStorage() const;

    QString m_storage;
};

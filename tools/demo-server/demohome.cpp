#include "demohome.h"

#include "downloads/downloadmanager.h"
#include "platform/bookmark.h"
#include "platform/defaultsstore.h"
#include "store/appstoreviewmodel.h"

#include <QDir>
#include <QNetworkAccessManager>

using namespace Qt::StringLiterals;

namespace DemoHome {

bool seed(const QUrl &reposListURL, const QUrl &feedURL, const QString &liveContainerFolder, QString *error) {
    // The layout LiveContainer makes on its first start.
    if (!QDir().mkpath(liveContainerFolder + u"/Applications"_s) ||
        !QDir().mkpath(liveContainerFolder + u"/Data/Application"_s)) {
        *error = u"Cannot make LiveContainer's folder %1"_s.arg(liveContainerFolder);
        return false;
    }
    const std::optional<QByteArray> bookmark =
        Bookmark::create(QUrl::fromLocalFile(liveContainerFolder), error);
    DefaultsStore defaults;
    if (!bookmark || !defaults.setBytes(DownloadManager::kCustomLiveContainerFolderKey, *bookmark) ||
        !defaults.setBool(DownloadManager::kAutoUnzipEnabledKey, true)) {
        if (error->isEmpty())
            *error = u"Cannot write the settings in %1"_s.arg(defaults.fileName());
        return false;
    }

    // A store engine on a fresh home writes the tree of a fresh install, with the list given; the
    // feed itself in place of the folder spares the window's first refresh a round trip.
    QNetworkAccessManager network;
    AppStoreViewModel store(reposListURL, &network);
    for (const SavedRepo &node : store.savedRepos())
        store.deleteRepo(node.id);
    store.addRepo(feedURL);
    store.waitForPendingSaves();
    return true;
}

} // namespace DemoHome

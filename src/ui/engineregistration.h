#pragma once

#include "downloads/appbackup.h"
#include "downloads/downloadmanager.h"
#include "downloads/downloadstatus.h"
#include "downloads/pendinginstallation.h"
#include "model/appitem.h"
#include "model/localapp.h"
#include "model/savedrepo.h"
#include "model/sortoptions.h"
#include "platform/colorschemepreference.h"
#include "services/inappnotification.h"
#include "services/logger.h"
#include "services/notificationmanager.h"
#include "store/appstoreviewmodel.h"

#include <QtQml/qqml.h>

// The engines and records are declared in libraries that know no QML module; this module is where
// QML meets them, so they are registered here under their own names.

struct AppStoreViewModelForeign {
    Q_GADGET
    QML_FOREIGN(AppStoreViewModel)
    QML_NAMED_ELEMENT(AppStoreViewModel)
};

struct DownloadManagerForeign {
    Q_GADGET
    QML_FOREIGN(DownloadManager)
    QML_NAMED_ELEMENT(DownloadManager)
};

struct NotificationManagerForeign {
    Q_GADGET
    QML_FOREIGN(NotificationManager)
    QML_NAMED_ELEMENT(NotificationManager)
    QML_SINGLETON
};

namespace NotificationTypeForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(NotificationTypeNamespace)
QML_NAMED_ELEMENT(NotificationType)
} // namespace NotificationTypeForeign

struct ColorSchemePreferenceForeign {
    Q_GADGET
    QML_FOREIGN(ColorSchemePreference)
    QML_NAMED_ELEMENT(ColorSchemePreference)
};

struct AppItemForeign {
    Q_GADGET
    QML_FOREIGN(AppItem)
    QML_VALUE_TYPE(appItem)
};

struct LocalAppForeign {
    Q_GADGET
    QML_FOREIGN(LocalApp)
    QML_VALUE_TYPE(localApp)
};

struct SavedRepoForeign {
    Q_GADGET
    QML_FOREIGN(SavedRepo)
    QML_VALUE_TYPE(savedRepo)
};

struct AppSortOptionForeign {
    Q_GADGET
    QML_FOREIGN(AppSortOption)
    QML_VALUE_TYPE(appSortOption)
};

struct AppBackupForeign {
    Q_GADGET
    QML_FOREIGN(AppBackup)
    QML_VALUE_TYPE(appBackup)
};

struct PendingInstallationForeign {
    Q_GADGET
    QML_FOREIGN(PendingInstallation)
    QML_VALUE_TYPE(pendingInstallation)
};

struct DownloadStatusForeign {
    Q_GADGET
    QML_FOREIGN(DownloadStatus)
    QML_VALUE_TYPE(downloadStatus)
};

// The kinds of a download status under the record's own name (DownloadStatus.Paused).
namespace DownloadStatusCaseForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(DownloadStatusCaseNamespace)
QML_NAMED_ELEMENT(DownloadStatus)
} // namespace DownloadStatusCaseForeign

struct InAppNotificationForeign {
    Q_GADGET
    QML_FOREIGN(InAppNotification)
    QML_VALUE_TYPE(inAppNotification)
};

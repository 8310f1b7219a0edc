#include "downloads/failurereport.h"

#include "platform/console.h"
#include "services/notificationmanager.h"

void reportFailure(const QString &title, const QString &consolePrefix, const QString &description) {
    printLine(consolePrefix + description);
    NotificationManager &notifications = NotificationManager::shared();
    if (notifications.isAppInForeground())
        notifications.showNotification(title, description, NotificationType::Error);
    else
        notifications.sendSystemNotification(title, description);
}

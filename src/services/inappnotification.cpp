#include "inappnotification.h"

InAppNotification InAppNotification::make(const QString &title, const QString &message,
                                          NotificationType type) {
    return InAppNotification{QUuid::createUuid(), title, message, type};
}

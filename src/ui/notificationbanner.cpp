#include "ui/notificationbanner.h"

#include "services/notificationmanager.h"

using namespace Qt::StringLiterals;

NotificationBanner::NotificationBanner(QObject *parent)
    : QObject(parent) {
    connect(&NotificationManager::shared(), &NotificationManager::currentNotificationChanged, this,
            &NotificationBanner::notificationDidChange);
    notificationDidChange();
}

QString NotificationBanner::symbolName() const {
    switch (m_content.type) {
    case NotificationType::Success:
        return u"checkmark.circle.fill"_s;
    case NotificationType::Info:
        break;
    case NotificationType::Error:
        return u"exclamationmark.circle.fill"_s;
    }
    return u"info.circle.fill"_s;
}

void NotificationBanner::notificationDidChange() {
    const std::optional<InAppNotification> &current = NotificationManager::shared().currentNotification();
    if (current && !(*current == m_content)) {
        m_content = *current;
        Q_EMIT contentChanged();
    }
    if (m_shown != current.has_value()) {
        m_shown = current.has_value();
        Q_EMIT shownChanged();
    }
}

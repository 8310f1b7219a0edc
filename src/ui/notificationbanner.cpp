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

QColor NotificationBanner::iconColor() const {
    switch (m_content.type) {
    case NotificationType::Success:
        return QColor(0x43, 0xA0, 0x47);
    case NotificationType::Info:
        break;
    case NotificationType::Error:
        return QColor(0xE5, 0x39, 0x35);
    }
    return QColor(0x1E, 0x88, 0xE5);
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

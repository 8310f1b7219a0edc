#pragma once

#include "services/inappnotification.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// What the banner draws, following the notification service's current banner. When the banner
// goes away its texts stay, so that it can slide out with them.
class NotificationBanner : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool shown READ shown NOTIFY shownChanged)
    Q_PROPERTY(QString title READ title NOTIFY contentChanged)
    Q_PROPERTY(QString message READ message NOTIFY contentChanged)
    Q_PROPERTY(QString symbolName READ symbolName NOTIFY contentChanged)
    // The theme colours the icon by the type.
    Q_PROPERTY(NotificationTypeNamespace::NotificationType type READ type NOTIFY contentChanged)

public:
    explicit NotificationBanner(QObject *parent = nullptr);

    bool shown() const { return m_shown; }
    QString title() const { return m_content.title; }
    QString message() const { return m_content.message; }
    QString symbolName() const;
    NotificationType type() const { return m_content.type; }

Q_SIGNALS:
    void shownChanged();
    void contentChanged();

private:
    void notificationDidChange();

    bool m_shown = false;
    InAppNotification m_content;
};

#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUuid>

// How a banner is drawn: icon and colour.
namespace NotificationTypeNamespace {
Q_NAMESPACE
// Capitalised because QML reads only capitalised enumerators.
enum class NotificationType { Success, Info, Error };
Q_ENUM_NS(NotificationType)
} // namespace NotificationTypeNamespace
using NotificationType = NotificationTypeNamespace::NotificationType;

// The banner on screen: a new identity for every banner, so two banners with the same text are
// still two banners.
class InAppNotification {
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id CONSTANT)
    Q_PROPERTY(QString title MEMBER title CONSTANT)
    Q_PROPERTY(QString message MEMBER message CONSTANT)
    Q_PROPERTY(NotificationTypeNamespace::NotificationType type MEMBER type CONSTANT)

public:
    QUuid id;
    QString title;
    QString message;
    NotificationType type = NotificationType::Info;

    static InAppNotification make(const QString &title, const QString &message, NotificationType type);

    friend bool operator==(const InAppNotification &, const InAppNotification &) = default;
};

Q_DECLARE_METATYPE(InAppNotification)

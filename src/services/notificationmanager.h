#pragma once

#include "services/inappnotification.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <optional>

class QQmlEngine;
class QJSEngine;
class QTimer;

// Tells the user about finished work: an in-app banner while the window is active, a system
// notification otherwise. Which of the two is the caller's choice (isAppInForeground); the
// manager only carries it out. Lives on the main thread.
class NotificationManager : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QVariant currentNotification READ currentNotificationValue NOTIFY currentNotificationChanged)
    Q_PROPERTY(bool isAppInForeground READ isAppInForeground WRITE setAppInForeground NOTIFY
                   isAppInForegroundChanged)

public:
    static constexpr std::chrono::milliseconds kBannerDuration{3000};

    static NotificationManager &shared();
    static NotificationManager *create(QQmlEngine *, QJSEngine *);

    const std::optional<InAppNotification> &currentNotification() const { return m_currentNotification; }

    bool isAppInForeground() const { return m_isAppInForeground; }
    void setAppInForeground(bool foreground);

    // Shows a banner after the caller's current work, replacing any banner on screen, and
    // dismisses it kBannerDuration after this request. Any thread.
    Q_INVOKABLE void showNotification(const QString &title, const QString &message, NotificationType type);

    // Posts a freedesktop notification over the session bus; without a bus or a notification
    // server nothing happens. The outcome is not observed. Any thread.
    Q_INVOKABLE void sendSystemNotification(const QString &title, const QString &body);

    // How long until the banner goes away; nothing when no dismissal is pending.
    std::optional<std::chrono::milliseconds> bannerRemainingTime() const;
    // Tests shorten the banner's life; the app keeps kBannerDuration.
    void setBannerDuration(std::chrono::milliseconds duration) { m_bannerDuration = duration; }

Q_SIGNALS:
    void currentNotificationChanged();
    void isAppInForegroundChanged();
    // Every system notification requested, whether or not a server shows it.
    void systemNotificationSent(const QString &title, const QString &body);

private:
    NotificationManager() = default;

    QVariant currentNotificationValue() const;
    void presentBanner(const QString &title, const QString &message, NotificationType type);
    void dismissBanner();

    std::optional<InAppNotification> m_currentNotification;
    QTimer *m_timer = nullptr;
    bool m_isAppInForeground = true;
    std::chrono::milliseconds m_bannerDuration = kBannerDuration;
};

#include "notificationmanager.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QQmlEngine>
#include <QTimer>
#include <QVariantMap>

using namespace Qt::StringLiterals;

NotificationManager &NotificationManager::shared() {
    // Never destroyed: the process ends with it, and QML holds it without owning it. Created on
    // whichever thread asks first, it always belongs to the main thread.
    static NotificationManager *const instance = [] {
        auto *manager = new NotificationManager;
        if (auto *app = QCoreApplication::instance())
            manager->moveToThread(app->thread());
        return manager;
    }();
    return *instance;
}

NotificationManager *NotificationManager::create(QQmlEngine *, QJSEngine *) {
    NotificationManager *manager = &shared();
    QQmlEngine::setObjectOwnership(manager, QQmlEngine::CppOwnership);
    return manager;
}

void NotificationManager::setAppInForeground(bool foreground) {
    if (m_isAppInForeground == foreground)
        return;
    m_isAppInForeground = foreground;
    Q_EMIT isAppInForegroundChanged();
}

void NotificationManager::showNotification(const QString &title, const QString &message,
                                           NotificationType type) {
    // Always queued, also on the main thread: the banner follows the caller's current work.
    QMetaObject::invokeMethod(
        this, [this, title, message, type] { presentBanner(title, message, type); }, Qt::QueuedConnection);
}

void NotificationManager::presentBanner(const QString &title, const QString &message, NotificationType type) {
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
        m_timer = nullptr;
    }
    m_currentNotification = InAppNotification::make(title, message, type);
    Q_EMIT currentNotificationChanged();

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    // A coarse timer may stretch three seconds by 5 %.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(m_bannerDuration);
    QTimer *timer = m_timer;
    connect(m_timer, &QTimer::timeout, this, [this, timer] {
        if (m_timer != timer)
            return;
        m_timer->deleteLater();
        m_timer = nullptr;
        QMetaObject::invokeMethod(this, &NotificationManager::dismissBanner, Qt::QueuedConnection);
    });
    m_timer->start();
}

void NotificationManager::dismissBanner() {
    // A newer banner may have arrived between the timer and this job; it has its own timer.
    if (m_timer || !m_currentNotification)
        return;
    m_currentNotification.reset();
    Q_EMIT currentNotificationChanged();
}

std::optional<std::chrono::milliseconds> NotificationManager::bannerRemainingTime() const {
    if (!m_timer || !m_timer->isActive())
        return std::nullopt;
    return m_timer->remainingTimeAsDuration();
}

QVariant NotificationManager::currentNotificationValue() const {
    return m_currentNotification ? QVariant::fromValue(*m_currentNotification) : QVariant();
}

void NotificationManager::sendSystemNotification(const QString &title, const QString &body) {
    Q_EMIT systemNotificationSent(title, body);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s,
                                                         u"/org/freedesktop/Notifications"_s,
                                                         u"org.freedesktop.Notifications"_s, u"Notify"_s);
    const QVariantMap hints{{u"sound-name"_s, u"message-new-instant"_s}};
    notify << u"Kivo"_s << uint(0) << QString() << title << body << QStringList() << hints << int(-1);
    // Fire and forget: no reply is awaited, so a bus without a notification server costs nothing.
    notify.setAutoStartService(false);
    bus.asyncCall(notify);
}

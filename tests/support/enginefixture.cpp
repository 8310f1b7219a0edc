#include "enginefixture.h"

#include "platform/defaultsstore.h"
#include "platform/fileremoval.h"
#include "platform/standarddirs.h"
#include "services/notificationmanager.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTest>

#include <chrono>

using namespace Qt::StringLiterals;

namespace EngineFixture {

void forgetEverything() {
    for (const QString &folder : {StandardDirs::applicationSupport(), StandardDirs::documents(),
                                  StandardDirs::caches(), StandardDirs::temporary()})
        FileRemoval::remove(folder);
    // Settings of an earlier version would move over again: clear those before the current file.
    QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Kivo"_s, u"Kivo"_s).clear();
    QFile::remove(DefaultsStore().fileName());
}

BannerLog::BannerLog() {
    NotificationManager &notifications = NotificationManager::shared();
    notifications.setBannerDuration(std::chrono::milliseconds(20));
    connect(&notifications, &NotificationManager::currentNotificationChanged, this, [this, &notifications] {
        if (const auto &shown = notifications.currentNotification())
            m_lines.append(shown->title + u": "_s + shown->message);
    });
}

bool settleNotifications() {
    NotificationManager::shared().setAppInForeground(true);
    // A requested banner may still be queued.
    QCoreApplication::sendPostedEvents();
    return QTest::qWaitFor([] { return !NotificationManager::shared().currentNotification(); });
}

} // namespace EngineFixture

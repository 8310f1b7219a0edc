#include "services/notificationmanager.h"
#include "support/testmain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QVariantMap>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// Plays the desktop's notification server on a private bus and keeps what it was asked.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Request {
        QString appName;
        QString summary;
        QString body;
        int expireTimeout = 0;
    };
    QList<Request> requests;

public Q_SLOTS:
    uint Notify(const QString &appName, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int expireTimeout) {
        requests.append(Request{appName, summary, body, expireTimeout});
        return uint(requests.size());
    }
};

// The in-app banner, and system notifications over a private session bus, because these
// machines have none: the request must reach a server when there is one, and cost nothing when
// the bus has no notification server. Without a bus at all the engine tests send them too.
class TestServices : public QObject {
    Q_OBJECT

private:
    QProcess m_bus;
    QString m_address;

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty())
            return;
        m_bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY(m_bus.waitForStarted());
        QTRY_VERIFY(m_bus.canReadLine());
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        // Read once, at the first use of the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }

    void cleanupTestCase() {
        m_bus.kill();
        m_bus.waitForFinished();
    }

    void cleanup() {
        NotificationManager &manager = NotificationManager::shared();
        manager.setBannerDuration(NotificationManager::kBannerDuration);
        QTRY_VERIFY_WITH_TIMEOUT(!manager.currentNotification(), 5000);
    }

    // The banner follows the caller's current work, and lives kBannerDuration.
    void aBannerAppearsAfterTheCallersWork() {
        NotificationManager &manager = NotificationManager::shared();
        manager.showNotification(u"Download Complete"_s, u"App.ipa has been downloaded."_s,
                                 NotificationType::Success);
        QVERIFY(!manager.currentNotification());
        QTRY_VERIFY(manager.currentNotification());
        const InAppNotification banner = *manager.currentNotification();
        QCOMPARE(banner.title, u"Download Complete"_s);
        QCOMPARE(banner.message, u"App.ipa has been downloaded."_s);
        QCOMPARE(banner.type, NotificationType::Success);
        QVERIFY(!banner.id.isNull());
        QCOMPARE(manager.property("currentNotification").value<InAppNotification>(), banner);
        QVERIFY(manager.bannerRemainingTime() > 2900ms);
        QVERIFY(manager.bannerRemainingTime() <= 3000ms);
    }

    // A second banner replaces the first at once and lives a whole period of its own: when the
    // first one's period ends it is still there, and the first one's dismissal never comes.
    void aNewerBannerReplacesTheOlder() {
        NotificationManager &manager = NotificationManager::shared();
        manager.setBannerDuration(200ms);
        manager.showNotification(u"First"_s, u"one"_s, NotificationType::Info);
        QTRY_VERIFY(manager.currentNotification());
        const QUuid first = manager.currentNotification()->id;
        manager.setBannerDuration(600ms);
        manager.showNotification(u"Second"_s, u"two"_s, NotificationType::Error);
        QTRY_VERIFY(manager.currentNotification()->id != first);
        QCOMPARE(manager.currentNotification()->title, u"Second"_s);

        QSignalSpy changes(&manager, &NotificationManager::currentNotificationChanged);
        QTest::qWait(400);
        QCOMPARE(changes.size(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!manager.currentNotification(), 2000);
        QCOMPARE(changes.size(), 1);
    }

    void requestsFromOtherThreadsReachTheMainThread() {
        NotificationManager &manager = NotificationManager::shared();
        manager.setBannerDuration(300ms);
        QThread *worker = QThread::create([&manager] {
            manager.showNotification(u"Update Completed"_s, u"Game"_s, NotificationType::Success);
        });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        QTRY_VERIFY(manager.currentNotification());
        QCOMPARE(manager.currentNotification()->title, u"Update Completed"_s);
        QCOMPARE(manager.thread(), QCoreApplication::instance()->thread());
    }

    void withoutAServerNothingHappens() {
        if (m_address.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        NotificationManager::shared().sendSystemNotification(u"Download Complete"_s,
                                                             u"App.ipa has been downloaded."_s);
        QTest::qWait(50);
        QVERIFY(!NotificationManager::shared().currentNotification());
    }

    void theServerGetsTitleAndBody() {
        if (m_address.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QDBusConnection serverBus = QDBusConnection::connectToBus(m_address, u"notification-server"_s);
        QVERIFY(serverBus.isConnected());
        NotificationServer server;
        QVERIFY(serverBus.registerObject(u"/org/freedesktop/Notifications"_s, &server,
                                         QDBusConnection::ExportAllSlots));
        QVERIFY(serverBus.registerService(u"org.freedesktop.Notifications"_s));

        NotificationManager::shared().sendSystemNotification(u"Download Complete"_s,
                                                             u"App.ipa has been downloaded."_s);
        QTRY_COMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests.first().appName, u"Kivo"_s);
        QCOMPARE(server.requests.first().summary, u"Download Complete"_s);
        QCOMPARE(server.requests.first().body, u"App.ipa has been downloaded."_s);
        QCOMPARE(server.requests.first().expireTimeout, -1);

        serverBus.unregisterService(u"org.freedesktop.Notifications"_s);
        QDBusConnection::disconnectFromBus(u"notification-server"_s);
    }
};

KIVO_TEST_MAIN(TestServices)
#include "tst_services.moc"

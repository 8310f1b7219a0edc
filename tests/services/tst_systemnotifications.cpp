#include "services/notificationmanager.h"
#include "support/testmain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

using namespace Qt::StringLiterals;

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

// A private session bus, because these machines have none: the request must reach a server
// when there is one, and cost nothing when the bus has no notification server.
class TestSystemNotifications : public QObject {
    Q_OBJECT

private:
    QProcess m_bus;
    QString m_address;

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty())
            QSKIP("dbus-daemon is not installed");
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

    void withoutAServerNothingHappens() {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        NotificationManager::shared().sendSystemNotification(u"Download Complete"_s,
                                                             u"App.ipa has been downloaded."_s);
        QTest::qWait(50);
        QVERIFY(!NotificationManager::shared().currentNotification());
    }

    void theServerGetsTitleAndBody() {
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

KIVO_TEST_MAIN(TestSystemNotifications)
#include "tst_systemnotifications.moc"

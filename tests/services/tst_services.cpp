#include "services/logger.h"
#include "services/notificationmanager.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestServices : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() {
        NotificationManager &manager = NotificationManager::shared();
        manager.setBannerDuration(NotificationManager::kBannerDuration);
        QTRY_VERIFY_WITH_TIMEOUT(!manager.currentNotification(), 5000);
    }

    void theLoggerKeepsNothing() {
        Logger &logger = Logger::shared();
        QSignalSpy changes(&logger, &Logger::logsChanged);
        logger.log(u"CheckUpdate: App com.example.game not installed."_s);
        logger.log(u"FinalizeUpdate: done"_s);
        QVERIFY(logger.logs().isEmpty());
        QCOMPARE(changes.size(), 0);
        QCOMPARE(&Logger::shared(), &logger);
    }

    // The banner follows the caller's current work, and lives kBannerDuration.
    void aBannerAppearsAfterTheCallersWork() {
        NotificationManager &manager = NotificationManager::shared();
        manager.showNotification(u"Download Complete"_s, u"App.ipa has been downloaded."_s,
                                 NotificationType::success);
        QVERIFY(!manager.currentNotification());
        QTRY_VERIFY(manager.currentNotification());
        const InAppNotification banner = *manager.currentNotification();
        QCOMPARE(banner.title, u"Download Complete"_s);
        QCOMPARE(banner.message, u"App.ipa has been downloaded."_s);
        QCOMPARE(banner.type, NotificationType::success);
        QVERIFY(!banner.id.isNull());
        QCOMPARE(manager.property("currentNotification").value<InAppNotification>(), banner);
        QVERIFY(manager.bannerRemainingTime() > 2900ms);
        QVERIFY(manager.bannerRemainingTime() <= 3000ms);
    }

    // A second banner replaces the first at once and restarts the period; the first banner's
    // dismissal never comes.
    void aNewerBannerReplacesTheOlder() {
        NotificationManager &manager = NotificationManager::shared();
        manager.setBannerDuration(300ms);
        manager.showNotification(u"First"_s, u"one"_s, NotificationType::info);
        QTRY_VERIFY(manager.currentNotification());
        const QUuid first = manager.currentNotification()->id;
        QTest::qWait(200);
        manager.showNotification(u"Second"_s, u"two"_s, NotificationType::error);
        QTRY_VERIFY(manager.currentNotification()->id != first);
        QElapsedTimer sinceSecond;
        sinceSecond.start();
        QCOMPARE(manager.currentNotification()->title, u"Second"_s);

        QSignalSpy changes(&manager, &NotificationManager::currentNotificationChanged);
        QTRY_VERIFY_WITH_TIMEOUT(!manager.currentNotification(), 2000);
        QVERIFY(sinceSecond.elapsed() >= 250);
        QCOMPARE(changes.size(), 1);
    }

    void requestsFromOtherThreadsReachTheMainThread() {
        NotificationManager &manager = NotificationManager::shared();
        manager.setBannerDuration(300ms);
        QThread *worker = QThread::create([&manager] {
            manager.showNotification(u"Update Completed"_s, u"Game"_s, NotificationType::success);
        });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        QTRY_VERIFY(manager.currentNotification());
        QCOMPARE(manager.currentNotification()->title, u"Update Completed"_s);
        QCOMPARE(manager.thread(), QCoreApplication::instance()->thread());
    }

    // No session bus here: the request is made and nothing blocks or fails.
    void aSystemNotificationWithoutABusIsQuiet() {
        NotificationManager &manager = NotificationManager::shared();
        QSignalSpy sent(&manager, &NotificationManager::systemNotificationSent);
        manager.sendSystemNotification(u"Download Complete"_s, u"App.ipa has been downloaded."_s);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().at(0).toString(), u"Download Complete"_s);
        QVERIFY(!manager.currentNotification());
    }
};

KIVO_TEST_MAIN(TestServices)
#include "tst_services.moc"

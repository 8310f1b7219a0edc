#include "downloads/downloadmanager.h"
#include "downloads/sessionrecorder.h"
#include "fixtures/httpserver.h"
#include "install/installtestsupport.h"
#include "platform/defaultsstore.h"
#include "platform/resumedata.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"
#include "services/notificationmanager.h"
#include "support/enginefixture.h"
#include "support/smallfilesystem.h"
#include "support/testfiles.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>

#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

QString documents(const QString &name = {}) {
    return StandardDirs::documents() + (name.isEmpty() ? QString() : u'/' + name);
}

QString sessionFolder() {
    return StandardDirs::applicationSupport() + u"/TransferSessions/test"_s;
}

// The downloaded file once it is there; empty when it never came.
QByteArray arrivedFile(const QString &name = u"app.ipa"_s) {
    (void)QTest::qWaitFor([&] { return QFileInfo::exists(documents(name)); }, 10000);
    return readFile(documents(name));
}

QStringList cachedResumeFiles() {
    return QDir(StandardDirs::caches()).entryList(QDir::Files);
}

// Every state one URL passes through, as the screens would see it.
class StateLog {
public:
    StateLog(DownloadManager &manager, const QUrl &url) {
        QObject::connect(&manager, &DownloadManager::downloadStatesChanged, &m_context,
                         [this, &manager, url] {
                             const DownloadStatus status = manager.downloadStatus(url);
                             if (m_states.isEmpty() || !(m_states.last() == status))
                                 m_states.append(status);
                         });
    }

    const QList<DownloadStatus> &states() const { return m_states; }
    // The cases in order, repeats folded.
    QList<DownloadStatus::Case> cases() const {
        QList<DownloadStatus::Case> result;
        for (const DownloadStatus &status : m_states) {
            if (result.isEmpty() || result.last() != status.kind())
                result.append(status.kind());
        }
        return result;
    }

private:
    QObject m_context;
    QList<DownloadStatus> m_states;
};

using Case = DownloadStatus::Case;

} // namespace

class TestDownloadManager : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<DownloadManager> m_manager;

    DownloadManager &startManager(std::chrono::milliseconds requestTimeout = 10s) {
        // One session per folder at a time, as in one process.
        m_manager.reset();
        m_manager = std::make_unique<DownloadManager>(
            SessionRecorder::quickConfiguration(sessionFolder(), requestTimeout));
        return *m_manager;
    }

    // Destroys the engine and its session as a quit would, and builds them again.
    DownloadManager &restartManager() {
        m_manager.reset();
        return startManager();
    }

    // A download of `body`, paused after its first bytes.
    QUrl pausedDownload(const QByteArray &body) {
        m_server->setRoute(u"/app.ipa"_s,
                           RouteResponse::bytes(body).withEtag("v1").throttled(2 * 1024 * 1024));
        const QUrl url = m_server->url(u"/app.ipa"_s);
        m_manager->startDownload(url);
        (void)QTest::qWaitFor([&] { return m_manager->downloadStatus(url).written() >= 128 * 1024; });
        m_manager->pauseDownload(url);
        (void)QTest::qWaitFor([&] { return m_manager->downloadStatus(url).kind() == Case::Paused; });
        return url;
    }

private Q_SLOTS:
    void init() {
        EngineFixture::forgetEverything();
        NotificationManager::shared().setAppInForeground(true);
        m_server = std::make_unique<HttpServer>();
        QVERIFY(m_server->start() != 0);
        startManager();
    }

    void cleanup() {
        m_manager.reset();
        m_server.reset();
    }

    // Announced by banner while the window is active, by system notification otherwise.
    void aWholeDownloadGoesThroughItsStates_data() {
        QTest::addColumn<bool>("foreground");
        QTest::newRow("window active") << true;
        QTest::newRow("window inactive") << false;
    }

    void aWholeDownloadGoesThroughItsStates() {
        QFETCH(bool, foreground);
        NotificationManager::shared().setAppInForeground(foreground);
        const QByteArray body = randomBytes(1024 * 1024, 1);
        m_server->setRoute(u"/app.ipa"_s,
                           RouteResponse::bytes(body).withEtag("v1").throttled(8 * 1024 * 1024));
        const QUrl url = m_server->url(u"/app.ipa"_s);
        DownloadManager &manager = *m_manager;
        StateLog log(manager, url);
        QSignalSpy banners(&NotificationManager::shared(), &NotificationManager::currentNotificationChanged);
        QSignalSpy systemNotifications(&NotificationManager::shared(),
                                       &NotificationManager::systemNotificationSent);

        manager.startDownload(url);
        QCOMPARE(manager.downloadStatus(url), DownloadStatus::started());
        QVERIFY(manager.tasks().contains(url));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(documents(u"app.ipa"_s)), 10000);
        QTRY_COMPARE(manager.downloadStatus(url).kind(), Case::None);

        QCOMPARE(readFile(documents(u"app.ipa"_s)), body);
        QCOMPARE(log.cases(), (QList<Case>{Case::Downloading, Case::None}));
        bool sawTotal = false;
        for (const DownloadStatus &status : log.states()) {
            if (status.kind() != Case::Downloading || status.total() < 0)
                continue;
            sawTotal = true;
            QCOMPARE(status.total(), body.size());
            QCOMPARE(status.progress(), double(status.written()) / double(status.total()));
        }
        QVERIFY(sawTotal);
        QVERIFY(manager.tasks().isEmpty());
        QVERIFY(manager.diskResumeDataPaths().isEmpty());
        QCOMPARE(manager.fileList(), QList<QUrl>{QUrl::fromLocalFile(documents(u"app.ipa"_s))});

        const QVariantList announced{u"Download Complete"_s, u"app.ipa has been downloaded."_s};
        if (foreground) {
            QTRY_VERIFY(NotificationManager::shared().currentNotification().has_value());
            const InAppNotification banner = *NotificationManager::shared().currentNotification();
            QCOMPARE((QVariantList{banner.title, banner.message}), announced);
            QCOMPARE(banner.type, NotificationType::Success);
        } else {
            QTRY_COMPARE(systemNotifications.size(), 1);
            QCOMPARE(systemNotifications.first(), announced);
        }
        QTest::qWait(50);
        QCOMPARE(systemNotifications.size(), foreground ? 0 : 1);
        QCOMPARE(banners.isEmpty(), !foreground);
    }

    // Pausing keeps one resume file, named in the settings; the transfer continues from it, also
    // after a restart, and leaves nothing behind.
    void pauseAndResumeContinueTheTransfer_data() {
        QTest::addColumn<bool>("restart");
        QTest::newRow("same run") << false;
        QTest::newRow("after a restart") << true;
    }

    void pauseAndResumeContinueTheTransfer() {
        QFETCH(bool, restart);
        const QByteArray body = randomBytes(1024 * 1024, 3);
        const QUrl url = pausedDownload(body);
        QCOMPARE(m_manager->downloadStatus(url).kind(), Case::Paused);
        QVERIFY(!m_manager->tasks().contains(url));
        QVERIFY(m_manager->resumeDataMap().contains(url));
        // The pause and the task's end both bring resume data; only the newer file stays.
        QTest::qWait(100);
        QCOMPARE(cachedResumeFiles().size(), 1);
        QCOMPARE(m_manager->diskResumeDataPaths().value(url.toString()), cachedResumeFiles().first());
        QCOMPARE(DefaultsStore().stringMap(DownloadManager::kResumeDataMapKey)->value(url.toString()),
                 cachedResumeFiles().first());

        DownloadManager &manager = restart ? restartManager() : *m_manager;
        QTRY_COMPARE(manager.downloadStatus(url).kind(), Case::Paused);
        StateLog log(manager, url);
        QVERIFY(manager.tasks().isEmpty());
        m_server->updateRoute(u"/app.ipa"_s, [](RouteResponse &route) { route.bytesPerSecond = 0; });
        if (restart)
            manager.resumeDownload(url);
        else
            manager.startDownload(url);
        QCOMPARE(arrivedFile(), body);
        const RecordedRequest continuation = m_server->requests(u"/app.ipa"_s).last();
        QVERIFY(continuation.header("Range").startsWith("bytes="));
        QCOMPARE(continuation.status, 206);
        QTRY_COMPARE(log.cases(), (QList<Case>{Case::Downloading, Case::None}));
        QTRY_VERIFY(cachedResumeFiles().isEmpty());
        QVERIFY(manager.diskResumeDataPaths().isEmpty());
        QVERIFY(manager.resumeDataMap().isEmpty());
    }

    void aRunningDownloadContinuesAfterARestart() {
        const QByteArray body = randomBytes(2 * 1024 * 1024, 5);
        m_server->setRoute(u"/app.ipa"_s,
                           RouteResponse::bytes(body).withEtag("v1").throttled(4 * 1024 * 1024));
        const QUrl url = m_server->url(u"/app.ipa"_s);
        m_manager->startDownload(url);
        QTRY_VERIFY(m_manager->downloadStatus(url).written() >= 512 * 1024);

        m_server->updateRoute(u"/app.ipa"_s,
                              [](RouteResponse &route) { route.bytesPerSecond = 1024 * 1024; });
        DownloadManager &manager = restartManager();
        // The live task comes back running, with the bytes it already holds.
        QTRY_VERIFY(manager.tasks().contains(url));
        QCOMPARE(manager.downloadStatus(url).kind(), Case::Downloading);
        QVERIFY(manager.downloadStatus(url).written() >= 256 * 1024);
        m_server->updateRoute(u"/app.ipa"_s, [](RouteResponse &route) { route.bytesPerSecond = 0; });
        QCOMPARE(arrivedFile(), body);
        QVERIFY(m_server->requests(u"/app.ipa"_s).last().header("Range").startsWith("bytes="));
        QTRY_COMPARE(manager.downloadStatus(url).kind(), Case::None);
    }

    void waitsForTheServerThenDownloads() {
        const QByteArray body = randomBytes(256 * 1024, 6);
        m_server->serveBytes(u"/app.ipa"_s, body);
        const QUrl url = m_server->url(u"/app.ipa"_s);
        const quint16 port = m_server->port();
        m_server->stop();
        StateLog log(*m_manager, url);

        m_manager->startDownload(url);
        QTRY_COMPARE(m_manager->downloadStatus(url).kind(), Case::WaitingForConnection);
        QCOMPARE(m_server->start(port), port);
        QCOMPARE(arrivedFile(), body);
        QTRY_COMPARE(log.cases(), (QList<Case>{Case::Downloading, Case::WaitingForConnection,
                                               Case::Downloading, Case::None}));
    }

    // A failed transfer ends, or pauses when it holds resume data; starting it again brings the
    // whole file, from where it stopped where it could. An ended task left behind would make the
    // next start show a transfer that never moves.
    void anErrorEndsOrPausesTheDownload_data() {
        QTest::addColumn<bool>("stalls");
        QTest::newRow("404, nothing to resume") << false;
        QTest::newRow("stalled after 128 KiB") << true;
    }

    void anErrorEndsOrPausesTheDownload() {
        QFETCH(bool, stalls);
        DownloadManager &manager = startManager(300ms);
        const QByteArray body = randomBytes(512 * 1024, 8);
        m_server->setRoute(u"/app.ipa"_s,
                           stalls ? RouteResponse::bytes(body).withEtag("v1").stalledAfter(128 * 1024)
                                  : RouteResponse::errorPage(404));
        const QUrl url = m_server->url(u"/app.ipa"_s);
        manager.startDownload(url);
        QTRY_COMPARE(m_server->requestCount(u"/app.ipa"_s), 1);
        QTRY_COMPARE_WITH_TIMEOUT(manager.downloadStatus(url).kind(), stalls ? Case::Paused : Case::None,
                                  5000);
        if (!stalls)
            QVERIFY(manager.tasks().isEmpty());
        QCOMPARE(manager.resumeDataMap().contains(url), stalls);
        QCOMPARE(cachedResumeFiles().size(), stalls ? 1 : 0);

        m_server->setRoute(u"/app.ipa"_s, RouteResponse::bytes(body).withEtag("v1"));
        manager.startDownload(url);
        QCOMPARE(arrivedFile(), body);
        QCOMPARE(m_server->requests(u"/app.ipa"_s).last().header("Range"),
                 stalls ? QByteArray("bytes=131072-") : QByteArray());
    }

    void cancelRemovesEveryTrace() {
        const QUrl url = pausedDownload(randomBytes(1024 * 1024, 9));
        QCOMPARE(m_manager->downloadStatus(url).kind(), Case::Paused);
        QTRY_COMPARE(cachedResumeFiles().size(), 1);

        m_manager->cancelDownload(url);
        QCOMPARE(m_manager->downloadStatus(url).kind(), Case::None);
        QVERIFY(m_manager->tasks().isEmpty());
        QVERIFY(m_manager->resumeDataMap().isEmpty());
        QVERIFY(m_manager->diskResumeDataPaths().isEmpty());
        QVERIFY(cachedResumeFiles().isEmpty());
        QVERIFY(DefaultsStore().stringMap(DownloadManager::kResumeDataMapKey)->isEmpty());
        // The partial data behind the resume data goes too.
        QTRY_VERIFY(QDir(sessionFolder()).entryList({u"*.part"_s}, QDir::Files).isEmpty());
    }

    void aDownloadedFileIsNotFetchedAgain() {
        m_server->serveBytes(u"/App.ipa"_s, "new");
        QVERIFY(writeFile(documents(u"App.zip"_s), "old"));
        const QUrl url = m_server->url(u"/App.ipa"_s);
        m_manager->startDownload(url);
        QCOMPARE(m_manager->downloadStatus(url).kind(), Case::None);
        QVERIFY(m_manager->tasks().isEmpty());
        QTest::qWait(50);
        QCOMPARE(m_server->requestCount(u"/App.ipa"_s), 0);
    }

    void anUnknownSizeReportsNoProgress() {
        m_server->setRoute(u"/app.ipa"_s, RouteResponse::bytes(randomBytes(512 * 1024, 10))
                                              .withoutContentLength()
                                              .throttled(2 * 1024 * 1024));
        const QUrl url = m_server->url(u"/app.ipa"_s);
        StateLog log(*m_manager, url);
        m_manager->startDownload(url);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(documents(u"app.ipa"_s)), 10000);
        int reports = 0;
        for (const DownloadStatus &status : log.states()) {
            if (status.kind() == Case::Downloading && status.written() > 0) {
                ++reports;
                QCOMPARE(status.total(), -1);
                QCOMPARE(status.progress(), 0.0);
            }
        }
        QVERIFY(reports > 0);
    }

    // Whatever the address says, the file lands directly in the downloads folder.
    void hostileNamesStayInTheDownloadsFolder_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("escaped parent folders") << u"/a/..%2F..%2Fevil.ipa"_s << u"_.._evil.ipa"_s;
        QTest::newRow("escaped absolute path") << u"/a/%2Ftmp%2Fevil"_s << u"_tmp_evil.ipa"_s;
        QTest::newRow("escaped dot dot") << u"/a/%2E%2E"_s << u"download.ipa"_s;
        // The last component that is not empty, as the platform names it.
        QTest::newRow("trailing slash") << u"/a/Clock/"_s << u"Clock.ipa"_s;
        QTest::newRow("hidden name") << u"/a/.profile"_s << u"profile.ipa"_s;
        QTest::newRow("backslashes") << u"/a/..%5C..%5Cevil.ipa"_s << u"_.._evil.ipa"_s;
        QTest::newRow("control characters") << u"/a/x%0Ay.ipa"_s << u"x_y.ipa"_s;
        QTest::newRow("query is not the name") << u"/a/download?file=../x.ipa"_s << u"download.ipa"_s;
    }

    void hostileNamesStayInTheDownloadsFolder() {
        QFETCH(QString, path);
        QFETCH(QString, name);
        const QByteArray body = randomBytes(4096, 11);
        const QString routePath = path.section(u'?', 0, 0);
        m_server->serveBytes(routePath, body);
        // Dot segments may be resolved before the request leaves.
        m_server->serveBytes(u"/"_s, body);
        QUrl url = m_server->url(u"/"_s);
        url = QUrl(url.toString(QUrl::RemovePath) + path, QUrl::StrictMode);
        QVERIFY(url.isValid());
        QCOMPARE(DownloadManager::downloadFileName(url), name);

        m_manager->startDownload(url);
        QCOMPARE(arrivedFile(name), body);
        QCOMPARE(m_manager->localFileURL(url), QUrl::fromLocalFile(documents(name)));
        const QStringList around =
            QDir(StandardDirs::applicationSupport()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QVERIFY2(!around.contains(u"evil.ipa"_s) && !QFileInfo::exists(u"/tmp/evil"_s),
                 qPrintable(around.join(u' ')));
    }

    // A download replaces an older file of its name, but never a folder (an installed bundle can
    // share the downloads folder) nor a link.
    void whatLiesAtTheDestination_data() {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("file") << u"file"_s << true;
        QTest::newRow("folder") << u"folder"_s << false;
        QTest::newRow("link") << u"link"_s << false;
    }

    void whatLiesAtTheDestination() {
        QFETCH(QString, existing);
        QFETCH(bool, replaced);
        m_server->setRoute(u"/Game.app"_s, RouteResponse::bytes("new").withDelay(300));
        const QUrl url = m_server->url(u"/Game.app"_s);
        m_manager->startDownload(url);
        QTRY_COMPARE(m_server->requestCount(u"/Game.app"_s), 1);
        // The entry appears while the transfer runs.
        const QString destination = documents(u"Game.app"_s);
        const QString target = StandardDirs::applicationSupport() + u"/target"_s;
        QVERIFY(writeFile(target, "kept"));
        if (existing == u"file"_s)
            QVERIFY(writeFile(destination, "old"));
        else if (existing == u"folder"_s)
            QVERIFY(writeFile(destination + u"/Info.plist"_s, "kept"));
        else
            QVERIFY(QDir().mkpath(documents()) && QFile::link(target, destination));

        QTRY_COMPARE(m_manager->downloadStatus(url).kind(), Case::None);
        QVERIFY(m_manager->tasks().isEmpty());
        QCOMPARE(readFile(target), QByteArray("kept"));
        if (replaced)
            QCOMPARE(readFile(destination), QByteArray("new"));
        else if (existing == u"folder"_s)
            QCOMPARE(readFile(destination + u"/Info.plist"_s), QByteArray("kept"));
        else
            QVERIFY(QFileInfo(destination).isSymLink());
    }

    // A downloads folder too small for the file: the finished file is copied beside its place
    // and renamed over it only when whole, so a full disk keeps the older file of its name, ends
    // the transfer with a banner and every trace of it (its resume data too), and a later
    // download works once there is room.
    void aDownloadThatDoesNotFitLosesNothing_data() {
        QTest::addColumn<bool>("replacing");
        QTest::newRow("new file") << false;
        QTest::newRow("replacing a file of its name") << true;
    }

    void aDownloadThatDoesNotFitLosesNothing() {
        QFETCH(bool, replacing);
        const QString folder = StandardDirs::applicationSupport() + u"/Small"_s;
        const SmallFileSystem disk(folder, 256 * 1024);
        if (!disk.isMounted())
            QSKIP("No right to mount a small file system here");
        m_manager->setCustomFolder(QUrl::fromLocalFile(folder), false);
        const QString destination = folder + u"/app.ipa"_s;
        const QByteArray body = randomBytes(1024 * 1024, 13);
        // Paused once, so resume data is recorded when the file arrives.
        const QUrl url = pausedDownload(body);
        QTRY_COMPARE(cachedResumeFiles().size(), 1);
        // A file of its name that came meanwhile (an import, a copy by hand).
        if (replacing)
            QVERIFY(writeFile(destination, "old"));
        m_server->updateRoute(u"/app.ipa"_s, [](RouteResponse &route) { route.bytesPerSecond = 0; });
        QList<InAppNotification> banners;
        QObject context;
        connect(&NotificationManager::shared(), &NotificationManager::currentNotificationChanged, &context,
                [&] {
                    if (const auto &shown = NotificationManager::shared().currentNotification())
                        banners.append(*shown);
                });
        m_manager->resumeDownload(url);

        QTRY_COMPARE_WITH_TIMEOUT(m_manager->downloadStatus(url).kind(), Case::None, 10000);
        QTRY_COMPARE(banners.size(), 1);
        QCOMPARE((QVariantList{banners.first().title, int(banners.first().type)}),
                 (QVariantList{u"Download Failed"_s, int(NotificationType::Error)}));
        QVERIFY(m_manager->tasks().isEmpty());
        QVERIFY(m_manager->diskResumeDataPaths().isEmpty());
        QVERIFY(cachedResumeFiles().isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 replacing ? QStringList{u"app.ipa"_s} : QStringList());
        if (replacing) {
            QCOMPARE(readFile(destination), QByteArray("old"));
            return;
        }
        QCOMPARE(restartManager().downloadStatus(url).kind(), Case::None);
        QVERIFY(disk.resize(4 * 1024 * 1024));
        m_manager->startDownload(url);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(destination), body, 10000);
    }

    // What a kill or a broken record leaves is settled at the next start: records that cannot be
    // read are dropped, files no record refers to are removed, one console line each, and
    // nothing outside the app's folders is touched.
    void startUpRemovesWhatNoRecordReferences() {
        m_manager.reset();
        const QString outside = StandardDirs::applicationSupport() + u"/outside"_s;
        QVERIFY(writeFile(outside, "keep"));
        ResumeData kept;
        kept.url = QUrl(u"https://example.com/kept.ipa"_s);
        kept.partialFileName = u"KEPT.part"_s;
        kept.bytesReceived = 4;
        kept.etag = "\"v1\"";
        const QString keptFile = newUuidString();
        const QString staging = StandardDirs::temporary() + u'/' + newUuidString() + u".ipa"_s;
        const QString strayResume = StandardDirs::caches() + u'/' + newUuidString();
        const QString brokenResume = newUuidString();
        QVERIFY(writeFile(StandardDirs::caches() + u'/' + keptFile, kept.encode()) &&
                writeFile(StandardDirs::caches() + u'/' + brokenResume, "not resume data") &&
                writeFile(strayResume, kept.encode()) && writeFile(staging, "staged") &&
                writeFile(sessionFolder() + u"/KEPT.part"_s, "kept") &&
                writeFile(sessionFolder() + u"/ORPHAN.part"_s, "orphan"));
        QVERIFY(QFile::link(outside, sessionFolder() + u"/LINK.part"_s));
        const QJsonObject escapingTask{{u"url"_s, u"https://example.com/journal.ipa"_s},
                                       {u"partialFile"_s, u"../../outside"_s}};
        QVERIFY(writeFile(sessionFolder() + u"/journal.json"_s,
                          QJsonDocument(QJsonObject{{u"tasks"_s, QJsonArray{escapingTask}}}).toJson()));
        const QMap<QString, QString> map{{kept.url.toString(), keptFile},
                                         {u"https://example.com/broken.ipa"_s, brokenResume},
                                         {u"https://example.com/escaping.ipa"_s, u"../../../outside"_s}};
        QVERIFY(DefaultsStore().setStringMap(DownloadManager::kResumeDataMapKey, map));

        QStringList lines = InstallTest::printedBy([&] {
            startManager();
            (void)QTest::qWaitFor([] { return !QFileInfo::exists(sessionFolder() + u"/ORPHAN.part"_s); });
        });
        QVERIFY(!QFileInfo::exists(sessionFolder() + u"/ORPHAN.part"_s));
        lines.sort();
        QStringList expected{
            u"Dropped unreadable resume data of https://example.com/broken.ipa"_s,
            u"Dropped unreadable resume data of https://example.com/escaping.ipa"_s,
            u"Dropped an unreadable transfer journal entry: "_s +
                QString::fromUtf8(QJsonDocument(escapingTask).toJson(QJsonDocument::Compact)),
            u"Removed a leftover: "_s + sessionFolder() + u"/LINK.part"_s,
            u"Removed a leftover: "_s + sessionFolder() + u"/ORPHAN.part"_s,
            u"Removed a leftover: "_s + StandardDirs::caches() + u'/' + brokenResume,
            u"Removed a leftover: "_s + staging,
            u"Removed a leftover: "_s + strayResume,
        };
        expected.sort();
        QCOMPARE(lines, expected);
        QCOMPARE(m_manager->diskResumeDataPaths(), (QMap<QString, QString>{{kept.url.toString(), keptFile}}));
        QCOMPARE(DefaultsStore().stringMap(DownloadManager::kResumeDataMapKey),
                 m_manager->diskResumeDataPaths());
        QTRY_COMPARE(m_manager->downloadStatus(kept.url).kind(), Case::Paused);
        QCOMPARE(readFile(sessionFolder() + u"/KEPT.part"_s), QByteArray("kept"));
        QCOMPARE(readFile(outside), QByteArray("keep"));

        // Cancel never reaches outside the caches, whatever a record names.
        m_manager->cancelDownload(QUrl(u"https://example.com/escaping.ipa"_s));
        QCOMPARE(readFile(outside), QByteArray("keep"));
    }

    void localFileURLLooksForEachForm_data() {
        QTest::addColumn<QString>("remotePath");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("found");
        QTest::newRow("ipa") << u"/App.ipa"_s << QStringList{u"App.ipa"_s, u"App.zip"_s} << u"App.ipa"_s;
        QTest::newRow("zip instead") << u"/App.ipa"_s << QStringList{u"App.zip"_s} << u"App.zip"_s;
        QTest::newRow("no extension") << u"/get"_s << QStringList{u"get"_s, u"get.zip"_s} << u"get.ipa"_s;
        QTest::newRow("no extension, bare") << u"/get"_s << QStringList{u"get"_s, u"get.zip"_s} << u"get"_s;
        QTest::newRow("no extension, zip") << u"/get"_s << QStringList{u"get.zip"_s} << u"get.zip"_s;
        QTest::newRow("none") << u"/get"_s << QStringList{u"got.ipa"_s} << QString();
    }

    void localFileURLLooksForEachForm() {
        QFETCH(QString, remotePath);
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        for (const QString &name : present)
            QVERIFY(writeFile(documents(name), "x"));
        if (QByteArray(QTest::currentDataTag()) == "no extension")
            QVERIFY(writeFile(documents(u"get.ipa"_s), "x"));
        const std::optional<QUrl> local =
            m_manager->localFileURL(QUrl(u"https://example.com"_s + remotePath));
        QCOMPARE(local.value_or(QUrl()), found.isEmpty() ? QUrl() : QUrl::fromLocalFile(documents(found)));
    }

    void renameStaysInItsFolder_data() {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<bool>("renamed");
        QTest::newRow("plain") << u"Renamed.ipa"_s << true;
        QTest::newRow("parent folder") << u"../Renamed.ipa"_s << false;
        QTest::newRow("sub-path") << u"sub/Renamed.ipa"_s << false;
        QTest::newRow("dot dot") << u".."_s << false;
        QTest::newRow("dot") << u"."_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("taken") << u"Other.ipa"_s << false;
    }

    void renameStaysInItsFolder() {
        QFETCH(QString, newName);
        QFETCH(bool, renamed);
        QVERIFY(writeFile(documents(u"App.ipa"_s), "app"));
        QVERIFY(writeFile(documents(u"Other.ipa"_s), "other"));
        QDir().mkpath(documents(u"sub"_s));
        m_manager->renameFile(QUrl::fromLocalFile(documents(u"App.ipa"_s)), newName);
        QCOMPARE(QFileInfo::exists(documents(u"App.ipa"_s)), !renamed);
        QCOMPARE(readFile(documents(u"Other.ipa"_s)), QByteArray("other"));
        if (renamed)
            QCOMPARE(readFile(documents(newName)), QByteArray("app"));
        QVERIFY(!QFileInfo::exists(StandardDirs::applicationSupport() + u"/Renamed.ipa"_s));
        QVERIFY(!QFileInfo::exists(documents(u"sub/Renamed.ipa"_s)));
    }

    void theFileListShowsWhatTheUserDownloaded() {
        for (const QString &name : {u"App.ipa"_s, u".hidden"_s, u"Upper.APP"_s, u"notes.txt"_s})
            QVERIFY(writeFile(documents(name), "x"));
        QVERIFY(writeFile(documents(u"Game.app/Info.plist"_s), "x"));
        QVERIFY(writeFile(documents(u"folder/inside"_s), "x"));
        const QString outside = StandardDirs::applicationSupport() + u"/outside"_s;
        QVERIFY(writeFile(outside + u"/keep"_s, "x"));
        QVERIFY(QFile::link(outside, documents(u"link"_s)));

        m_manager->refreshFileList();
        QStringList names;
        for (const QUrl &file : m_manager->fileList())
            names.append(QFileInfo(file.toLocalFile()).fileName());
        names.sort();
        QCOMPARE(names, (QStringList{u"App.ipa"_s, u"Upper.APP"_s, u"folder"_s, u"link"_s, u"notes.txt"_s}));

        m_manager->deleteAllFiles();
        QCOMPARE(QDir(documents()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{u"Game.app"_s});
        QVERIFY(m_manager->fileList().isEmpty());
        // A link is removed, never what it leads to.
        QVERIFY(QFileInfo::exists(outside + u"/keep"_s));
    }

    void foldersFollowThePickedFolders() {
        DownloadManager &manager = *m_manager;
        QCOMPARE(manager.downloadFolder(), QUrl::fromLocalFile(documents()));
        QCOMPARE(manager.applicationsFolder(), manager.downloadFolder());
        QVERIFY(!manager.dataContainersFolder());
        QVERIFY(QFileInfo(manager.backupsFolder().toLocalFile()).isDir());
        QVERIFY(!manager.isAutoUnzipEnabled());

        const QString liveContainer = StandardDirs::applicationSupport() + u"/LiveContainer"_s;
        const QString downloads = StandardDirs::applicationSupport() + u"/Picked"_s;
        QDir().mkpath(liveContainer);
        QDir().mkpath(downloads);
        manager.setCustomFolder(QUrl::fromLocalFile(liveContainer), true);
        manager.setCustomFolder(QUrl::fromLocalFile(downloads), false);
        QVERIFY(manager.isAutoUnzipEnabled());
        QCOMPARE(DefaultsStore().boolValue(DownloadManager::kAutoUnzipEnabledKey), std::optional<bool>(true));
        QCOMPARE(manager.applicationsFolder(), QUrl::fromLocalFile(liveContainer));
        QDir().mkpath(liveContainer + u"/Applications"_s);
        QCOMPARE(manager.applicationsFolder(), QUrl::fromLocalFile(liveContainer + u"/Applications"_s));
        QCOMPARE(manager.dataContainersFolder(), QUrl::fromLocalFile(liveContainer + u"/Data/Application"_s));
        QCOMPARE(manager.downloadFolder(), QUrl::fromLocalFile(downloads));

        // The next launch reopens both; a folder that is gone falls back to the app's own.
        QDir(downloads).removeRecursively();
        DownloadManager &relaunched = restartManager();
        QCOMPARE(relaunched.customLiveContainerFolder(), QUrl::fromLocalFile(liveContainer));
        QVERIFY(!relaunched.customDownloadFolder());
        QCOMPARE(relaunched.downloadFolder(), QUrl::fromLocalFile(documents()));
        QVERIFY(relaunched.isAutoUnzipEnabled());

        relaunched.resetCustomFolder(true);
        QVERIFY(!relaunched.customLiveContainerFolder());
        QVERIFY(!DefaultsStore().contains(DownloadManager::kCustomLiveContainerFolderKey));
        // Picking a folder that is gone changes nothing.
        const auto stored = DefaultsStore().bytes(DownloadManager::kCustomDownloadFolderKey);
        relaunched.setCustomFolder(QUrl::fromLocalFile(downloads), false);
        QVERIFY(!relaunched.customDownloadFolder());
        QCOMPARE(DefaultsStore().bytes(DownloadManager::kCustomDownloadFolderKey), stored);
    }

    // A process killed with SIGKILL mid-transfer finds its transfer in the journal at the next
    // start, continues it, and ends with the server's exact bytes.
    void aKilledProcessContinuesItsTransfer() {
        m_manager.reset();
        const qint64 size = 24 * 1024 * 1024;
        const QByteArray body = randomBytes(size, 12);
        const QString served = StandardDirs::applicationSupport() + u"/served.ipa"_s;
        QVERIFY(writeFile(served, body));
        m_server->setRoute(u"/big.ipa"_s,
                           RouteResponse::file(served).withEtag("v1").throttled(24 * 1024 * 1024));
        const QUrl url = m_server->url(u"/big.ipa"_s);

        const auto bytesServed = [&] {
            qint64 total = 0;
            for (const RecordedRequest &request : m_server->requests(u"/big.ipa"_s))
                total += request.bodyBytesSent;
            return total;
        };
        const QList<qint64> killPoints{3 * 1024 * 1024, 9 * 1024 * 1024, 15 * 1024 * 1024, 20 * 1024 * 1024};
        for (qsizetype i = 0; i <= killPoints.size(); ++i) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QStringLiteral(TRANSFER_CHILD), {url.toString(), i == 0 ? u"start"_s : u"restore"_s});
            QVERIFY(child.waitForStarted());
            if (i == killPoints.size()) {
                QVERIFY(child.waitForFinished(60'000));
                QCOMPARE(child.exitStatus(), QProcess::NormalExit);
                QCOMPARE(child.exitCode(), 0);
                break;
            }
            QTRY_VERIFY_WITH_TIMEOUT(bytesServed() >= killPoints[i], 20'000);
            child.kill(); // SIGKILL: no chance to tidy up
            QVERIFY(child.waitForFinished());
        }
        QCOMPARE(readFile(documents(u"big.ipa"_s)), body);

        const double perKill = double(bytesServed() - size) / double(killPoints.size());
        QVERIFY(m_server->requests(u"/big.ipa"_s).size() > killPoints.size());
        // The figure the download budget is read from.
        qInfo("bytes fetched twice per kill: %.0f (%.2f MiB)", perKill, perKill / (1024 * 1024));
        QVERIFY(perKill <= 2 * 1024 * 1024);
    }
};

KIVO_TEST_MAIN(TestDownloadManager)
#include "tst_downloadmanager.moc"

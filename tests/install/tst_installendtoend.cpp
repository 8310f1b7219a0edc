#include "downloads/downloadmanager.h"
#include "downloads/livecontainer.h"
#include "fixtures/httpserver.h"
#include "installtestsupport.h"
#include "model/reporesponse.h"
#include "platform/defaultsstore.h"
#include "platform/propertylist.h"
#include "platform/urlopener.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray feed(const HttpServer &server) {
    const auto entry = [&](const QString &version, const QString &path) {
        return uR"({"name": "Game", "bundleIdentifier": "com.example.game", "version": "%1", "downloadURL": "%2"})"_s
            .arg(version, server.url(path).toString());
    };
    return (uR"({"name": "Loopback Repo", "apps": [)"_s + entry(u"1.0"_s, u"/files/Game.ipa"_s) + u", "_s +
            entry(u"2.0"_s, u"/files/Game-2.ipa"_s) + u"]}"_s)
        .toUtf8();
}

} // namespace

// From a feed on a real server to an app that LiveContainer has run.
class TestInstallEndToEnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { UrlOpener::shared().setForwardToDesktop(false); }

    void downloadConvertLaunchAndConflict() {
        QTemporaryDir work;
        QVERIFY(
            InstallTest::writeAppIpa(work.filePath(u"v1.ipa"_s), u"com.example.game"_s, u"Game"_s, u"1.0"_s));
        QVERIFY(
            InstallTest::writeAppIpa(work.filePath(u"v2.ipa"_s), u"com.example.game"_s, u"Game"_s, u"2.0"_s));
        HttpServer server;
        QVERIFY(server.start() != 0);
        server.serveFile(u"/files/Game.ipa"_s, work.filePath(u"v1.ipa"_s));
        server.serveFile(u"/files/Game-2.ipa"_s, work.filePath(u"v2.ipa"_s));
        server.serveBytes(u"/repo.json"_s, feed(server), "application/json");

        // The feed lists the app.
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(server.url(u"/repo.json"_s))));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        const auto decoded = RepoResponse::decode(reply->readAll());
        QVERIFY(decoded);
        const QList<AppItem> apps = decoded->apps;
        QCOMPARE(apps.size(), 2);

        // LiveContainer's storage, picked by the user: automatic conversion goes on.
        QTemporaryDir storage;
        QVERIFY(QDir().mkpath(storage.filePath(u"Applications"_s)));
        DownloadManager engine;
        engine.setCustomFolder(QUrl::fromLocalFile(storage.path()), true);
        QVERIFY(engine.isAutoUnzipEnabled());
        const QString downloads = engine.downloadFolder().toLocalFile();

        QList<QUrl> marked;
        connect(&engine, &DownloadManager::extractingFilesChanged, this,
                [&] { marked += engine.extractingFiles().values(); });

        // Download, land in the downloads folder, convert, install.
        const QUrl first(apps.at(0).downloadURL);
        engine.startDownload(first);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.installedApps().isEmpty(), 20000);
        QTRY_VERIFY(engine.downloadStates().isEmpty());
        const QUrl landed = QUrl::fromLocalFile(downloads + u"/Game.ipa"_s);
        QVERIFY(marked.contains(landed));
        QVERIFY(!QFile::exists(landed.toLocalFile())); // converted from the downloads folder
        QVERIFY(engine.extractingFiles().isEmpty());

        const LocalApp app = engine.installedApps().first();
        QCOMPARE((QStringList{app.name, app.bundleID, app.version.value_or(QString())}),
                 (QStringList{u"Game"_s, u"com.example.game"_s, u"1.0"_s}));
        QVERIFY(app.iconURL && QFile::exists(app.iconURL->toLocalFile()));
        QCOMPARE(app.url.toLocalFile(), storage.filePath(u"Applications/com.example.game.app"_s));
        QVERIFY(!engine.hasLCAppInfo(u"com.example.game"_s));

        // Launch: the URL reaches LiveContainer, which configures the app.
        QSignalSpy opened(&UrlOpener::shared(), &UrlOpener::urlOpened);
        QVERIFY(engine.launchApp(*engine.installedFolderName(u"com.example.game"_s)));
        QCOMPARE(opened.size(), 1);
        QProcess liveContainer;
        liveContainer.start(QString::fromUtf8(KIVO_LIVECONTAINER_STANDIN),
                            {u"--storage"_s, storage.path(), opened.first().first().toUrl().toString()});
        QVERIFY(liveContainer.waitForFinished(30000));
        QCOMPARE(liveContainer.exitCode(), 0);

        const QString appInfoPath = app.url.toLocalFile() + u"/LCAppInfo.plist"_s;
        QVERIFY(engine.hasLCAppInfo(u"com.example.game"_s));
        const QStringList containers =
            QDir(storage.filePath(u"Data/Application"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        const auto appInfo = PropertyList::readDictionary(appInfoPath);
        QVERIFY(appInfo && containers.size() == 1);
        QCOMPARE(LiveContainer::dataContainerNames(*appInfo), containers);

        // A second archive of the same bundle identifier waits for the user's decision.
        const QUrl second(apps.at(1).downloadURL);
        engine.startDownload(second);
        QTRY_VERIFY_WITH_TIMEOUT(engine.pendingInstallation().has_value(), 20000);
        QTRY_VERIFY(engine.downloadStates().isEmpty());
        const PendingInstallation pending = *engine.pendingInstallation();
        QCOMPARE(pending.bundleID, u"com.example.game"_s);
        QCOMPARE(pending.appName, u"Game"_s);
        QCOMPARE(pending.existingApp->url, app.url);
        const QUrl waiting = QUrl::fromLocalFile(downloads + u"/Game-2.ipa"_s);
        QCOMPARE(pending.sourceArchiveURL, waiting);
        QVERIFY(QFile::exists(waiting.toLocalFile()));
        QCOMPARE(PropertyList::readDictionary(appInfoPath), appInfo);
        QCOMPARE(engine.installedVersion(u"com.example.game"_s), std::optional<QString>(u"1.0"_s));

        // The archive stays marked busy until the conflict is settled, then the mark goes.
        QCOMPARE(engine.extractingFiles(), QSet<QUrl>{waiting});
        engine.releaseConflictMark(pending);
        QVERIFY(engine.extractingFiles().isEmpty());
    }

    void automaticConversionFollowsTheSetting_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("autoUnzip");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("installed");
        QTest::newRow("ipa, on") << u"/get/Game.ipa"_s << true << true << true;
        QTest::newRow("IPA in capitals, on") << u"/get/GAME.IPA"_s << true << true << true;
        QTest::newRow("no extension, on") << u"/get/download"_s << true << true << true;
        QTest::newRow("ipa, off") << u"/get/Game.ipa"_s << false << true << false;
        QTest::newRow("zip, on") << u"/get/Game.zip"_s << true << true << false;
        QTest::newRow("broken ipa, on") << u"/get/Broken.ipa"_s << true << false << false;
    }

    void automaticConversionFollowsTheSetting() {
        QFETCH(QString, path);
        QFETCH(bool, autoUnzip);
        QFETCH(bool, valid);
        QFETCH(bool, installed);
        QTemporaryDir work;
        const QString archive = work.filePath(u"served.ipa"_s);
        if (valid)
            QVERIFY(InstallTest::writeAppIpa(archive, u"com.example.game"_s, u"Game"_s, u"1.0"_s));
        else
            QVERIFY(InstallTest::writeIpa(archive, {}) && QFile::resize(archive, 10));
        HttpServer server;
        QVERIFY(server.start() != 0);
        server.serveFile(path, archive);

        QTemporaryDir storage;
        QVERIFY(QDir().mkpath(storage.filePath(u"Applications"_s)));
        DownloadManager engine;
        engine.setCustomFolder(QUrl::fromLocalFile(storage.path()), true);
        engine.setAutoUnzipEnabled(autoUnzip);
        const QString landed = engine.downloadFolder().toLocalFile() + u'/' +
                               DownloadManager::downloadFileName(server.url(path));

        QStringList errors;
        {
            InstallTest::StdoutCapture console;
            engine.startDownload(server.url(path));
            QTRY_VERIFY_WITH_TIMEOUT(engine.downloadStates().isEmpty(), 20000);
            errors = console.lines().filter(u"Convert error: "_s);
        }
        QCOMPARE(engine.installedApps().size(), installed ? 1 : 0);
        QCOMPARE(QFile::exists(landed), !installed); // a converted archive goes, any other stays
        QCOMPARE(engine.fileList().contains(QUrl::fromLocalFile(landed)), !installed);
        QCOMPARE(errors.size(), autoUnzip && !valid ? 1 : 0);
        QVERIFY(engine.extractingFiles().isEmpty());
        QVERIFY(QDir(storage.filePath(u"Applications"_s)).entryList({u"Temp_*"_s}, QDir::Dirs).isEmpty());
        QVERIFY(engine.tasks().isEmpty());
        engine.cancelDownload(server.url(path));
        DefaultsStore().remove(DownloadManager::kCustomLiveContainerFolderKey);
    }
};

KIVO_TEST_MAIN(TestInstallEndToEnd)
#include "tst_installendtoend.moc"

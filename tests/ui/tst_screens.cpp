#include "fixtures/httpserver.h"
#include "install/appbundlewriter.h"
#include "install/installtestsupport.h"
#include "livecontainerstandin.h"
#include "platform/urlopener.h"
#include "samplecatalogue.h"
#include "store/appstoreviewmodel.h"
#include "support/testmain.h"
#include "ui/appshell.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <memory>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

// LiveContainer's side for the screen tests, reached from QML as `fixture`: a storage folder with
// apps and archives written as real bundles, and the stand-in answering every launch URL the
// screens open, as LiveContainer would (a first launch writes "LCAppInfo.plist" and a container).
class ScreensFixture : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString lastOpenedURL READ lastOpenedURL NOTIFY urlOpened)
    Q_PROPERTY(int openedCount READ openedCount NOTIFY urlOpened)

public:
    ScreensFixture() {
        connect(&UrlOpener::shared(), &UrlOpener::urlOpened, this, [this](const QUrl &url) {
            m_lastOpenedURL = url.toString();
            ++m_openedCount;
            if (m_storage)
                LiveContainerStandIn(m_storage->path()).open(url);
            Q_EMIT urlOpened();
        });
    }

    // Set once the loopback server runs: its address, without a trailing slash.
    QString serverBase;
    HttpServer *feedServer = nullptr;
    Q_INVOKABLE QString serverURL(const QString &path) const { return serverBase + path; }
    Q_INVOKABLE static void setClipboard(const QString &text) { QGuiApplication::clipboard()->setText(text); }
    Q_INVOKABLE static QString clipboard() { return QGuiApplication::clipboard()->text(); }

    QString lastOpenedURL() const { return m_lastOpenedURL; }
    int openedCount() const { return m_openedCount; }

    // A fresh storage folder with an empty "Applications"; the previous one goes.
    Q_INVOKABLE QUrl makeLiveContainer() {
        m_storage = std::make_unique<QTemporaryDir>();
        QDir().mkpath(m_storage->path() + u"/Applications"_s);
        return QUrl::fromLocalFile(m_storage->path());
    }
    Q_INVOKABLE QString appFolder(const QString &folderName) const {
        return m_storage ? m_storage->path() + u"/Applications/"_s + folderName : QString();
    }
    // An app bundle with its icon (a real PNG) in the applications folder.
    Q_INVOKABLE bool installApp(const QString &folderName, const QString &bundleID, const QString &name,
                                const QString &version) const {
        const QString folder = appFolder(folderName);
        if (folder.isEmpty() ||
            !AppBundleWriter::writeApp(folder, AppBundleWriter::info(bundleID, name, version)))
            return false;
        QFile icon(folder + u"/AppIcon60x60@2x.png"_s);
        return icon.open(QIODevice::WriteOnly) && icon.write(SampleCatalogue::iconPng(3)) > 0;
    }
    Q_INVOKABLE QUrl writeIpa(const QString &bundleID, const QString &name, const QString &version) const {
        const QString path = m_archives.path() + u'/' + bundleID + u'-' + version + u".ipa"_s;
        return InstallTest::writeAppIpa(path, bundleID, name, version) ? QUrl::fromLocalFile(path) : QUrl();
    }
    Q_INVOKABLE bool exists(const QString &path) const { return QFileInfo::exists(path); }
    // A folder of the test's own to pick or save into.
    Q_INVOKABLE QUrl scratchFolder(const QString &name) const {
        const QString path = m_archives.path() + u'/' + name;
        return QDir().mkpath(path) ? QUrl::fromLocalFile(path) : QUrl();
    }
    Q_INVOKABLE static QString readText(const QUrl &file) {
        QFile opened(file.toLocalFile());
        return opened.open(QIODevice::ReadOnly) ? QString::fromUtf8(opened.readAll()) : QString();
    }
    // An archive served slowly, with a validator so that a pause keeps its bytes.
    Q_INVOKABLE QUrl slowDownloadURL(const QString &name) {
        if (!m_server) {
            m_server = std::make_unique<HttpServer>();
            if (!m_server->start())
                return {};
        }
        const QString path = u"/slow/"_s + name;
        m_server->setRoute(
            path, RouteResponse::bytes(QByteArray(8'000'000, 'x')).throttled(200'000).withEtag("v1"));
        return m_server->url(path);
    }
    // An address of the feed server, from now on answered as slowly as `slowDownloadURL`.
    Q_INVOKABLE void serveSlowly(const QUrl &url) const {
        feedServer->setRoute(
            url.path(), RouteResponse::bytes(QByteArray(8'000'000, 'x')).throttled(200'000).withEtag("v1"));
    }
    // A file, or with a name ending in ".app" a folder, in the given folder.
    Q_INVOKABLE bool makeEntry(const QUrl &folder, const QString &name) const {
        const QString path = folder.toLocalFile() + u'/' + name;
        if (name.endsWith(u".app"_s))
            return QDir().mkpath(path);
        QFile file(path);
        return QDir().mkpath(folder.toLocalFile()) && file.open(QIODevice::WriteOnly) &&
               file.write("sample") == 6;
    }
    // The data containers the stand-in made.
    Q_INVOKABLE QStringList dataContainers() const {
        return m_storage ? QDir(m_storage->path() + u"/Data/Application"_s)
                               .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                         : QStringList();
    }

Q_SIGNALS:
    void urlOpened();

private:
    std::unique_ptr<QTemporaryDir> m_storage;
    std::unique_ptr<HttpServer> m_server;
    QTemporaryDir m_archives;
    QString m_lastOpenedURL;
    int m_openedCount = 0;
};

// The screens' rules, driven through QML in a fresh temporary home with the app's style. The
// home is a fresh install whose default repository list lies on a loopback server, so the main
// window's start-up refresh never leaves this machine.
class ScreensSetup : public QObject {
    Q_OBJECT

public Q_SLOTS:
    void applicationAvailable() {
        m_home = std::make_unique<TestHome>();
        AppShell::setUpApplication();
        // Nothing leaves the test: launch URLs are only announced.
        UrlOpener::shared().setForwardToDesktop(false);
        serveSampleRepository();
        seedFreshInstall(m_server->url(u"/Kivo/default_repos.csv"_s));
        m_fixture = std::make_unique<ScreensFixture>();
        m_fixture->serverBase = m_server->url(u""_s).toString(QUrl::StripTrailingSlash);
        m_fixture->feedServer = m_server.get();
    }
    void qmlEngineAvailable(QQmlEngine *engine) {
        engine->addImportPath(u"qrc:/"_s);
        engine->rootContext()->setContextProperty(u"fixture"_s, m_fixture.get());
    }
    void cleanupTestCase() {
        m_fixture.reset();
        m_server.reset();
        m_home.reset();
    }

private:
    // The default list names one feed of two sample apps in three versions each, with their icons
    // and screenshots.
    void serveSampleRepository() {
        m_server = std::make_unique<HttpServer>();
        if (!m_server->start())
            qFatal("the loopback feed server did not start");
        const QString base = m_server->url(u""_s).toString(QUrl::StripTrailingSlash);
        m_server->serveBytes(u"/Kivo/default_repos.csv"_s, (base + u"/feed.json\n"_s).toUtf8(), "text/plain");
        m_server->serveBytes(u"/feed.json"_s,
                             SampleCatalogue::feed(u"Sample Apps"_s, SampleCatalogue::apps(6, base)),
                             "application/json");
        // For the repository screens: a second feed, and a list naming a third.
        m_server->serveBytes(u"/more.json"_s,
                             SampleCatalogue::feed(u"More Apps"_s, SampleCatalogue::apps(4, base)),
                             "application/json");
        m_server->serveBytes(u"/listed.json"_s,
                             SampleCatalogue::feed(u"Listed Apps"_s, SampleCatalogue::apps(2, base)),
                             "application/json");
        m_server->serveBytes(u"/list.txt"_s, (base + u"/listed.json\n"_s).toUtf8(), "text/plain");
        for (int i = 0; i < 12; ++i)
            m_server->serveBytes(u"/screens/"_s + QString::number(i) + u".png"_s,
                                 SampleCatalogue::screenshotPng(i), "image/png");
        for (int i = 0; i < 24; ++i)
            m_server->serveBytes(u"/icons/"_s + QString::number(i) + u".png"_s, SampleCatalogue::iconPng(i),
                                 "image/png");
    }

    // The window makes its own store engine with the real default address; an engine made here
    // first writes the tree of a fresh install with the loopback address instead, and the
    // window's engine reads that tree.
    static void seedFreshInstall(const QUrl &defaultReposListURL) {
        QNetworkAccessManager network;
        AppStoreViewModel seed(defaultReposListURL, &network);
        seed.waitForPendingSaves();
    }

    // Made with the application: its thread needs one.
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScreensFixture> m_fixture;
};

QUICK_TEST_MAIN_WITH_SETUP(screens, ScreensSetup)

#include "tst_screens.moc"

#include "fixtures/httpserver.h"
#include "platform/urlopener.h"
#include "samplecatalogue.h"
#include "store/appstoreviewmodel.h"
#include "support/testmain.h"
#include "ui/appshell.h"

#include <QNetworkAccessManager>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <memory>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

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
    }
    void qmlEngineAvailable(QQmlEngine *engine) { engine->addImportPath(u"qrc:/"_s); }
    void cleanupTestCase() {
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
};

QUICK_TEST_MAIN_WITH_SETUP(screens, ScreensSetup)

#include "tst_screens.moc"

// Runs the app's main window against a loopback feed server with sample feeds, icons and archives,
// walks through the screens and prompts a user meets, and saves a PNG of each. Run it under
// xvfb-run (scripts/screenshots): offscreen rendering leaves Material backgrounds undrawn.

#include "downloads/downloadmanager.h"
#include "fixtures/httpserver.h"
#include "install/appbundlewriter.h"
#include "install/installtestsupport.h"
#include "livecontainerstandin.h"
#include "platform/urlopener.h"
#include "samplecatalogue.h"
#include "services/notificationmanager.h"
#include "standinwindow.h"
#include "store/appstoreviewmodel.h"
#include "support/testmain.h"
#include "ui/appshell.h"
#include "ui/cataloguelistmodel.h"
#include "ui/contentcontroller.h"
#include "ui/keyboardshortcuts.h"
#include "walkthrough.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QPalette>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)
Q_IMPORT_QML_PLUGIN(KivoStandInPlugin)

int main(int argc, char **argv) {
    TestHome home;
    QGuiApplication app(argc, argv);
    AppShell::setUpApplication();
    AppShell::installTranslations(QLocale::system());
    UrlOpener::shared().setForwardToDesktop(false);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"screenshots"_s;
    QDir().mkpath(output);

    // The feed server: one repository of sample apps, their icons and screenshots, and archives.
    HttpServer server;
    if (!server.start())
        return 1;
    const QString base = server.url(u""_s).toString(QUrl::StripTrailingSlash);
    const QList<AppItem> apps = SampleCatalogue::apps(60, base);
    server.serveBytes(u"/feed.json"_s, SampleCatalogue::feed(u"Sample Apps"_s, apps), "application/json");
    for (int i = 0; i < 24; ++i)
        server.serveBytes(u"/icons/"_s + QString::number(i) + u".png"_s, SampleCatalogue::iconPng(i),
                          "image/png");
    for (int i = 0; i < 12; ++i)
        server.serveBytes(u"/screens/"_s + QString::number(i) + u".png"_s, SampleCatalogue::screenshotPng(i),
                          "image/png");
    QTemporaryDir archives;
    for (const AppItem &item : apps.mid(0, 3)) {
        const QString path = archives.path() + u'/' + item.version + u".ipa"_s;
        InstallTest::writeAppIpa(path, item.bundleIdentifier, item.name, item.version);
        server.serveFile(QUrl(item.downloadURL).path(), path);
    }
    // A download slow enough to be seen running, with a validator so that pausing keeps its bytes.
    server.setRoute(QUrl(apps.at(5).downloadURL).path(),
                    RouteResponse::bytes(QByteArray(40'000'000, 'x')).throttled(400'000).withEtag("v1"));
    server.setRoute(u"/direct/Podcasts.ipa"_s,
                    RouteResponse::bytes(QByteArray(20'000'000, 'x')).throttled(300'000).withEtag("v1"));
    // A server that is down: its download waits for the connection.
    HttpServer down;
    down.start();
    const QUrl unreachable = down.url(u"/direct/Offline%20Tools.ipa"_s);
    down.stop();

    // A fresh install whose default list lies on the server but is missing there: the first
    // launch looks as it does offline, without reaching for the network.
    {
        QNetworkAccessManager network;
        AppStoreViewModel seed(server.url(u"/Kivo/default_repos.csv"_s), &network);
        seed.waitForPendingSaves();
    }

    AppShell shell;
    QQuickWindow *window = shell.load();
    if (!window)
        return 1;
    window->resize(390, 844);
    Walkthrough walk(window, output);
    auto *store = window->findChild<AppStoreViewModel *>();
    auto *downloads = window->findChild<DownloadManager *>();
    auto *controller = walk.find<ContentController>(u"contentController"_s);
    auto *catalogue = window->findChild<CatalogueListModel *>();
    if (!store || !downloads || !controller || !catalogue)
        return 1;

    // First launch, offline: the "Recommended" folder cannot load, the setup prompt comes.
    walk.waitFor([&] { return controller->showSetupAlert(); });
    walk.grab(u"01-first-run-setup-alert"_s);
    controller->later();
    walk.grab(u"02-store-without-network"_s);
    walk.click(walk.findShownItem(u"tab1"_s));
    walk.grab(u"02b-apps-empty"_s);
    walk.click(walk.findShownItem(u"tab2"_s));
    walk.grab(u"02c-download-empty"_s);
    walk.click(walk.findShownItem(u"tab0"_s));

    // LiveContainer's folder, and Clock 1.0.0 downloaded and installed by the engine.
    QTemporaryDir liveContainer;
    QDir().mkpath(liveContainer.path() + u"/Applications"_s);
    downloads->setCustomFolder(QUrl::fromLocalFile(liveContainer.path()), true);
    store->addRepo(QUrl(base + u"/feed.json"_s));
    walk.waitFor([&] { return catalogue->rowCount() > 0; });
    downloads->startDownload(QUrl(apps.at(0).downloadURL));
    walk.waitFor([&] { return !downloads->installedApps().isEmpty(); });
    walk.settle(1500);
    walk.grab(u"03-store-list"_s);

    walk.click(walk.find<QQuickItem>(u"sortButton"_s));
    walk.grab(u"04-sort-menu"_s);
    QTest::keyClick(window, Qt::Key_Escape);

    auto *search = walk.find<QQuickItem>(u"searchField"_s);
    search->forceActiveFocus();
    for (const char key : {'n', 'o', 't', 'e'})
        QTest::keyClick(window, key);
    walk.settle(800);
    walk.grab(u"05-search"_s);
    store->setSearchText(QString());
    search->setProperty("text", QString());
    walk.settle(800);

    QObject *storeView = window->findChild<QObject *>(u"storeView"_s);
    // Opens the catalogue's row of the item's app, as a tap on it does.
    const auto openApp = [&](const AppItem &item) {
        AppItem row = item;
        for (const AppItem &candidate : catalogue->apps()) {
            if (candidate.bundleIdentifier == item.bundleIdentifier)
                row = candidate;
        }
        QMetaObject::invokeMethod(storeView, "openApp", Q_ARG(QVariant, QVariant::fromValue(row)));
        walk.settle(1500);
    };
    // The detail of Clock: 1.0.0 installed and current, the newer versions to get.
    const auto back = [&] {
        QMetaObject::invokeMethod(storeView, "closeApp");
        walk.settle(500);
    };
    walk.settle(3000);
    openApp(apps.at(2));
    walk.grab(u"06-detail"_s);
    const auto scrollToEnd = [&] {
        if (auto *flick = walk.find<QQuickItem>(u"detailFlick"_s)) {
            flick->setProperty("contentY",
                               qMax(0.0, flick->property("contentHeight").toDouble() - flick->height()));
        }
    };
    scrollToEnd();
    walk.grab(u"06-detail-version-history"_s);
    back();

    // Notes downloading, then paused.
    openApp(apps.at(5));
    downloads->startDownload(QUrl(apps.at(5).downloadURL));
    walk.settle(2500);
    walk.grab(u"07-detail-download-running"_s);
    downloads->pauseDownload(QUrl(apps.at(5).downloadURL));
    walk.settle(800);
    walk.grab(u"08-detail-download-paused"_s);
    back();

    // The conflict: Clock 1.1.0 arrives while 1.0.0 is installed.
    downloads->startDownload(QUrl(apps.at(1).downloadURL));
    walk.waitFor([&] { return downloads->pendingInstallation().has_value(); });
    walk.settle(3500);
    walk.grab(u"09-conflict-alert"_s);
    controller->setShowConflictAlert(false);
    walk.settle(500);

    // The share sheet of a downloaded archive.
    openApp(apps.at(2));
    scrollToEnd();
    walk.settle(300);
    walk.click(walk.findShownItem(u"fileButton"_s));
    walk.grab(u"10-share-sheet"_s);
    QTest::keyClick(window, Qt::Key_Escape);
    walk.settle(300);
    back();

    AppBackup backup;
    backup.bundleID = apps.at(0).bundleIdentifier;
    backup.appName = apps.at(0).name;
    backup.originalInstallPath = apps.at(0).bundleIdentifier + u".app"_s;
    controller->setVerificationBackup(backup);
    walk.grab(u"11-complete-update"_s);
    controller->dismissCompleteUpdate();
    walk.settle(500);

    // The engine's own words, so that they follow the walkthrough's language.
    NotificationManager::shared().showNotification(
        DownloadManager::tr("Download Complete"),
        DownloadManager::tr("%1 has been downloaded.").arg(apps.at(1).name), NotificationType::Success);
    walk.settle(600);
    walk.grab(u"12-banner"_s);

    // Bad input: no icon, very long name and description.
    const auto longOne =
        std::find_if(apps.cbegin(), apps.cend(), [](const AppItem &item) { return item.name.size() > 60; });
    openApp(*longOne);
    walk.grab(u"13-detail-long-texts-no-icon"_s);
    back();

    // Wider windows: the app opened on the phone moves beside the list, and back.
    openApp(apps.at(0));
    window->resize(1024, 768);
    walk.settle(1000);
    walk.grab(u"14-tablet-detail"_s);
    back();
    walk.grab(u"15-tablet-store"_s);
    // The first row, so that its highlight shows, and the longest texts.
    window->resize(1440, 900);
    openApp(*longOne);
    walk.grab(u"16-desktop-detail"_s);
    window->resize(390, 844);
    walk.settle(1000);
    walk.grab(u"17-phone-after-desktop"_s);
    back();
    walk.click(walk.findShownItem(u"tab1"_s));
    walk.grab(u"18-apps-tab"_s);

    // More apps, as LiveContainer's folder holds them: some the catalogue does not know, one
    // without an icon, one with a long name; the tab follows the folder by itself.
    const QString applications = liveContainer.path() + u"/Applications"_s;
    const auto install = [&](const QString &bundleID, const QString &name, const QString &version, int icon) {
        const QString folder = applications + u'/' + bundleID + u".app"_s;
        AppBundleWriter::writeApp(folder, AppBundleWriter::info(bundleID, name, version));
        if (icon >= 0) {
            QFile file(folder + u"/AppIcon60x60@2x.png"_s);
            if (file.open(QIODevice::WriteOnly))
                file.write(SampleCatalogue::iconPng(icon));
        }
    };
    const QStringList others{u"Weather"_s, u"Podcasts"_s, u"Calculator"_s, u"Terminal"_s, u"Maps"_s};
    for (int i = 0; i < others.size(); ++i)
        install(u"org.sample."_s + others.at(i).toLower(), others.at(i), u"1.0"_s, i == 2 ? -1 : 10 + i);
    install(u"org.sample.longname"_s, u"A Remarkably Long Application Name That Wraps"_s, u"2.1"_s, 16);
    walk.waitFor([&] { return downloads->installedApps().size() >= 7; });
    walk.settle(1500);
    walk.grab(u"19-apps-grid"_s);

    // Older versions of catalogue apps: the store knows newer ones.
    for (int k : {3, 6, 9})
        install(apps.at(k).bundleIdentifier, apps.at(k).name, u"0.9"_s, k % 24);
    walk.waitFor([&] { return downloads->installedApps().size() >= 10; });
    walk.waitFor([&] { return store->availableUpdates().size() >= 3; });
    walk.settle(1500);
    walk.grab(u"20-apps-update-badges"_s);

    if (QQuickItem *tile = walk.findShownItem(u"appTile1"_s)) {
        const QPointF at = tile->mapToScene(QPointF(tile->width() / 2, 35));
        QTest::mouseClick(window, Qt::RightButton, {}, at.toPoint());
        walk.settle(500);
        walk.grab(u"21-apps-context-menu"_s);
        QTest::keyClick(window, Qt::Key_Escape);
        walk.settle(500);
        walk.click(tile);
        walk.settle(500);
        walk.grab(u"22-apps-setup-required"_s);
        QTest::keyClick(window, Qt::Key_Escape);
        walk.settle(500);
    }
    window->resize(1024, 768);
    walk.settle(1000);
    walk.grab(u"23-apps-tablet"_s);
    window->resize(1440, 900);
    walk.settle(1000);
    walk.grab(u"24-apps-desktop"_s);

    // The Download tab: one transfer running, one paused, one waiting for its server; the files
    // of the downloads folder below, Clock 1.1.0 still marked while its conflict waits.
    window->resize(390, 844);
    const QString downloadsFolder = downloads->downloadFolder().toLocalFile();
    InstallTest::writeAppIpa(downloadsFolder + u"/Weather Pro.zip"_s, u"org.sample.weatherpro"_s,
                             u"Weather Pro"_s, u"3.0"_s);
    for (const QString &name :
         {u"Release Notes.txt"_s, u"A very long file name that a server made up for its build.ipa"_s}) {
        QFile file(downloadsFolder + u'/' + name);
        if (file.open(QIODevice::WriteOnly))
            file.write("sample");
    }
    downloads->refreshFileList();
    walk.click(walk.findShownItem(u"tab2"_s));
    downloads->resumeDownload(QUrl(apps.at(5).downloadURL));
    const QUrl paused = server.url(u"/direct/Podcasts.ipa"_s);
    downloads->startDownload(paused);
    downloads->startDownload(unreachable);
    walk.settle(1500);
    downloads->pauseDownload(paused);
    walk.waitFor(
        [&] {
            return downloads->downloadStatus(unreachable).kind() ==
                   DownloadStatus::Case::WaitingForConnection;
        },
        8000);
    walk.settle(1000);
    walk.grab(u"25-download-transfers"_s);

    if (QQuickItem *row = walk.findShownItem(u"fileRow0"_s)) {
        const QPointF at = row->mapToScene(QPointF(row->width() / 3, row->height() / 2));
        QTest::mouseClick(window, Qt::RightButton, {}, at.toPoint());
        walk.settle(500);
        walk.grab(u"26-download-file-menu"_s);
        walk.click(walk.findShownItem(u"renameItem"_s));
        walk.settle(500);
        walk.grab(u"27-download-rename-alert"_s);
        QTest::keyClick(window, Qt::Key_Escape);
        walk.settle(300);
    }
    for (const QUrl &url : {QUrl(apps.at(5).downloadURL), paused, unreachable})
        downloads->cancelDownload(url);
    walk.settle(500);
    walk.grab(u"28-download-files"_s);

    // Settings, and the repository tree: a feed that answers with an error page, a folder, a
    // linked folder, and one level down.
    server.setRoute(u"/broken.json"_s, RouteResponse::errorPage(404));
    server.serveBytes(u"/more.json"_s, SampleCatalogue::feed(u"More Apps"_s, SampleCatalogue::apps(8, base)),
                      "application/json");
    server.serveBytes(u"/list.txt"_s, (base + u"/more.json\n"_s).toUtf8(), "text/plain");
    window->resize(390, 844);
    // Both folders chosen: each row has "Default" beside "Select".
    QTemporaryDir pickedDownloads;
    downloads->setCustomFolder(QUrl::fromLocalFile(pickedDownloads.path()), false);
    walk.click(walk.findShownItem(u"tab3"_s));
    walk.settle(800);
    walk.grab(u"29-settings"_s);
    store->addRepo(QUrl(base + u"/broken.json"_s));
    store->addFolder(u"Favourites"_s);
    store->addFolder(u"Team List"_s, {}, QUrl(base + u"/list.txt"_s));
    walk.waitFor([&] {
        return std::any_of(store->savedRepos().cbegin(), store->savedRepos().cend(),
                           [](const SavedRepo &node) { return node.fetchStatus.isError(); });
    });
    walk.click(walk.findShownItem(u"manageSources"_s));
    walk.settle(1500);
    walk.grab(u"30-repos-top-level"_s);
    const auto rowNamed = [&](const QString &name) -> QQuickItem * {
        QQuickItem *list = walk.findShownItem(u"reposList"_s);
        for (QQuickItem *row : list ? list->property("contentItem").value<QQuickItem *>()->childItems()
                                    : QList<QQuickItem *>()) {
            if (row->property("name").toString() == name && row->isVisible())
                return row;
        }
        return nullptr;
    };
    // The failed repository halfway through a swipe to the left, then let go where it springs back.
    if (QQuickItem *row = rowNamed(u"Unknown"_s)) {
        const QPoint from = row->mapToScene(QPointF(row->width() * 0.75, row->height() / 2)).toPoint();
        QTest::mousePress(window, Qt::LeftButton, {}, from);
        for (int step = 1; step <= 8; ++step)
            QTest::mouseMove(window, from - QPoint(step * 15, 0), 10);
        walk.grab(u"30b-repos-swipe-delete"_s);
        QTest::mouseMove(window, from, 10);
        QTest::mouseRelease(window, Qt::LeftButton, {}, from);
        walk.settle(600);
    }
    if (QQuickItem *row = rowNamed(u"Team List"_s)) {
        const QPointF at = row->mapToScene(QPointF(row->width() / 2, row->height() / 2));
        QTest::mouseClick(window, Qt::RightButton, {}, at.toPoint());
        walk.settle(500);
        walk.grab(u"31-repos-folder-menu"_s);
        walk.click(walk.findShownItem(u"renameItem"_s));
        walk.settle(500);
        walk.grab(u"32-repos-rename-folder"_s);
        QTest::keyClick(window, Qt::Key_Escape);
        walk.settle(300);
        QTest::mouseClick(window, Qt::RightButton, {}, at.toPoint());
        walk.settle(300);
        walk.click(walk.findShownItem(u"moveItem"_s));
        walk.settle(500);
        walk.grab(u"33-repos-move-sheet"_s);
        QTest::keyClick(window, Qt::Key_Escape);
        walk.settle(300);
        walk.click(row);
        walk.settle(1500);
        walk.grab(u"34-repos-linked-folder"_s);
        walk.click(walk.findShownItem(u"reposBackButton"_s));
        walk.settle(500);
    }
    walk.click(walk.findShownItem(u"addButton"_s));
    walk.settle(500);
    if (QQuickItem *editor = walk.findShownItem(u"sourcesEditor"_s))
        editor->setProperty("text", u"example.com/feed.json\nhttps://repo.example.org/apps.json"_s);
    walk.grab(u"35-add-sources"_s);
    walk.click(walk.findShownItem(u"folderMode"_s));
    walk.settle(300);
    walk.grab(u"36-add-folder"_s);
    QTest::keyClick(window, Qt::Key_Escape);
    walk.settle(300);
    walk.click(walk.findShownItem(u"reposBackButton"_s));
    walk.settle(500);
    walk.click(walk.findShownItem(u"importRepos"_s));
    walk.settle(500);
    if (QQuickItem *editor = walk.findShownItem(u"importEditor"_s))
        editor->setProperty("text", store->exportReposJSON(false));
    walk.grab(u"37-import-json"_s);
    QTest::keyClick(window, Qt::Key_Escape);
    walk.settle(300);
    walk.click(walk.findShownItem(u"exportRepos"_s));
    walk.settle(500);
    walk.grab(u"38-export-menu"_s);
    QTest::keyClick(window, Qt::Key_Escape);
    walk.settle(300);
    walk.click(walk.findShownItem(u"resetToDefaults"_s));
    walk.settle(500);
    walk.grab(u"39-reset-alert"_s);
    QTest::keyClick(window, Qt::Key_Escape);
    walk.settle(300);

    // Keys alone: the store's current row, an icon button's tooltip, the download control's ring.
    const auto press = [&](KeyboardShortcuts::Action action) {
        QTest::keySequence(window, QKeySequence(KeyboardShortcuts::sequence(action)));
    };
    // The window's shortcuts answer only in the window that has the keyboard.
    window->requestActivate();
    if (!QTest::qWaitForWindowActive(window))
        qWarning("The window never became active: the keyboard pictures show no shortcuts' effect.");
    press(KeyboardShortcuts::StoreTab);
    walk.settle(300);
    for (int i = 0; i < 2; ++i)
        QTest::keyClick(window, Qt::Key_Down);
    walk.grab(u"40-keyboard-store-row"_s);
    QTest::keyClick(window, Qt::Key_Return);
    walk.settle(1000);
    QTest::keyClick(window, Qt::Key_Tab, Qt::ShiftModifier);
    walk.settle(1000);
    walk.grab(u"41-keyboard-back-tooltip"_s);
    QTest::keyClick(window, Qt::Key_Tab);
    walk.grab(u"42-keyboard-download-focus"_s);

    // The LiveContainer stand-in's window: running the installed Clock, and a launch that finds
    // no app in its folder.
    QQmlApplicationEngine standInEngine;
    const LiveContainerStandIn standIn(liveContainer.path());
    const QString clockFolder = QFileInfo(downloads->installedApps().value(0).url.toLocalFile()).fileName();
    for (const auto &[name, folder] : {std::pair(u"43-standin-launch"_s, clockFolder),
                                       std::pair(u"44-standin-no-app"_s, u"com.example.Missing.app"_s)}) {
        const auto outcome =
            standIn.open(QUrl(u"livecontainer://livecontainer-launch?bundle-name="_s + folder));
        QQuickWindow *standInWindow = StandInWindow::show(standInEngine, outcome, standIn.storageFolder());
        if (!standInWindow)
            return 1;
        if (!QTest::qWaitForWindowExposed(standInWindow))
            return 1;
        Walkthrough standInWalk(standInWindow, output);
        standInWalk.grab(name);
        standInWindow->close();
    }

    // Back from the app the keys opened.
    QTest::keyClick(window, Qt::Key_Escape);
    walk.settle(500);

    // The desktop turns dark while the app runs (unless KIVO_COLOR_SCHEME holds it): the main
    // screens again in the dark scheme.
    QPalette darkPalette = QGuiApplication::palette();
    darkPalette.setColor(QPalette::Window, QColor(0x24, 0x24, 0x26));
    darkPalette.setColor(QPalette::WindowText, Qt::white);
    QGuiApplication::setPalette(darkPalette);
    walk.click(walk.findShownItem(u"tab0"_s));
    walk.settle(1000);
    walk.grab(u"45-dark-store"_s);
    openApp(apps.at(2));
    walk.grab(u"46-dark-detail"_s);
    scrollToEnd();
    walk.grab(u"47-dark-detail-versions"_s);
    back();
    walk.click(walk.findShownItem(u"tab1"_s));
    walk.grab(u"48-dark-apps"_s);
    walk.click(walk.findShownItem(u"tab2"_s));
    walk.grab(u"49-dark-download"_s);
    walk.click(walk.findShownItem(u"tab3"_s));
    walk.grab(u"50-dark-settings"_s);
    NotificationManager::shared().showNotification(
        DownloadManager::tr("Download Complete"),
        DownloadManager::tr("%1 has been downloaded.").arg(apps.at(1).name), NotificationType::Success);
    walk.settle(600);
    walk.grab(u"51-dark-banner"_s);
    return 0;
}

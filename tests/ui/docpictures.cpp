// The pictures of the README: the app's window, light and wide, on the demo's road through the
// sample source (the same server, home and LiveContainer stand-in as scripts/demo). Run it under
// xvfb-run (scripts/screenshots --docs).

#include "demofixture.h"
#include "downloads/downloadmanager.h"
#include "store/appstoreviewmodel.h"
#include "support/testmain.h"
#include "ui/appshell.h"
#include "ui/cataloguelistmodel.h"
#include "ui/contentcontroller.h"
#include "walkthrough.h"

#include <QDir>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

namespace {

constexpr int kPictureWidth = 1000;

} // namespace

int main(int argc, char **argv) {
    TestHome home;
    qputenv("QT_QUICK_CONTROLS_MATERIAL_THEME", "Light");
    QGuiApplication app(argc, argv);
    AppShell::setUpApplication();
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"docs"_s;
    QDir().mkpath(output);

    // Slow enough archives to photograph a download on its way.
    DemoFixture demo(250'000);
    QString error;
    if (!demo.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    AppShell shell;
    QQuickWindow *window = shell.load();
    if (!window)
        return 1;
    window->resize(1280, 800);
    Walkthrough walk(window, output);
    auto *store = window->findChild<AppStoreViewModel *>();
    auto *downloads = window->findChild<DownloadManager *>();
    auto *catalogue = window->findChild<CatalogueListModel *>();
    auto *controller = walk.find<ContentController>(u"contentController"_s);
    QObject *storeView = walk.find(u"storeView"_s);
    if (!store || !downloads || !catalogue || !controller || !storeView)
        return 1;
    const auto item = [&](const QString &name, const QString &version = {}) {
        for (const AppItem &row : store->displayApps()) {
            if (row.name != name)
                continue;
            for (const AppItem &candidate : store->versionsOfApp(row)) {
                if (version.isEmpty() || candidate.version == version)
                    return candidate;
            }
        }
        return AppItem();
    };
    const auto openApp = [&](const AppItem &app) {
        QMetaObject::invokeMethod(storeView, "openApp", Q_ARG(QVariant, QVariant::fromValue(app)));
        walk.settle(1500);
    };
    const auto installed = [&](int count) {
        return walk.waitFor([&] { return downloads->installedApps().size() >= count; });
    };

    // The store with the sample source, Notes open beside the list.
    walk.waitFor([&] { return catalogue->rowCount() > 0; });
    walk.settle(2000);
    openApp(item(u"Notes"_s, u"1.1"_s));
    walk.grab(u"store"_s, kPictureWidth);

    // A search, and Weather on its way.
    store->setSearchText(u"wea"_s);
    walk.find<QQuickItem>(u"searchField"_s)->setProperty("text", u"wea"_s);
    walk.settle(800);
    openApp(item(u"Weather"_s));
    downloads->startDownload(QUrl(item(u"Weather"_s).downloadURL));
    walk.settle(2500);
    walk.grab(u"download"_s, kPictureWidth);
    store->setSearchText(QString());
    walk.find<QQuickItem>(u"searchField"_s)->setProperty("text", QString());

    // Installed apps, converted as they arrived; Notes 1.0 launched once by LiveContainer.
    installed(1);
    for (const QString &name : {u"Clock"_s, u"Chess"_s, u"Translate"_s})
        downloads->startDownload(QUrl(item(name).downloadURL));
    downloads->startDownload(QUrl(item(u"Notes"_s, u"1.0"_s).downloadURL));
    installed(5);
    // The banners of the finished downloads go first.
    walk.settle(3500);
    walk.click(walk.findShownItem(u"tab1"_s));
    walk.settle(1500);
    walk.grab(u"apps"_s, kPictureWidth);

    // The newer Notes arrives while 1.0 is installed.
    walk.click(walk.findShownItem(u"tab0"_s));
    openApp(item(u"Notes"_s, u"1.1"_s));
    downloads->startDownload(QUrl(item(u"Notes"_s, u"1.1"_s).downloadURL));
    walk.waitFor([&] { return controller->showConflictAlert(); });
    walk.settle(3500);
    walk.grab(u"update"_s, kPictureWidth);
    controller->resolveConflict(ContentController::ConflictAnswer::UpdateExisting);
    walk.waitFor([&] { return downloads->pendingInstallation() == std::nullopt; });

    walk.click(walk.findShownItem(u"tab3"_s));
    walk.settle(1500);
    walk.grab(u"settings"_s, kPictureWidth);
    walk.click(walk.findShownItem(u"manageSources"_s));
    walk.settle(1500);
    walk.grab(u"sources"_s, kPictureWidth);
    return 0;
}

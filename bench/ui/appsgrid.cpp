// Budgets of the Apps tab with many installed apps.
//
// Without arguments: writes a home whose LiveContainer folder holds N app bundles with their
// icons (500 by default, --apps) and whose "repos.json" caches as many catalogue items, then
// starts this program again in that home with --measure, several times (--runs). Each run reports:
// - the time from the click on the "Apps" tab to the first frame that shows tiles;
// - the main thread's longest busy stretch while the icons load (from the click for 1.5 s), and
//   the longest after that first frame;
// - frames over 16 ms while the grid scrolls from top to bottom, one step per frame, and the same
//   for the store list in the same run.
// The child loads the app's window exactly as the app does, on a real event loop: QTest's waits
// would add their own sleeps.

#include "downloads/downloadmanager.h"
#include "model/savedrepo.h"
#include "model/storedform.h"
#include "platform/defaultsstore.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"
#include "samplecatalogue.h"
#include "ui/appshell.h"
#include "ui/contentcontroller.h"
#include "ui/installedapplistmodel.h"
#include "uibench.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

namespace {

using UiBench::runEventLoop;

// Scrolls the view from top to bottom, `step` pixels per frame; returns frame intervals in ms.
QList<double> scrollThrough(QQuickWindow *window, QQuickItem *view, qreal step) {
    QList<double> intervals;
    QEventLoop loop;
    QElapsedTimer clock;
    view->setProperty("contentY", view->property("originY").toReal() - view->property("topMargin").toReal());
    const qreal end = view->property("originY").toReal() + view->property("contentHeight").toReal() +
                      view->property("bottomMargin").toReal() - view->height();
    qint64 last = -1;
    const QMetaObject::Connection frames = QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            intervals.append((now - last) / 1e6);
        last = now;
        const qreal y = view->property("contentY").toReal();
        if (y >= end) {
            loop.quit();
            return;
        }
        view->setProperty("contentY", std::min(end, y + step));
    });
    clock.start();
    view->setProperty("contentY", view->property("contentY").toReal() + 1);
    runEventLoop(loop, 120000);
    QObject::disconnect(frames);
    return intervals;
}

void reportFrames(const char *label, const QList<double> &intervals) {
    const auto over =
        std::count_if(intervals.cbegin(), intervals.cend(), [](double ms) { return ms > 16.0; });
    QList<double> sorted = intervals;
    std::sort(sorted.begin(), sorted.end());
    std::printf("FRAMES %s %lld %lld %.1f %.1f\n", label, qlonglong(intervals.size()), qlonglong(over),
                sorted.isEmpty() ? 0.0 : sorted.at(sorted.size() / 2),
                sorted.isEmpty() ? 0.0 : sorted.last());
    std::fflush(stdout);
}

int measure(int argc, char **argv, int apps) {
    QGuiApplication app(argc, argv);
    AppShell::setUpApplication();
    AppShell shell;
    QQuickWindow *window = shell.load();
    if (!window)
        return 1;
    window->resize(1024, 768);
    auto *downloads = window->findChild<DownloadManager *>();
    auto *grid = window->findChild<QQuickItem *>(u"appsGrid"_s);
    auto *list = window->findChild<QQuickItem *>(u"storeList"_s);
    auto *tabBar = window->findChild<QQuickItem *>(u"tabBar"_s);
    if (!downloads || !grid || !list || !tabBar)
        return 1;

    // Settled: the store shows its rows and the start-up scan found every app.
    QEventLoop ready;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &ready, [&] {
        if (list->property("count").toInt() > 0 && downloads->installedApps().size() >= apps)
            ready.quit();
    });
    poll.start(20);
    runEventLoop(ready, 30000);
    poll.stop();
    if (downloads->installedApps().size() < apps) {
        std::fprintf(stderr, "only %lld installed apps found\n",
                     qlonglong(downloads->installedApps().size()));
        return 2;
    }
    runEventLoop(1500);

    // The click on the tab, to the first frame with tiles.
    QQuickItem *appsTab = UiBench::findItem(tabBar, u"tab1"_s);
    QQuickItem *storeTab = UiBench::findItem(tabBar, u"tab0"_s);
    if (!appsTab || !storeTab)
        return 1;
    const auto tiles = [grid] {
        return grid->property("contentItem").value<QQuickItem *>()->childItems().size();
    };
    std::fprintf(stderr, "tiles made before the click: %lld\n", qlonglong(tiles()));
    UiBench::BusyStretches stretches;
    QElapsedTimer clock;
    clock.start();
    const qint64 firstFrameMs = UiBench::clickToFrame(window, appsTab, [&] {
        return grid->isVisible() && grid->property("count").toInt() > 0 && tiles() > 0;
    });
    if (firstFrameMs < 0)
        return 3;
    std::fprintf(stderr, "tiles at the first frame: %lld\n", qlonglong(tiles()));
    const double untilFirstFrame = stretches.longestMs();
    stretches.restart();
    QEventLoop icons;
    runEventLoop(icons, int(std::max<qint64>(0, 1500 - clock.elapsed())));
    std::printf("TAB %lld %.1f %.1f\n", firstFrameMs, untilFirstFrame, stretches.longestMs());
    std::fflush(stdout);

    reportFrames("grid", scrollThrough(window, grid, 40));
    UiBench::click(window, storeTab);
    runEventLoop(1000);
    reportFrames("store", scrollThrough(window, list, 40));
    return 0;
}

bool writeHome(const QString &home, int count) {
    UiBench::useHome(home);

    // The catalogue, for the store list to scroll in the same run.
    SavedRepo repo;
    repo.id = newUuidString();
    repo.name = u"Bench Apps"_s;
    repo.url = QUrl(u"http://127.0.0.1:9/feed.json"_s);
    repo.cachedApps = SampleCatalogue::apps(count, u"http://127.0.0.1:9"_s);
    repo.appCount = count;
    QDir().mkpath(StandardDirs::applicationSupport());
    QFile file(StandardDirs::applicationSupport() + u"/repos.json"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(StoredForm::encodeRepoTree({repo})) <= 0)
        return false;

    // LiveContainer's folder: one bundle per catalogue app, each with its own 120-pixel icon.
    const QString applications = home + u"/LiveContainer/Applications"_s;
    for (int i = 0; i < count; ++i) {
        const AppItem &item = repo.cachedApps->at(i);
        const QString folder = applications + u"/App"_s + QString::number(i) + u".app"_s;
        QDir().mkpath(folder);
        QFile info(folder + u"/Info.plist"_s);
        const QByteArray plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                 "<key>CFBundleIdentifier</key><string>" +
                                 item.bundleIdentifier.toUtf8() + "</string><key>CFBundleName</key><string>" +
                                 item.name.toHtmlEscaped().toUtf8() +
                                 "</string><key>CFBundleShortVersionString</key><string>0.9</string>"
                                 "</dict></plist>\n";
        QFile icon(folder + u"/AppIcon60x60@2x.png"_s);
        if (!info.open(QIODevice::WriteOnly) || info.write(plist) <= 0 || !icon.open(QIODevice::WriteOnly) ||
            icon.write(SampleCatalogue::iconPng(i % 24, 120)) <= 0)
            return false;
    }
    DefaultsStore().setBytes(DownloadManager::kCustomLiveContainerFolderKey,
                             QFile::encodeName(home + u"/LiveContainer"_s));
    DefaultsStore().setBool(ContentController::kHasAskedForLiveContainerSetup, true);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 2 && qstrcmp(argv[1], "--measure") == 0)
        return measure(argc, argv, QByteArray(argv[2]).toInt());

    // The sample icons are painted with their letter, which needs the fonts of a GUI application.
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Kivo"_s);
    QCommandLineParser parser;
    parser.addOption({u"apps"_s, u"Installed apps."_s, u"count"_s, u"500"_s});
    parser.addOption({u"runs"_s, u"Launches to measure."_s, u"count"_s, u"3"_s});
    parser.process(app);
    const int count = parser.value(u"apps"_s).toInt();
    const int runs = parser.value(u"runs"_s).toInt();

    QTemporaryDir home;
    if (!writeHome(home.path(), count))
        return 1;

    QList<qint64> firstFrames;
    std::printf("installed apps: %d, runs: %d\n", count, runs);
    for (int run = 0; run < runs; ++run) {
        const int exitCode =
            UiBench::runChild({u"--measure"_s, QString::number(count)}, [&](const QByteArray &line) {
                const QList<QByteArray> fields = line.split(' ');
                if (line.startsWith("TAB ")) {
                    firstFrames.append(fields.value(1).toLongLong());
                    std::printf(
                        "run %d: tab click to first frame with tiles %s ms; longest main-thread stretch "
                        "until then %s ms, while icons load %s ms\n",
                        run, fields.value(1).constData(), fields.value(2).constData(),
                        fields.value(3).constData());
                } else if (line.startsWith("FRAMES ")) {
                    std::printf(
                        "run %d: %-5s scrolled top to bottom: %s frames, %s over 16 ms (median %s ms, "
                        "worst %s ms)\n",
                        run, fields.value(1).constData(), fields.value(2).constData(),
                        fields.value(3).constData(), fields.value(4).constData(),
                        fields.value(5).constData());
                } else {
                    std::fprintf(stderr, "app: %s\n", line.constData());
                }
                std::fflush(stdout);
            });
        if (exitCode != 0)
            std::fprintf(stderr, "run %d ended with %d\n", run, exitCode);
    }
    if (!firstFrames.isEmpty()) {
        std::sort(firstFrames.begin(), firstFrames.end());
        std::printf("tab click to first tiles drawn: median %lld ms (min %lld, max %lld)\n",
                    firstFrames.at(firstFrames.size() / 2), firstFrames.first(), firstFrames.last());
    }
    return 0;
}

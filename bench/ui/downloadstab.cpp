// Budgets of the Download tab.
//
// Without arguments: writes a home whose downloads folder holds N files (2,000 by default,
// --files), then starts this program again in that home with --measure, several times (--runs).
// Each run reports:
// - the time from the click on the "Download" tab to the first frame that shows file rows;
// - with the tab open and 20 transfers from a loopback server, each throttled to 5 MB/s: the
//   main thread's share of one core (its CPU time over the wall time), the worst gap between
//   two ticks of a 1 ms main-thread timer, and the bytes that arrived.
// The child loads the app's window exactly as the app does, on a real event loop: QTest's waits
// would add their own sleeps.

#include "downloads/downloadmanager.h"
#include "fixtures/httpserver.h"
#include "platform/defaultsstore.h"
#include "platform/standarddirs.h"
#include "ui/appshell.h"
#include "ui/contentcontroller.h"
#include "uibench.h"

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

namespace {

using UiBench::runEventLoop;

constexpr int kTransfers = 20;
constexpr qint64 kRate = 5'000'000;
constexpr int kWindowMs = 5000;

double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

int measure(int argc, char **argv, int files) {
    QGuiApplication app(argc, argv);
    AppShell::setUpApplication();
    // The loopback servers run on their own threads: their work is not the main thread's. Four
    // of them, five transfers each: the network stack opens at most six connections per server.
    std::array<HttpServer, 4> servers;
    const QByteArray body(qsizetype(kRate) * 30, 'x');
    for (int i = 0; i < kTransfers; ++i) {
        HttpServer &server = servers.at(i % servers.size());
        if (!server.isListening() && !server.start()) {
            std::fprintf(stderr, "a loopback server did not start\n");
            return 1;
        }
        server.setRoute(u"/t/"_s + QString::number(i) + u".ipa"_s,
                        RouteResponse::bytes(body).throttled(kRate).withEtag("v1"));
    }

    AppShell shell;
    QQuickWindow *window = shell.load();
    if (!window) {
        std::fprintf(stderr, "the window did not load\n");
        return 1;
    }
    window->resize(420, 820);
    auto *downloads = window->findChild<DownloadManager *>();
    auto *fileList = window->findChild<QQuickItem *>(u"fileList"_s);
    auto *tabBar = window->findChild<QQuickItem *>(u"tabBar"_s);
    if (!downloads || !fileList || !tabBar) {
        std::fprintf(stderr, "the window lacks its engine, file list or tab bar\n");
        return 1;
    }
    QEventLoop ready;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &ready, [&] {
        if (downloads->fileList().size() >= files)
            ready.quit();
    });
    poll.start(20);
    runEventLoop(ready, 30000);
    poll.stop();
    if (downloads->fileList().size() < files)
        return 2;
    runEventLoop(1500);

    QQuickItem *tab = UiBench::findItem(tabBar, u"tab2"_s);
    if (!tab) {
        std::fprintf(stderr, "no Download tab\n");
        return 1;
    }
    const qint64 firstFrameMs = UiBench::clickToFrame(window, tab, [fileList] {
        return fileList->isVisible() &&
               !fileList->property("contentItem").value<QQuickItem *>()->childItems().isEmpty();
    });
    if (firstFrameMs < 0)
        return 3;
    std::printf("TAB %lld\n", firstFrameMs);
    std::fflush(stdout);

    // Twenty transfers; measured once they all run.
    QList<QUrl> urls;
    for (int i = 0; i < kTransfers; ++i) {
        urls.append(servers.at(i % servers.size()).url(u"/t/"_s + QString::number(i) + u".ipa"_s));
        downloads->startDownload(urls.last());
    }
    runEventLoop(1500);
    const auto written = [&] {
        qint64 sum = 0;
        for (const QUrl &url : std::as_const(urls))
            sum += downloads->downloadStatus(url).written();
        return sum;
    };
    // One window of kWindowMs: the main thread's CPU time over the wall time, the gaps between
    // ticks of a 1 ms timer, the bytes that arrived and the frames drawn.
    const auto measureLoad = [&](const char *label) {
        QList<qint64> gaps;
        gaps.reserve(kWindowMs * 2);
        qint64 lastTick = -1;
        QElapsedTimer ticks;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const qint64 now = ticks.nsecsElapsed();
            if (lastTick >= 0)
                gaps.append(now - lastTick);
            lastTick = now;
        });
        int framesDrawn = 0;
        const QMetaObject::Connection frames =
            QObject::connect(window, &QQuickWindow::frameSwapped, [&] { ++framesDrawn; });
        const qint64 writtenBefore = written();
        const double cpuBefore = threadCpuMs();
        ticks.start();
        timer.start();
        QEventLoop loop;
        runEventLoop(loop, kWindowMs);
        timer.stop();
        const double wallMs = ticks.nsecsElapsed() / 1e6;
        const double cpuMs = threadCpuMs() - cpuBefore;
        const qint64 arrived = written() - writtenBefore;
        QObject::disconnect(frames);
        std::sort(gaps.begin(), gaps.end());
        const auto over =
            std::count_if(gaps.cbegin(), gaps.cend(), [](qint64 gap) { return gap > 16'000'000; });
        std::printf("LOAD %s %.1f %.2f %.2f %lld %.1f %.1f\n", label, 100.0 * cpuMs / wallMs,
                    gaps.isEmpty() ? 0.0 : gaps.last() / 1e6,
                    gaps.isEmpty() ? 0.0 : gaps.at(gaps.size() * 99 / 100) / 1e6, qlonglong(over),
                    arrived / (wallMs / 1e3) / 1e6, framesDrawn / (wallMs / 1e3));
        std::fflush(stdout);
    };
    measureLoad("download-tab");
    // The same transfers behind the store tab: what the machine and the transfers cost alone.
    UiBench::click(window, UiBench::findItem(tabBar, u"tab0"_s));
    runEventLoop(500);
    measureLoad("store-tab");
    for (const QUrl &url : std::as_const(urls))
        downloads->cancelDownload(url);
    runEventLoop(500);
    return 0;
}

bool writeHome(const QString &home, int count) {
    UiBench::useHome(home);
    qputenv("TMPDIR", (home + u"/tmp"_s).toLocal8Bit());
    QDir().mkpath(home + u"/tmp"_s);
    const QString folder = StandardDirs::documents();
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(folder + u"/Sample App "_s + QString::number(i) + (i % 3 ? u".ipa"_s : u".txt"_s));
        if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
            return false;
    }
    DefaultsStore().setBool(ContentController::kHasAskedForLiveContainerSetup, true);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 2 && qstrcmp(argv[1], "--measure") == 0)
        return measure(argc, argv, QByteArray(argv[2]).toInt());

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Kivo"_s);
    QCommandLineParser parser;
    parser.addOption({u"files"_s, u"Files in the downloads folder."_s, u"count"_s, u"2000"_s});
    parser.addOption({u"runs"_s, u"Launches to measure."_s, u"count"_s, u"3"_s});
    parser.process(app);
    const int count = parser.value(u"files"_s).toInt();
    const int runs = parser.value(u"runs"_s).toInt();
    QTemporaryDir home;
    if (!writeHome(home.path(), count))
        return 1;

    std::printf("files: %d, transfers: %d at %lld MB/s each, runs: %d\n", count, kTransfers,
                kRate / 1'000'000, runs);
    for (int run = 0; run < runs; ++run) {
        const int exitCode =
            UiBench::runChild({u"--measure"_s, QString::number(count)}, [run](const QByteArray &line) {
                const QList<QByteArray> fields = line.split(' ');
                if (line.startsWith("TAB "))
                    std::printf("run %d: tab click to first frame with file rows %s ms\n", run,
                                fields.value(1).constData());
                else if (line.startsWith("LOAD "))
                    std::printf("run %d: 20 transfers, %s: main thread %s %% of a core; 1 ms timer gaps: "
                                "worst %s ms, "
                                "99th percentile %s ms, %s over 16 ms; %s MB/s arrived, %s frames/s\n",
                                run, fields.value(1).constData(), fields.value(2).constData(),
                                fields.value(3).constData(), fields.value(4).constData(),
                                fields.value(5).constData(), fields.value(6).constData(),
                                fields.value(7).constData());
                else
                    std::fprintf(stderr, "app: %s\n", line.constData());
                std::fflush(stdout);
            });
        if (exitCode != 0)
            std::fprintf(stderr, "run %d ended with %d\n", run, exitCode);
    }
    return 0;
}

// Downloading a 1 GiB file from the loopback server: the download engine against `curl -o` on
// the same file in the same run, and the worst stall of the main thread meanwhile.

#include "downloads/downloadmanager.h"
#include "fixtures/httpserver.h"
#include "platform/standarddirs.h"
#include "support/testmain.h"

#include <benchmark/benchmark.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kFileSize = qint64(1) << 30;

struct Served {
    HttpServer server;
    QString path;
    QUrl url;
};

// The file and the server, made once for every benchmark of the run.
Served &served() {
    static Served *const instance = [] {
        auto *served = new Served;
        served->path = StandardDirs::applicationSupport() + u"/served/big.ipa"_s;
        QDir().mkpath(QFileInfo(served->path).path());
        QFile file(served->path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the served file");
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        QRandomGenerator generator(42);
        for (qint64 written = 0; written < kFileSize; written += chunk.size()) {
            generator.fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
            file.write(chunk);
        }
        file.close();
        served->server.start();
        served->server.setRoute(u"/big.ipa"_s, RouteResponse::file(served->path).withEtag("v1"));
        served->url = served->server.url(u"/big.ipa"_s);
        return served;
    }();
    return *instance;
}

// The longest gap between the ticks of a 1 ms timer on the main thread while `loop` runs.
class StallMeter {
public:
    explicit StallMeter(QObject *context) {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, context, [this] {
            m_worstGapNs = std::max(m_worstGapNs, m_sinceTick.nsecsElapsed());
            m_sinceTick.start();
        });
        // The stretches between waking and blocking again are the main thread's own work; the
        // gaps between ticks also hold whatever the scheduler takes away.
        auto *dispatcher = QAbstractEventDispatcher::instance();
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, context, [this] { m_busy.start(); });
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, context, [this] {
            if (m_running && m_busy.isValid())
                m_worstBusyNs = std::max(m_worstBusyNs, m_busy.nsecsElapsed());
        });
    }
    void start() {
        m_running = true;
        m_sinceTick.start();
        m_ticker.start();
    }
    void stop() {
        m_running = false;
        m_ticker.stop();
    }
    double worstGapMs() const { return double(m_worstGapNs) / 1e6; }
    double worstBusyMs() const { return double(m_worstBusyNs) / 1e6; }

private:
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    QElapsedTimer m_busy;
    bool m_running = false;
    qint64 m_worstGapNs = 0;
    qint64 m_worstBusyNs = 0;
};

// The yardstick; its main-thread gaps show what the machine alone does to a 1 ms timer.
void BM_CurlDownload(benchmark::State &state) {
    Served &source = served();
    const QString output = StandardDirs::temporary() + u"/curl-big.ipa"_s;
    QDir().mkpath(StandardDirs::temporary());
    double worstGapMs = 0;
    double worstBusyMs = 0;
    for (auto _ : state) {
        QProcess curl;
        QEventLoop loop;
        StallMeter meter(&loop);
        QObject::connect(&curl, &QProcess::finished, &loop, &QEventLoop::quit);
        meter.start();
        curl.start(u"curl"_s, {u"-s"_s, u"-o"_s, output, source.url.toString()});
        loop.exec();
        meter.stop();
        worstGapMs = std::max(worstGapMs, meter.worstGapMs());
        worstBusyMs = std::max(worstBusyMs, meter.worstBusyMs());
        if (curl.exitCode() != 0 || QFileInfo(output).size() != kFileSize) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        QFile::remove(output);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
    state.counters["worst_main_thread_gap_ms"] = worstGapMs;
    state.counters["worst_main_thread_busy_ms"] = worstBusyMs;
}
BENCHMARK(BM_CurlDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// From startDownload to the file in the downloads folder, with a 1 ms timer on the main thread
// recording the longest gap between its ticks.
void BM_DownloadManager(benchmark::State &state) {
    Served &source = served();
    const QString destination = StandardDirs::documents() + u"/big.ipa"_s;
    double worstGapMs = 0;
    double worstBusyMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(destination);
        auto manager = std::make_unique<DownloadManager>();
        QEventLoop loop;
        QObject::connect(manager.get(), &DownloadManager::fileListChanged, &loop, [&] {
            if (manager->fileList().contains(QUrl::fromLocalFile(destination)))
                loop.quit();
        });
        StallMeter meter(&loop);
        state.ResumeTiming();

        meter.start();
        manager->startDownload(source.url);
        loop.exec();
        meter.stop();

        state.PauseTiming();
        worstGapMs = std::max(worstGapMs, meter.worstGapMs());
        worstBusyMs = std::max(worstBusyMs, meter.worstBusyMs());
        if (QFileInfo(destination).size() != kFileSize)
            state.SkipWithError("the download did not complete");
        manager.reset();
        QFile::remove(destination);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
    state.counters["worst_main_thread_gap_ms"] = worstGapMs;
    state.counters["worst_main_thread_busy_ms"] = worstBusyMs;
}
BENCHMARK(BM_DownloadManager)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

} // namespace

int main(int argc, char **argv) {
    TestHome home;
    QCoreApplication app(argc, argv);
    app.setApplicationName(u"Kivo"_s);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

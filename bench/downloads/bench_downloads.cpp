// Downloading a 1 GiB file from the loopback server: the download engine against `curl -o` on
// the same file in the same run, and the worst stall of the main thread meanwhile.

#include "downloads/downloadmanager.h"
#include "fixtures/httpserver.h"
#include "platform/standarddirs.h"
#include "support/benchmain.h"
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
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kFileSize = qint64(1) << 30;

// nginx, when installed, serves the file as a production server does (sendfile, no copies
// through user space), so that the two clients, not the server, set the pace; otherwise the
// test fixture serves it.
struct Served {
    HttpServer server;
    QProcess nginx;
    QString path;
    QUrl url;
    QString serverName;
};

bool startNginx(Served &served) {
    const QString program = QStandardPaths::findExecutable(u"nginx"_s, {u"/usr/sbin"_s, u"/usr/bin"_s});
    if (program.isEmpty())
        return false;
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return false;
    const quint16 port = probe.serverPort();
    probe.close();
    const QString folder = StandardDirs::temporary() + u"/nginx"_s;
    QDir().mkpath(folder + u"/tmp"_s);
    QFile config(folder + u"/nginx.conf"_s);
    if (!config.open(QIODevice::WriteOnly))
        return false;
    const QString temp = folder + u"/tmp"_s;
    config.write(u"daemon off; master_process off; worker_processes 1;\n"
                 "pid %1/nginx.pid; error_log %1/error.log;\n"
                 "events {}\n"
                 "http { access_log off; sendfile on;\n"
                 "  client_body_temp_path %2; proxy_temp_path %2; fastcgi_temp_path %2;\n"
                 "  uwsgi_temp_path %2; scgi_temp_path %2;\n"
                 "  server { listen 127.0.0.1:%3; root %4; } }\n"_s
                     .arg(folder, temp, QString::number(port), QFileInfo(served.path).path())
                     .toUtf8());
    config.close();
    served.nginx.start(program, {u"-c"_s, config.fileName(), u"-p"_s, folder});
    // The served state is never destroyed: the server must not outlive the run.
    static QProcess *const running = &served.nginx;
    qAddPostRoutine([] {
        running->kill();
        running->waitForFinished();
    });
    if (!served.nginx.waitForStarted())
        return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100)) {
            served.url = QUrl(u"http://127.0.0.1:%1/%2"_s.arg(port).arg(QFileInfo(served.path).fileName()));
            served.serverName = u"nginx"_s;
            return true;
        }
        QThread::msleep(50);
    }
    served.nginx.kill();
    return false;
}

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
        if (!startNginx(*served)) {
            served->server.start();
            served->server.setRoute(u"/big.ipa"_s, RouteResponse::file(served->path).withEtag("v1"));
            served->url = served->server.url(u"/big.ipa"_s);
            served->serverName = u"test fixture"_s;
        }
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

struct Run {
    double seconds = 0;
    double worstGapMs = 0;
    double worstBusyMs = 0;
    bool complete = false;
};

// The yardstick; its main-thread gaps show what the machine alone does to a 1 ms timer.
Run downloadWithCurl() {
    const QString output = StandardDirs::temporary() + u"/curl-big.ipa"_s;
    QDir().mkpath(StandardDirs::temporary());
    QProcess curl;
    QEventLoop loop;
    StallMeter meter(&loop);
    QObject::connect(&curl, &QProcess::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    meter.start();
    curl.start(u"curl"_s, {u"-s"_s, u"-o"_s, output, served().url.toString()});
    loop.exec();
    meter.stop();
    const Run run{double(clock.nsecsElapsed()) / 1e9, meter.worstGapMs(), meter.worstBusyMs(),
                  curl.exitCode() == 0 && QFileInfo(output).size() == kFileSize};
    QFile::remove(output);
    return run;
}

// From startDownload to the file in the downloads folder.
Run downloadWithDownloadManager() {
    const QString destination = StandardDirs::documents() + u"/big.ipa"_s;
    QFile::remove(destination);
    auto manager = std::make_unique<DownloadManager>();
    QEventLoop loop;
    QObject::connect(manager.get(), &DownloadManager::fileListChanged, &loop, [&] {
        if (manager->fileList().contains(QUrl::fromLocalFile(destination)))
            loop.quit();
    });
    StallMeter meter(&loop);
    QElapsedTimer clock;
    clock.start();
    meter.start();
    manager->startDownload(served().url);
    loop.exec();
    meter.stop();
    const Run run{double(clock.nsecsElapsed()) / 1e9, meter.worstGapMs(), meter.worstBusyMs(),
                  QFileInfo(destination).size() == kFileSize};
    manager.reset();
    QFile::remove(destination);
    return run;
}

// Curl and the engine in turn, A B A B ...: the ratio is taken pair by pair, so a machine whose
// speed drifts during the run moves both sides of each ratio alike. The time is the engine's,
// from startDownload to the file in place.
void BM_DownloadVersusCurl(benchmark::State &state) {
    served();
    std::vector<double> ratios;
    double engineSeconds = 0;
    double curlSeconds = 0;
    Run worstEngine;
    Run worstCurl;
    for (auto _ : state) {
        const Run curl = downloadWithCurl();
        const Run engine = downloadWithDownloadManager();
        state.SetIterationTime(engine.seconds);
        if (!curl.complete || !engine.complete) {
            state.SkipWithError("a download did not complete");
            break;
        }
        ratios.push_back(curl.seconds / engine.seconds);
        engineSeconds += engine.seconds;
        curlSeconds += curl.seconds;
        worstEngine.worstGapMs = std::max(worstEngine.worstGapMs, engine.worstGapMs);
        worstEngine.worstBusyMs = std::max(worstEngine.worstBusyMs, engine.worstBusyMs);
        worstCurl.worstGapMs = std::max(worstCurl.worstGapMs, curl.worstGapMs);
        worstCurl.worstBusyMs = std::max(worstCurl.worstBusyMs, curl.worstBusyMs);
    }
    state.SetLabel(served().serverName.toStdString());
    if (ratios.empty())
        return;
    std::sort(ratios.begin(), ratios.end());
    state.SetBytesProcessed(state.iterations() * kFileSize);
    // Engine throughput over curl's: above 1 the engine is faster.
    state.counters["throughput_ratio_median"] = ratios[ratios.size() / 2];
    state.counters["throughput_ratio_min"] = ratios.front();
    state.counters["curl_MBps"] = double(ratios.size()) * double(kFileSize) / curlSeconds / 1e6;
    state.counters["engine_MBps"] = double(ratios.size()) * double(kFileSize) / engineSeconds / 1e6;
    state.counters["engine_worst_gap_ms"] = worstEngine.worstGapMs;
    state.counters["engine_worst_busy_ms"] = worstEngine.worstBusyMs;
    state.counters["curl_worst_gap_ms"] = worstCurl.worstGapMs;
}
BENCHMARK(BM_DownloadVersusCurl)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

int main(int argc, char **argv) {
    return runKivoBenchmarks(argc, argv);
}

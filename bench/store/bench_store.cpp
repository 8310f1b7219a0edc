// The repository store at the sizes real users reach: a "repos.json" holding 50,000 cached apps,
// a full refresh of 30 repositories that each answer after 200 ms, and a refresh of five 5 MB
// feeds while the main thread has to keep drawing. Every network figure comes from the loopback
// test server, and each one is reported beside the reference it is judged against, measured in
// the same run.

#include "fixtures/httpserver.h"
#include "model/reporesponse.h"
#include "model/storedform.h"
#include "platform/defaultsstore.h"
#include "platform/standarddirs.h"
#include "store/appstoreviewmodel.h"
#include "support/benchmain.h"
#include "support/testmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <qcoro/qcoronetworkreply.h>
#include <qcoro/qcorotask.h>
#include <qcoro/qcorotimer.h>

#include <benchmark/benchmark.h>

#include <ctime>
#include <functional>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QString reposFilePath() {
    return StandardDirs::applicationSupport() + u"/repos.json"_s;
}

void writeReposFile(const QList<SavedRepo> &tree) {
    QDir().mkpath(StandardDirs::applicationSupport());
    QFile file(reposFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(StoredForm::encodeRepoTree(tree)) < 0)
        qFatal("cannot write repos.json");
}

// One app entry as feeds publish them: every field filled, a description of a few sentences.
AppItem makeApp(int repo, int index) {
    const QString n = QString::number(index);
    AppItem item;
    item.name = u"App "_s + n + u" of repository "_s + QString::number(repo);
    item.bundleIdentifier = u"com.publisher"_s + QString::number(repo) + u".app"_s + n;
    item.version = u"1."_s + QString::number(index % 17) + u'.' + QString::number(index % 5);
    item.versionDate = u"2024-0"_s + QString::number(1 + index % 9) + u"-1"_s + QString::number(index % 10);
    item.size = 10'000'000 + qint64(index) * 1'337;
    item.downloadURL = u"https://cdn.example.com/repo"_s + QString::number(repo) + u"/app"_s + n + u".ipa"_s;
    item.iconURL = u"https://cdn.example.com/icons/"_s + n + u".png"_s;
    item.localizedDescription = u"A tweaked build of app "_s + n +
                                u" with ads removed, background playback and downloads. Works on iOS 15 and "
                                u"later; sign in with your usual account."_s;
    item.screenshotURLs = {u"https://cdn.example.com/shots/"_s + n + u"-1.png"_s,
                           u"https://cdn.example.com/shots/"_s + n + u"-2.png"_s};
    item.sourceRepoName = u"Repository "_s + QString::number(repo);
    return item;
}

// 50 repositories of 1,000 apps each, half of them in two folders.
QList<SavedRepo> largeTree() {
    QList<SavedRepo> roots;
    QList<SavedRepo> folderA;
    QList<SavedRepo> folderB;
    for (int r = 0; r < 50; ++r) {
        SavedRepo repo;
        repo.url = QUrl(u"https://repo"_s + QString::number(r) + u".example.com/feed.json"_s);
        repo.id = repo.url->toString();
        repo.name = u"Repository "_s + QString::number(49 - r);
        repo.iconURL = u"https://repo.example.com/icon.png"_s;
        QList<AppItem> apps;
        apps.reserve(1000);
        for (int i = 0; i < 1000; ++i)
            apps.append(makeApp(r, i));
        repo.appCount = apps.size();
        repo.cachedApps = apps;
        (r % 3 == 0 ? folderA : r % 3 == 1 ? folderB : roots).append(repo);
    }
    SavedRepo a;
    a.id = u"7C1D5A5E-0000-4000-8000-00000000000A"_s;
    a.name = u"Games"_s;
    a.children = folderA;
    SavedRepo b;
    b.id = u"7C1D5A5E-0000-4000-8000-00000000000B"_s;
    b.name = u"Tweaks"_s;
    b.children = folderB;
    roots.append(a);
    roots.append(b);
    return roots;
}

// A feed document of about the given size, with entries like makeApp's.
QByteArray feedOfSize(const QString &name, qsizetype bytes) {
    QByteArray json =
        "{\"name\":\"" + name.toUtf8() + "\",\"iconURL\":\"https://example.com/i.png\",\"apps\":[";
    for (int i = 0; json.size() < bytes; ++i) {
        const AppItem app = makeApp(0, i);
        if (i > 0)
            json += ',';
        json += "{\"name\":\"" + app.name.toUtf8() + "\",\"bundleIdentifier\":\"" +
                app.bundleIdentifier.toUtf8() + "\",\"version\":\"" + app.version.toUtf8() +
                "\",\"versionDate\":\"" + app.versionDate->toUtf8() +
                "\",\"size\":" + QByteArray::number(*app.size) + ",\"downloadURL\":\"" +
                app.downloadURL.toUtf8() + "\",\"iconURL\":\"" + app.iconURL->toUtf8() +
                "\",\"localizedDescription\":\"" + app.localizedDescription->toUtf8() +
                "\",\"screenshotURLs\":[\"" + app.screenshotURLs.at(0).toUtf8() + "\",\"" +
                app.screenshotURLs.at(1).toUtf8() + "\"]}";
    }
    return json + "]}";
}

void forgetTree() {
    QDir(StandardDirs::applicationSupport()).removeRecursively();
    DefaultsStore().remove(AppStoreViewModel::kRepoSortOrder);
}

struct Network {
    HttpServer server;
    QNetworkAccessManager manager;
    Network() { server.start(); }
};

Network &network() {
    static Network shared;
    return shared;
}

std::unique_ptr<AppStoreViewModel> makeEngine() {
    return std::make_unique<AppStoreViewModel>(network().server.url(u"/Kivo/default_repos.csv"_s),
                                               &network().manager);
}

// ---- (1) loading and saving a large tree -------------------------------------------------------

void BM_LoadReposWithFirstTreeOrder(benchmark::State &state) {
    forgetTree();
    // Sorting by name makes the first tree order do real work.
    DefaultsStore().setString(AppStoreViewModel::kRepoSortOrder, u"Name"_s);
    writeReposFile(largeTree());
    const qint64 fileSize = QFileInfo(reposFilePath()).size();
    for (auto _ : state) {
        // Construction reads the settings, then loads and orders the tree; nothing else is run.
        auto engine = makeEngine();
        benchmark::DoNotOptimize(engine->savedRepos().size());
        state.PauseTiming();
        engine.reset();
        state.ResumeTiming();
    }
    state.counters["file_MB"] = double(fileSize) / 1e6;
    state.counters["budget_ms"] = 250;
}
BENCHMARK(BM_LoadReposWithFirstTreeOrder)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_SaveRepos(benchmark::State &state) {
    forgetTree();
    DefaultsStore().setString(AppStoreViewModel::kRepoSortOrder, u"Name"_s);
    writeReposFile(largeTree());
    auto engine = makeEngine();
    for (auto _ : state) {
        engine->saveRepos();
        engine->waitForPendingSaves();
    }
    state.counters["budget_ms"] = 150;
}
BENCHMARK(BM_SaveRepos)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The encoding alone, on this thread: the rest of a save is the atomic write with its sync to disk.
void BM_SaveReposEncodingOnly(benchmark::State &state) {
    const QList<SavedRepo> tree = largeTree();
    for (auto _ : state)
        benchmark::DoNotOptimize(StoredForm::encodeRepoTree(tree).size());
}
BENCHMARK(BM_SaveReposEncodingOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The part of a save the main thread waits for: ordering and handing the tree to the writer.
void BM_SaveReposMainThreadPart(benchmark::State &state) {
    forgetTree();
    writeReposFile(largeTree());
    auto engine = makeEngine();
    for (auto _ : state) {
        engine->saveRepos();
        state.PauseTiming();
        engine->waitForPendingSaves();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveReposMainThreadPart)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(10);

// ---- (2) a full refresh of 30 slow repositories ------------------------------------------------

constexpr int kSlowRepositories = 30;
constexpr int kAnswerDelayMs = 200;

QUrl slowFeedURL(int index) {
    return network().server.url(u"/slow/"_s + QString::number(index));
}

void serveSlowFeeds() {
    for (int i = 0; i < kSlowRepositories; ++i) {
        network().server.setRoute(
            u"/slow/"_s + QString::number(i),
            RouteResponse::bytes(feedOfSize(u"Slow "_s + QString::number(i), 4000), "application/json")
                .withDelay(kAnswerDelayMs));
    }
}

// The ideal: ten rounds of three requests at once, each round waiting for its slowest answer,
// straight through the network manager with nothing of the engine around it.
QCoro::Task<> tenRoundsOfThree() {
    for (int round = 0; round < kSlowRepositories / 3; ++round) {
        std::vector<std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater>> replies;
        for (int i = 0; i < 3; ++i)
            replies.emplace_back(network().manager.get(QNetworkRequest(slowFeedURL(round * 3 + i))));
        for (auto &reply : replies)
            co_await reply.get();
    }
}

void BM_FullRefreshOfThirtySlowRepositories(benchmark::State &state) {
    serveSlowFeeds();
    QList<SavedRepo> tree;
    for (int i = 0; i < kSlowRepositories; ++i) {
        SavedRepo repo;
        repo.url = slowFeedURL(i);
        repo.id = repo.url->toString(QUrl::FullyEncoded);
        repo.name = u"Slow "_s + QString::number(i);
        tree.append(repo);
    }
    double idealMs = 0;
    double refreshMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        forgetTree();
        writeReposFile(tree);
        auto engine = makeEngine();
        QElapsedTimer ideal;
        ideal.start();
        QCoro::waitFor(tenRoundsOfThree());
        idealMs += double(ideal.nsecsElapsed()) / 1e6;
        state.ResumeTiming();

        QElapsedTimer refresh;
        refresh.start();
        QCoro::waitFor(engine->fetchAllRepos());
        refreshMs += double(refresh.nsecsElapsed()) / 1e6;

        state.PauseTiming();
        if (engine->fetchProgress() != kSlowRepositories ||
            network().server.maxInFlightUnder(u"/slow/"_s) > 3)
            state.SkipWithError("the refresh did not fetch every repository three at a time");
        engine->waitForPendingSaves();
        engine.reset();
        network().server.resetCounters();
        state.ResumeTiming();
    }
    const double iterations = double(state.iterations());
    state.counters["ideal_ms"] = idealMs / iterations;
    state.counters["refresh_ms"] = refreshMs / iterations;
    state.counters["ratio"] = refreshMs / idealMs;
    state.counters["budget_ratio"] = 1.15;
}
BENCHMARK(BM_FullRefreshOfThirtySlowRepositories)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

// ---- (3) the main thread while five 5 MB feeds decode ------------------------------------------

qint64 mainThreadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct TimerDelays {
    // The longest a 1 ms main-thread timer waited beyond its interval, in wall time: includes
    // the time the scheduler gave the main thread's core to other processes.
    double wallMs = 0;
    // The most CPU time the main thread spent between two ticks: the longest stretch of our own
    // work that kept the timer waiting, whatever else the machine was doing.
    double busyMs = 0;
};

TimerDelays timerDelaysDuring(const std::function<void()> &work) {
    QElapsedTimer sinceTick;
    qint64 worstGapNs = 0;
    qint64 lastCpuNs = 0;
    qint64 worstBusyNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstGapNs = std::max(worstGapNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
        const qint64 cpuNs = mainThreadCpuNs();
        worstBusyNs = std::max(worstBusyNs, cpuNs - lastCpuNs);
        lastCpuNs = cpuNs;
    });
    sinceTick.start();
    lastCpuNs = mainThreadCpuNs();
    ticker.start();
    work();
    ticker.stop();
    return {std::max(0.0, double(worstGapNs) / 1e6 - 1.0), double(worstBusyNs) / 1e6};
}

void BM_MainThreadDelayWhileBigFeedsDecode(benchmark::State &state) {
    constexpr int kFeeds = 5;
    QList<SavedRepo> tree;
    for (int i = 0; i < kFeeds; ++i) {
        const QString path = u"/big/"_s + QString::number(i);
        const QByteArray body = feedOfSize(u"Big "_s + QString::number(i), 5 * 1024 * 1024);
        network().server.setRoute(path, RouteResponse::bytes(body, "application/json"));
        SavedRepo repo;
        repo.url = network().server.url(path);
        repo.id = repo.url->toString(QUrl::FullyEncoded);
        repo.name = u"Big "_s + QString::number(i);
        // Already holding a previous fetch, as on every refresh but the first: the old apps are
        // replaced and freed.
        DecodeResult<RepoResponse> previous = RepoResponse::decode(body);
        if (!previous)
            qFatal("the generated feed does not decode");
        repo.cachedApps = previous.value().apps;
        repo.appCount = repo.cachedApps->size();
        tree.append(repo);
    }

    double worstMs = 0;
    double worstIdleMs = 0;
    double worstBusyMs = 0;
    double refreshMs = 0;
    qsizetype apps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        forgetTree();
        writeReposFile(tree);
        auto engine = makeEngine();
        QCoro::waitFor(engine->rebuildCatalogue());
        state.ResumeTiming();

        // A 1 ms timer stands in for the frames the main thread must keep drawing. The same timer
        // on an idle main thread, just before, is the reference: what the machine alone costs.
        const TimerDelays idle =
            timerDelaysDuring([] { QCoro::waitFor(QCoro::sleepFor(std::chrono::seconds(1))); });
        worstIdleMs = std::max(worstIdleMs, idle.wallMs);
        QElapsedTimer refresh;
        refresh.start();
        const TimerDelays busy = timerDelaysDuring([&engine] { QCoro::waitFor(engine->fetchAllRepos()); });
        refreshMs += double(refresh.nsecsElapsed()) / 1e6;
        worstMs = std::max(worstMs, busy.wallMs);
        worstBusyMs = std::max(worstBusyMs, busy.busyMs);

        state.PauseTiming();
        apps = 0;
        for (const SavedRepo &repo : engine->savedRepos())
            apps += repo.appCount;
        if (engine->fetchProgress() != kFeeds || apps == 0)
            state.SkipWithError("the big feeds were not fetched");
        engine->waitForPendingSaves();
        engine.reset();
        state.ResumeTiming();
    }
    state.counters["worst_delay_ms"] = worstMs;
    state.counters["idle_worst_delay_ms"] = worstIdleMs;
    state.counters["worst_main_thread_work_ms"] = worstBusyMs;
    state.counters["refresh_ms"] = refreshMs / double(state.iterations());
    state.counters["apps"] = double(apps);
    state.counters["budget_ms"] = 16;
}
BENCHMARK(BM_MainThreadDelayWhileBigFeedsDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char **argv) {
    return runKivoBenchmarks(argc, argv);
}

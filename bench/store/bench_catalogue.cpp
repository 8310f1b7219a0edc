// The catalogue at the size real users reach: 100,000 builds from 500 repositories, 30,000 apps.
// Besides our own code it runs a straightforward version of the same grouping and name sort (a key
// text per build, a hash map of them, a collating comparison for every pair) so that the gain is
// measured on the same machine in the same run.

#include "model/storedform.h"
#include "platform/localecompare.h"
#include "platform/standarddirs.h"
#include "store/appstoreviewmodel.h"
#include "store/catalogueassembly.h"
#include "support/benchmain.h"
#include "support/testmain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QNetworkAccessManager>
#include <QThread>
#include <QThreadPool>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRepositories = 500;
constexpr int kApps = 30'000;
constexpr int kBuilds = 100'000;
constexpr int kInstalledApps = 1'000;

// Words of app names from many languages, in mixed case, so collation meets accents, folding and
// names that differ only by case.
const QStringList kNameHeads = {
    u"Super"_s,    u"Mega"_s,       u"Retro"_s,    u"Pixel"_s,    u"Café"_s,    u"Émulateur"_s, u"Über"_s,
    u"Ñandú"_s,    u"Zoë's"_s,      u"Ångström"_s, u"Øresund"_s,  u"Straße"_s,  u"Crème"_s,     u"Señor"_s,
    u"Jalapeño"_s, u"naïve"_s,      u"Smörgås"_s,  u"Fjäll"_s,    u"mini"_s,    u"iGBA"_s,      u"uYou"_s,
    u"Delta"_s,    u"Provenance"_s, u"Kodi"_s,     u"Spotify"_s,  u"YouTube"_s, u"twitch"_s,    u"Reddit"_s,
    u"Apollo"_s,   u"Météo"_s,      u"Ciné"_s,     u"Música"_s,   u"Fútbol"_s,  u"Città"_s,     u"Ærø"_s,
    u"Łódź"_s,     u"Škoda"_s,      u"Çay"_s,      u"İstanbul"_s, u"ÉCOLE"_s};
const QStringList kNameMiddles = {
    u"Game"_s,   u"Music"_s,    u"Photo"_s, u"Video"_s, u"Chat"_s,   u"Notes"_s,  u"Maps"_s,   u"Radio"_s,
    u"Reader"_s, u"Écran"_s,    u"Bühne"_s, u"Niño"_s,  u"Kärta"_s,  u"Öl"_s,     u"Tâche"_s,  u"Jeux"_s,
    u"Spiel"_s,  u"Película"_s, u"Fønt"_s,  u"Škola"_s, u"Data"_s,   u"Cloud"_s,  u"Boy"_s,    u"Advance"_s,
    u"Color"_s,  u"Tweak"_s,    u"Pod"_s,   u"Cast"_s,  u"Stream"_s, u"Wallet"_s, u"Health"_s, u"Sky"_s,
    u"Drive"_s,  u"Shell"_s,    u"Term"_s,  u"Code"_s,  u"Draw"_s,   u"Paint"_s,  u"Météo"_s,  u"Zeit"_s};
const QStringList kNameTails = {u"Pro"_s,      u"Plus"_s,    u"Lite"_s,    u"HD"_s,       u"Player"_s,
                                u"Emulator"_s, u"Tweaked"_s, u"++"_s,      u"Reborn"_s,   u"Éditeur"_s,
                                u"Studio"_s,   u"Manager"_s, u"Viewer"_s,  u"Launcher"_s, u"for iOS"_s,
                                u"X"_s,        u"Max"_s,     u"Überall"_s, u"Édition"_s,  u""_s};
const QStringList kWords = {u"the"_s,        u"best"_s,      u"way"_s,    u"to"_s,     u"play"_s,
                            u"your"_s,       u"favourite"_s, u"games"_s,  u"on"_s,     u"iPhone"_s,
                            u"and"_s,        u"iPad"_s,      u"with"_s,   u"cloud"_s,  u"sync"_s,
                            u"controller"_s, u"support"_s,   u"themes"_s, u"café"_s,   u"für"_s,
                            u"jeden"_s,      u"Tag"_s,       u"très"_s,   u"rapide"_s, u"sans"_s,
                            u"publicité"_s,  u"no"_s,        u"ads"_s,    u"dark"_s,   u"mode"_s};

struct AppTemplate {
    QString name;
    QString bundleIdentifier;
    QString description;
    QStringList versions;
};

struct GeneratedCatalogue {
    QList<SavedRepo> repos;
    QList<AppItem> apps;
    QList<LocalApp> installed;
    // The tree as the repository file stores it.
    QByteArray stored;
};

GeneratedCatalogue generateCatalogue() {
    std::mt19937 random(20240301);
    const auto pick = [&random](const QStringList &list) {
        return list[std::uniform_int_distribution<qsizetype>(0, list.size() - 1)(random)];
    };
    const auto between = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };

    std::vector<AppTemplate> templates;
    templates.reserve(kApps);
    for (int i = 0; i < kApps; ++i) {
        AppTemplate app;
        app.name = pick(kNameHeads) + u' ' + pick(kNameMiddles);
        const QString tail = pick(kNameTails);
        if (!tail.isEmpty())
            app.name += u' ' + tail;
        if (between(0, 9) == 0)
            app.name = app.name.toLower();
        app.bundleIdentifier = (between(0, 4) == 0 ? u"io."_s : u"com."_s) + u"dev"_s +
                               QString::number(i % 4000) + u'.' + QString::number(i, 36) +
                               (between(0, 7) == 0 ? u"App"_s : u"app"_s);
        const int words = between(12, 60);
        for (int w = 0; w < words; ++w)
            app.description += (w ? u" "_s : u""_s) + pick(kWords);
        const int versionCount = between(1, 5);
        const int major = between(0, 12);
        for (int v = 0; v < versionCount; ++v)
            app.versions << QString::number(major) + u'.' + QString::number(between(0, 20)) +
                                (between(0, 2) == 0 ? u"."_s + QString::number(between(0, 9)) : QString());
        templates.push_back(std::move(app));
    }

    // Each app lives in one repository, which lists several of its versions; some popular apps
    // are mirrored by other repositories with a version or two, until there are enough builds.
    std::vector<std::vector<std::pair<int, int>>> listings(kRepositories);
    int builds = 0;
    for (int i = 0; i < kApps; ++i) {
        auto &home = listings[size_t(between(0, kRepositories - 1))];
        for (int v = 0; v < int(templates[size_t(i)].versions.size()) && builds < kBuilds; ++v, ++builds)
            home.push_back({i, v});
    }
    std::geometric_distribution<int> popular(0.0005);
    while (builds < kBuilds) {
        const int app = std::min(popular(random), kApps - 1);
        auto &mirror = listings[size_t(between(0, kRepositories - 1))];
        const int versions = int(templates[size_t(app)].versions.size());
        for (int v = std::max(0, versions - between(1, 2)); v < versions && builds < kBuilds; ++v, ++builds)
            mirror.push_back({app, v});
    }

    GeneratedCatalogue catalogue;
    catalogue.apps.reserve(kBuilds);
    for (int r = 0; r < kRepositories; ++r) {
        const QString repoName = u"Repository "_s + QString::number(r) + (r % 3 ? u""_s : u" Ünïcode"_s);
        QList<AppItem> apps;
        for (const auto &[index, versionIndex] : listings[size_t(r)]) {
            const AppTemplate &t = templates[size_t(index)];
            AppItem item;
            item.name = t.name;
            item.bundleIdentifier = t.bundleIdentifier;
            item.version = t.versions[versionIndex];
            item.versionDate = u"20%1-%2-%3"_s.arg(between(18, 25))
                                   .arg(between(1, 12), 2, 10, QChar(u'0'))
                                   .arg(between(1, 28), 2, 10, QChar(u'0'));
            if (between(0, 9))
                item.size = qint64(between(1, 400)) * 1024 * 1024 + between(0, 1023);
            item.downloadURL = u"https://cdn"_s + QString::number(r) + u".example/apps/"_s +
                               t.bundleIdentifier + u'/' + item.version + u'-' +
                               QString::number(apps.size()) + u".ipa"_s;
            item.iconURL =
                u"https://cdn"_s + QString::number(r) + u".example/icons/"_s + t.bundleIdentifier + u".png"_s;
            item.localizedDescription = t.description;
            item.screenshotURLs = {*item.iconURL + u"?1"_s, *item.iconURL + u"?2"_s};
            item.sourceRepoName = repoName;
            apps.append(std::move(item));
        }
        SavedRepo repo;
        repo.id = u"https://repo"_s + QString::number(r) + u".example/feed.json"_s;
        repo.name = repoName;
        repo.url = QUrl(repo.id);
        repo.appCount = apps.size();
        repo.cachedApps = apps;
        catalogue.apps.append(apps);
        catalogue.repos.append(std::move(repo));
    }

    for (int i = 0; i < kInstalledApps; ++i) {
        const AppTemplate &t = templates[size_t(between(0, kApps - 1))];
        LocalApp local;
        local.name = t.name;
        local.bundleID = t.bundleIdentifier;
        if (between(0, 9))
            local.version = t.versions[between(0, int(t.versions.size()) - 1)];
        local.url = QUrl::fromLocalFile(u"/apps/"_s + t.bundleIdentifier + u".app"_s);
        catalogue.installed.append(local);
    }
    // The engine only ever sees apps as the decoder makes them, which shares the texts that
    // consecutive entries repeat: take them that way.
    catalogue.stored = StoredForm::encodeRepoTree(catalogue.repos);
    DecodeResult<QList<SavedRepo>> decoded = StoredForm::decodeRepoTree(catalogue.stored);
    if (!decoded)
        qFatal("the generated tree does not decode: %s", qPrintable(decoded.error()));
    catalogue.repos = std::move(decoded).value();
    catalogue.apps.clear();
    for (const SavedRepo &repo : std::as_const(catalogue.repos))
        catalogue.apps.append(*repo.cachedApps);
    return catalogue;
}

const GeneratedCatalogue &generated() {
    static const GeneratedCatalogue catalogue = generateCatalogue();
    return catalogue;
}

// The same builds decoded once more, as a refresh that finds every feed unchanged delivers them.
QList<AppItem> decodedAgain() {
    const QList<SavedRepo> repos = StoredForm::decodeRepoTree(generated().stored).value();
    QList<AppItem> apps;
    for (const SavedRepo &repo : repos)
        apps.append(*repo.cachedApps);
    return apps;
}

// The same algorithm written the plain way: a key text per build, a map keyed by copies of them
// (an ordered map, turned into the hash map the engine publishes, or that hash map directly), a
// stable sort of every group, and a collating comparison for every pair of rows.
struct StraightforwardCatalogue {
    QHash<QString, QList<AppItem>> groups;
    QList<AppItem> displayApps;
};

StraightforwardCatalogue straightforwardAssemble(const QList<AppItem> &apps, bool strict, bool orderedMap) {
    StraightforwardCatalogue catalogue;
    if (orderedMap) {
        QMap<QString, QList<AppItem>> groups;
        for (const AppItem &app : apps)
            groups[CatalogueAssembly::variantKey(app, strict)].append(app);
        for (auto group = groups.cbegin(); group != groups.cend(); ++group)
            catalogue.groups.insert(group.key(), group.value());
    } else {
        for (const AppItem &app : apps)
            catalogue.groups[CatalogueAssembly::variantKey(app, strict)].append(app);
    }
    for (const QList<AppItem> &group : std::as_const(catalogue.groups)) {
        QList<AppItem> sorted = group;
        std::stable_sort(sorted.begin(), sorted.end(), CatalogueAssembly::isNewerBuild);
        catalogue.displayApps.append(sorted.first());
    }
    std::stable_sort(
        catalogue.displayApps.begin(), catalogue.displayApps.end(),
        [](const AppItem &a, const AppItem &b) { return LocaleCompare::lessThan(a.name, b.name); });
    return catalogue;
}

// The machine is shared: the fastest of several runs is the one least disturbed.
void configure(benchmark::internal::Benchmark *benchmark) {
    benchmark->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Repetitions(5)
        ->ComputeStatistics(
            "min",
            [](const std::vector<double> &runs) { return *std::min_element(runs.begin(), runs.end()); })
        ->ReportAggregatesOnly(true);
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

qint64 residentBytes() {
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

void waitUntil(const std::function<bool()> &done) {
    QDeadlineTimer deadline(60'000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    }
}

void writeReposFile(const QByteArray &stored) {
    QDir().mkpath(StandardDirs::applicationSupport());
    QFile file(StandardDirs::applicationSupport() + u"/repos.json"_s);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write repos.json");
    file.write(stored);
}

// An engine whose start-up rebuild and first filtering are over.
std::unique_ptr<AppStoreViewModel> startEngine(QNetworkAccessManager &network) {
    auto engine =
        std::make_unique<AppStoreViewModel>(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    waitUntil([&] { return !engine->filteredApps().isEmpty(); });
    return engine;
}

// Runs first, in a fresh process: what the engine holding the whole catalogue keeps resident.
void BM_EngineResidentMemory(benchmark::State &state) {
    for (auto _ : state) {
        writeReposFile(generated().stored);
        malloc_trim(0);
        const qint64 before = residentBytes();
        QNetworkAccessManager network;
        const std::unique_ptr<AppStoreViewModel> engine = startEngine(network);
        malloc_trim(0);
        const qint64 after = residentBytes();
        state.counters["engine_MiB"] = double(after - before) / (1024.0 * 1024.0);
        state.counters["rows"] = double(engine->displayApps().size());
        state.counters["groups"] = double(engine->allAppsByVariant().size());
    }
}
BENCHMARK(BM_EngineResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// Building a catalogue from nothing.
void BM_Assemble(benchmark::State &state) {
    const AppSortOption order = AppSortOption::Value(state.range(0));
    const QList<QList<AppItem>> sources = {generated().apps};
    for (auto _ : state)
        benchmark::DoNotOptimize(CatalogueAssembly::assemble(sources, order, true));
}
BENCHMARK(BM_Assemble)
    ->ArgName("order")
    ->Arg(AppSortOption::Name)
    ->Arg(AppSortOption::Date)
    ->Arg(AppSortOption::Size)
    ->Apply(configure);

void BM_AssembleStraightforward(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(straightforwardAssemble(generated().apps, true, state.range(0)));
}
BENCHMARK(BM_AssembleStraightforward)->ArgName("ordered_map")->Arg(0)->Arg(1)->Apply(configure);

// The whole operation as the engine runs it, assignment on the main thread included: a first
// catalogue; a refresh that changes nothing (equal builds decoded into new texts); a refresh
// in which one build changed.
void BM_ProcessApps(benchmark::State &state) {
    writeReposFile("[]");
    QNetworkAccessManager network;
    AppStoreViewModel engine(QUrl(u"http://127.0.0.1:9/default_repos.csv"_s), &network);
    waitUntil([&] {
        return engine.filteredApps().isEmpty() && QThreadPool::globalInstance()->activeThreadCount() == 0;
    });
    const int scenario = int(state.range(0));
    QList<AppItem> turns[] = {generated().apps, decodedAgain()};
    if (scenario == 2)
        turns[1][kBuilds / 2].version += u".1"_s;
    QCoro::waitFor(engine.processApps(turns[1]));
    int turn = 0;
    double mainThreadSeconds = 0;
    for (auto _ : state) {
        if (scenario == 0) {
            state.PauseTiming();
            QCoro::waitFor(engine.processApps({}));
            QThreadPool::globalInstance()->waitForDone();
            state.ResumeTiming();
        }
        const double before = threadSeconds();
        QCoro::waitFor(engine.processApps(turns[turn++ % 2]));
        mainThreadSeconds += threadSeconds() - before;
    }
    state.counters["rows"] = double(engine.displayApps().size());
    // What the screens wait for: the main thread's own share.
    state.counters["main_thread_ms"] =
        benchmark::Counter(mainThreadSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ProcessApps)->ArgName("scenario")->Arg(0)->Arg(1)->Arg(2)->Apply(configure);

// One filtering pass as the engine runs it after the debounce: through the search index built
// with the rows, and the plain way over the same rows for comparison.
void BM_FilterTyped(benchmark::State &state) {
    const CatalogueAssembly::Catalogue catalogue =
        CatalogueAssembly::assemble({generated().apps}, AppSortOption::Name, true);
    const bool indexed = state.range(0) == 0;
    const std::optional<QString> source = state.range(1) ? std::optional(u"Repository 42"_s) : std::nullopt;
    // The first keystroke of a search is one character.
    const QString typed = state.range(2) ? u"z"_s : u"mus"_s;
    qsizetype matches = 0;
    for (auto _ : state) {
        matches = indexed ? CatalogueAssembly::filterApps(catalogue.displayApps, catalogue.searchIndex,
                                                          source, typed)
                                .size()
                          : CatalogueAssembly::filterApps(catalogue.displayApps, source, typed).size();
    }
    state.counters["matches"] = double(matches);
}
BENCHMARK(BM_FilterTyped)
    ->ArgNames({"plain", "source", "one_char"})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 0, 0})
    ->Args({0, 0, 1})
    ->Args({1, 0, 1})
    ->Apply(configure);

void BM_CheckForUpdates(benchmark::State &state) {
    writeReposFile(generated().stored);
    QNetworkAccessManager network;
    const std::unique_ptr<AppStoreViewModel> engine = startEngine(network);
    for (auto _ : state)
        engine->checkForUpdates(generated().installed);
    state.counters["updates"] = double(engine->availableUpdates().size());
}
BENCHMARK(BM_CheckForUpdates)->Apply(configure);

} // namespace

int main(int argc, char **argv) {
    return runKivoBenchmarks(argc, argv);
}

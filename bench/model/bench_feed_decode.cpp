// Decoding speed of the formats the store reads most: a big repository feed (against Qt's own
// JSON parser on the same bytes) and the stored repository tree with a large app cache.

#include "model/jsonwriter.h"
#include "model/reporesponse.h"
#include "model/storedform.h"

#include <QJsonDocument>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <malloc.h>

using namespace Qt::StringLiterals;

namespace {

const QStringList nameParts = {u"Café"_s,  u"Émulateur"_s, u"Über"_s,    u"Niño"_s,   u"Señal"_s,
                               u"Photo"_s, u"Tube"_s,      u"Spotify"_s, u"Årstid"_s, u"Ζeta"_s,
                               u"Kuro"_s,  u"Météo"_s,     u"Straße"_s,  u"Pixel"_s,  u"Næsta"_s};

const QString descriptionText =
    u"Une application complète pour gérer vos médias, avec lecture hors ligne, thèmes sombres et "
    u"clairs, widgets, raccourcis et synchronisation. Compatible avec les écrans larges — "
    u"fonctionne aussi en mode paysage. Nouveautés : corrections de bogues et améliorations."_s;

// One feed entry as publishers write them: every entry is one version, and the versions of one
// app (four here) repeat its name, icon, description and screenshots. Some entries use the
// alternative keys, and all carry keys the store does not read.
void writeEntry(JsonWriter &writer, int i, QRandomGenerator &random) {
    const int app = i / 4;
    const QString bundle = u"com.publisher.app"_s + QString::number(app);
    writer.beginObject();
    writer.key("name"_L1);
    writer.value(nameParts[app % nameParts.size()] + u' ' + nameParts[(app / 15) % nameParts.size()] + u' ' +
                 QString::number(app));
    writer.key(app % 4 == 0 ? "bundleID"_L1 : "bundleIdentifier"_L1);
    writer.value(bundle);
    writer.key("developerName"_L1);
    writer.value(nameParts[(app / 7) % nameParts.size()] + u" Studio"_s);
    writer.key("version"_L1);
    writer.value(u"%1.%2.0"_s.arg(1 + app % 5).arg(i % 4));
    writer.key("versionDate"_L1);
    writer.value(u"2024-%1-%2"_s.arg(1 + i % 12, 2, 10, QChar(u'0')).arg(1 + i % 28, 2, 10, QChar(u'0')));
    writer.key("size"_L1);
    writer.value(qint64(random.bounded(1'000'000, 400'000'000)));
    writer.key("downloadURL"_L1);
    writer.value(u"https://cdn.example.com/"_s + bundle + u"/v"_s + QString::number(i % 4) + u".ipa"_s);
    writer.key(app % 3 == 0 ? "icon"_L1 : "iconURL"_L1);
    writer.value(u"https://cdn.example.com/"_s + bundle + u"/icon.png"_s);
    writer.key("localizedDescription"_L1);
    writer.value(descriptionText.left(20 + app % 80) + u" ("_s + QString::number(app) + u')');
    writer.key(app % 5 == 0 ? "screenshots"_L1 : "screenshotURLs"_L1);
    writer.beginArray();
    for (int s = 0; s < app % 3; ++s)
        writer.value(u"https://cdn.example.com/"_s + bundle + u'/' + QString::number(s) + u".jpg"_s);
    writer.endArray();
    writer.key("tintColor"_L1);
    writer.value(u"#%1"_s.arg((app * 2654435761u) & 0xffffff, 6, 16, QChar(u'0')));
    writer.key("category"_L1);
    writer.value(app % 2 ? u"games"_s : u"utilities"_s);
    writer.key("appPermissions"_L1);
    writer.beginObject();
    writer.key("entitlements"_L1);
    writer.beginArray();
    writer.endArray();
    writer.key("privacy"_L1);
    writer.beginObject();
    writer.endObject();
    writer.endObject();
    writer.endObject();
}

QByteArray generateFeed(int entries) {
    QRandomGenerator random(42);
    JsonWriter writer;
    writer.beginObject();
    writer.key("name"_L1);
    writer.value(u"Bénchmark Repository"_s);
    writer.key("identifier"_L1);
    writer.value(u"com.example.bench"_s);
    writer.key("iconURL"_L1);
    writer.value(u"https://cdn.example.com/repo.png"_s);
    writer.key("META"_L1);
    writer.beginObject();
    writer.key("repoName"_L1);
    writer.value(u"Bench"_s);
    writer.endObject();
    writer.key("apps"_L1);
    writer.beginArray();
    for (int i = 0; i < entries; ++i)
        writeEntry(writer, i, random);
    writer.endArray();
    writer.endObject();
    return writer.takeBytes();
}

const QByteArray &feed() {
    static const QByteArray bytes = generateFeed(20'000);
    return bytes;
}

// 100 repositories of 500 cached apps each, half of them in folders: 50,000 apps.
QList<SavedRepo> generateTree() {
    const DecodeResult<RepoResponse> response = RepoResponse::decode(generateFeed(500));
    QList<SavedRepo> roots;
    SavedRepo folder;
    for (int r = 0; r < 100; ++r) {
        SavedRepo repo;
        repo.url = QUrl(u"https://repo%1.example.com/feed.json"_s.arg(r));
        repo.id = repo.url->toString();
        repo.name = u"Dépôt %1"_s.arg(r);
        repo.iconURL = u"https://repo%1.example.com/icon.png"_s.arg(r);
        repo.appCount = response->apps.size();
        QList<AppItem> apps = response->apps;
        for (AppItem &item : apps)
            item.sourceRepoName = repo.name;
        repo.cachedApps = std::move(apps);
        if (r % 2 == 0) {
            roots.append(std::move(repo));
            continue;
        }
        if (!folder.children) {
            folder.id = u"8F7E6D5C-0000-4000-8000-%1"_s.arg(r, 12, 10, QChar(u'0'));
            folder.name = u"Dossier %1"_s.arg(r);
            folder.children = QList<SavedRepo>{};
        }
        folder.children->append(std::move(repo));
        if (folder.children->size() == 10) {
            roots.append(std::move(folder));
            folder = SavedRepo();
        }
    }
    return roots;
}

const QList<SavedRepo> &tree() {
    static const QList<SavedRepo> roots = generateTree();
    return roots;
}

// Destroying a result is not decoding. The allocator would otherwise bill the next decode for
// merging the freed blocks, so that happens here too, and every decode starts on fresh memory.
template<typename T>
void releaseOutsideTiming(benchmark::State &state, std::optional<T> &value) {
    state.PauseTiming();
    value.reset();
    malloc_trim(0);
    state.ResumeTiming();
}

void BM_FeedDecode_Kivo(benchmark::State &state) {
    const QByteArray &bytes = feed();
    for (auto _ : state) {
        std::optional<DecodeResult<RepoResponse>> response = RepoResponse::decode(bytes);
        if (!response->ok() || response->value().apps.size() != 20'000)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(response);
        releaseOutsideTiming(state, response);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["MB"] = double(bytes.size()) / 1e6;
}
BENCHMARK(BM_FeedDecode_Kivo)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// The reference: Qt's parser on the same bytes, building its own document only.
void BM_FeedDecode_QJsonDocument(benchmark::State &state) {
    const QByteArray &bytes = feed();
    for (auto _ : state) {
        std::optional<QJsonDocument> document = QJsonDocument::fromJson(bytes);
        if (!document->isObject())
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(document);
        releaseOutsideTiming(state, document);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_FeedDecode_QJsonDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_RepoTreeEncode_50kApps(benchmark::State &state) {
    const QList<SavedRepo> &roots = tree();
    qsizetype size = 0;
    for (auto _ : state) {
        QByteArray json = StoredForm::encodeRepoTree(roots);
        size = json.size();
        benchmark::DoNotOptimize(json);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["MB"] = double(size) / 1e6;
}
BENCHMARK(BM_RepoTreeEncode_50kApps)->Unit(benchmark::kMillisecond);

void BM_RepoTreeDecode_50kApps(benchmark::State &state) {
    const QByteArray json = StoredForm::encodeRepoTree(tree());
    for (auto _ : state) {
        std::optional<DecodeResult<QList<SavedRepo>>> roots = StoredForm::decodeRepoTree(json);
        if (!roots->ok())
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(roots);
        releaseOutsideTiming(state, roots);
    }
    state.SetBytesProcessed(state.iterations() * json.size());
    state.counters["MB"] = double(json.size()) / 1e6;
}
BENCHMARK(BM_RepoTreeDecode_50kApps)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

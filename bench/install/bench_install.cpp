// The install side against its budgets: converting an app-sized archive end to end beside the
// bare extraction of the same archive in the same run, and scanning a full applications folder.
#include "downloads/downloadmanager.h"
#include "install/appbundlewriter.h"
#include "support/benchmain.h"
#include "zip/benchmarkarchives.h"
#include "zip/zipextractor.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <qcoro/qcorotask.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

using namespace Qt::StringLiterals;
using AppBundleWriter::Format;

namespace {

using Clock = std::chrono::steady_clock;

QString archiveFolder() {
    return QDir::temp().filePath(u"kivo-bench-zip"_s);
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// An engine over a LiveContainer folder of its own inside the (temporary) home.
std::unique_ptr<DownloadManager> makeEngine(const QString &storage) {
    QDir().mkpath(storage + u"/Applications"_s);
    auto engine = std::make_unique<DownloadManager>();
    engine->setCustomFolder(QUrl::fromLocalFile(storage), true);
    return engine;
}

// Extraction alone and the whole conversion (temporary folder, unpacking, Info.plist, conflict
// test, move into place, clean-up, rescan) take turns, so drift and the page cache treat both
// alike. The archive lies outside the downloads folder and so survives each conversion.
void BM_ConvertIpaLike(benchmark::State &state) {
    const QString archive = BenchmarkArchives::ipaLike(archiveFolder());
    if (archive.isEmpty()) {
        state.SkipWithError("the archive could not be generated");
        return;
    }
    const QString storage = QDir::temp().filePath(u"kivo-bench-install"_s);
    QDir(storage).removeRecursively();
    auto engine = makeEngine(storage);
    const QString applications = engine->applicationsFolder().toLocalFile();

    double extractSeconds = 0;
    double convertSeconds = 0;
    int round = 0;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((round + turn) % 2 == 0) {
                const QString destination = applications + u"/bare"_s;
                QDir().mkpath(destination);
                const auto start = Clock::now();
                ZipExtractor extractor;
                const bool ok = extractor.extractAll(archive, destination);
                extractSeconds += secondsSince(start);
                QDir(destination).removeRecursively();
                if (!ok) {
                    state.SkipWithError("extraction failed");
                    return;
                }
            } else {
                const auto start = Clock::now();
                QCoro::waitFor(engine->convertIPA(QUrl::fromLocalFile(archive)));
                const double seconds = secondsSince(start);
                convertSeconds += seconds;
                state.SetIterationTime(seconds);
                if (engine->installedApps().size() != 1) {
                    state.SkipWithError("the conversion installed nothing");
                    return;
                }
                QDir(engine->installedApps().first().url.toLocalFile()).removeRecursively();
                engine->scanInstalledApps();
            }
        }
        ++round;
    }
    state.counters["extract_s"] = extractSeconds / round;
    state.counters["convert_s"] = convertSeconds / round;
    state.counters["convert_over_extract"] = convertSeconds / extractSeconds;
    engine.reset();
    QDir(storage).removeRecursively();
}
BENCHMARK(BM_ConvertIpaLike)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// What a released app's Info.plist holds besides its identity.
QVariantMap releasedInfo(int index) {
    QVariantMap info = AppBundleWriter::info(u"com.bench.app%1"_s.arg(index), u"Bench App %1"_s.arg(index),
                                             u"%1.%2.0"_s.arg(index % 7).arg(index % 13));
    info.insert(u"CFBundleDisplayName"_s, u" Bench %1 "_s.arg(index));
    info.insert(u"CFBundleDevelopmentRegion"_s, u"en"_s);
    info.insert(u"CFBundleInfoDictionaryVersion"_s, u"6.0"_s);
    info.insert(u"CFBundleSupportedPlatforms"_s, QStringList{u"iPhoneOS"_s});
    info.insert(u"DTPlatformVersion"_s, u"17.2"_s);
    info.insert(u"DTSDKName"_s, u"iphoneos17.2"_s);
    info.insert(u"LSRequiresIPhoneOS"_s, true);
    info.insert(u"MinimumOSVersion"_s, u"15.0"_s);
    info.insert(u"UIDeviceFamily"_s, QVariantList{1, 2});
    info.insert(u"UIRequiredDeviceCapabilities"_s, QStringList{u"arm64"_s, u"metal"_s});
    info.insert(u"UISupportedInterfaceOrientations"_s,
                QStringList{u"UIInterfaceOrientationPortrait"_s, u"UIInterfaceOrientationLandscapeLeft"_s});
    info.insert(u"NSAppTransportSecurity"_s, QVariantMap{{u"NSAllowsArbitraryLoads"_s, true}});
    QVariantList schemes;
    for (int i = 0; i < 8; ++i)
        schemes.append(
            QVariantMap{{u"CFBundleURLName"_s, u"scheme%1"_s.arg(i)},
                        {u"CFBundleURLSchemes"_s, QStringList{u"bench%1x%2"_s.arg(index).arg(i)}}});
    info.insert(u"CFBundleURLTypes"_s, schemes);
    const QStringList icons{u"AppIcon20x20"_s, u"AppIcon29x29"_s, u"AppIcon40x40"_s, u"AppIcon60x60"_s};
    info.insert(u"CFBundleIcons"_s,
                QVariantMap{{u"CFBundlePrimaryIcon"_s, QVariantMap{{u"CFBundleIconFiles"_s, icons},
                                                                   {u"CFBundleIconName"_s, u"AppIcon"_s}}}});
    info.insert(u"CFBundleIcons~ipad"_s,
                QVariantMap{{u"CFBundlePrimaryIcon"_s,
                             QVariantMap{{u"CFBundleIconFiles"_s, icons + QStringList{u"AppIcon76x76"_s}}}}});
    return info;
}

// 500 bundles, half with binary and half with XML "Info.plist"; most find their icon under a
// listed name, some only at a fallback, some have none.
void BM_ScanInstalledApps(benchmark::State &state) {
    const QString storage = QDir::temp().filePath(u"kivo-bench-scan"_s);
    QDir(storage).removeRecursively();
    const QString applications = storage + u"/Applications"_s;
    constexpr int kApps = 500;
    for (int i = 0; i < kApps; ++i) {
        QStringList iconFiles;
        switch (i % 4) {
        case 0:
        case 1:
            iconFiles = {u"AppIcon60x60@2x.png"_s, u"AppIcon60x60@3x.png"_s, u"AppIcon76x76@2x~ipad.png"_s};
            break;
        case 2:
            iconFiles = {u"AppIcon.png"_s};
            break;
        default:
            break;
        }
        const QString folder = applications + u"/com.bench.app%1.app"_s.arg(i);
        if (!AppBundleWriter::writeApp(folder, releasedInfo(i), i % 2 ? Format::Xml : Format::Binary,
                                       iconFiles)) {
            state.SkipWithError("the apps could not be written");
            return;
        }
        QDir().mkpath(folder + u"/Frameworks"_s);
    }
    auto engine = makeEngine(storage);
    if (engine->installedApps().size() != kApps) {
        state.SkipWithError("the scan missed apps");
        return;
    }
    for (auto _ : state)
        engine->scanInstalledApps();
    state.counters["apps"] = kApps;
    engine.reset();
    QDir(storage).removeRecursively();
}
BENCHMARK(BM_ScanInstalledApps)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    return runKivoBenchmarks(argc, argv);
}

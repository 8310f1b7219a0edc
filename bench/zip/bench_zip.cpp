// Whole-archive extraction: Kivo against unzip (Info-ZIP) and bsdtar (libarchive), each as a
// process of its own into a fresh folder, taking turns within every iteration so a drifting
// machine affects all three alike. Kivo runs as this program in "--extract" mode, so its peak
// resident memory (the kernel's high-water mark, mapped archive pages included) is that of a
// process doing nothing but the extraction.
#include "zip/benchmarkarchives.h"
#include "zip/zipextractor.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

extern char **environ;

namespace {

struct Run {
    double seconds = 0;
    double peakMegabytes = 0;
    bool ok = false;
};

// Runs a program to its end. Its peak memory comes from its own report on standard output
// ("peak_kb N"): the kernel's ru_maxrss of a spawned child starts from this process's size.
Run runProcess(std::vector<QByteArray> arguments) {
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const bool started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    close(output[1]);
    QByteArray printed;
    char buffer[4096];
    for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;)
        printed.append(buffer, n);
    close(output[0]);
    if (started) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        const qsizetype peak = printed.indexOf("peak_kb ");
        if (peak >= 0)
            run.peakMegabytes = printed.mid(peak + 8).trimmed().toDouble() / 1024.0;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

QString benchFolder() {
    return QDir::temp().filePath(u"kivo-bench-zip"_s);
}

enum Tool { Kivo, Unzip, Bsdtar, ToolCount };
const char *const kToolNames[ToolCount] = {"kivo", "unzip", "bsdtar"};

Run extractWith(Tool tool, const QString &archive, const QString &destination) {
    const QByteArray a = QFile::encodeName(archive);
    const QByteArray d = QFile::encodeName(destination);
    switch (tool) {
    case Kivo:
        return runProcess({"/proc/self/exe", "--extract", a, d});
    case Unzip:
        return runProcess({"unzip", "-q", a, "-d", d});
    case Bsdtar:
        return runProcess({"bsdtar", "-xf", a, "-C", d});
    case ToolCount:
        break;
    }
    return {};
}

void extractAlternating(benchmark::State &state, const QString &archive) {
    if (archive.isEmpty()) {
        state.SkipWithError("the archive could not be generated");
        return;
    }
    double seconds[ToolCount] = {};
    double peak[ToolCount] = {};
    int round = 0;
    for (auto _ : state) {
        for (int turn = 0; turn < ToolCount; ++turn) {
            const auto tool = Tool((round + turn) % ToolCount);
            // A fresh folder each time, removed only at the end: deleting thousands of files just
            // before a run makes the file system's inode allocation slower for whoever runs next.
            const QString destination =
                QDir(benchFolder())
                    .filePath(u"out/%1-%2"_s.arg(QLatin1StringView(kToolNames[tool])).arg(round));
            QDir(destination).removeRecursively();
            QDir().mkpath(destination);
            const Run run = extractWith(tool, archive, destination);
            if (!run.ok) {
                state.SkipWithError(kToolNames[tool]);
                return;
            }
            seconds[tool] += run.seconds;
            peak[tool] = std::max(peak[tool], run.peakMegabytes);
            if (tool == Kivo)
                state.SetIterationTime(run.seconds);
        }
        ++round;
    }
    for (int tool = 0; tool < ToolCount; ++tool)
        state.counters[kToolNames[tool] + std::string("_s")] = seconds[tool] / double(round);
    state.counters["kivo_peak_MB"] = peak[Kivo];
    state.counters["unzip_over_kivo"] = seconds[Unzip] / seconds[Kivo];
    state.counters["bsdtar_over_kivo"] = seconds[Bsdtar] / seconds[Kivo];
    QDir(QDir(benchFolder()).filePath(u"out"_s)).removeRecursively();
}

void BM_ExtractIpaLike(benchmark::State &state) {
    extractAlternating(state, BenchmarkArchives::ipaLike(benchFolder()));
}
BENCHMARK(BM_ExtractIpaLike)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ExtractSmallFiles(benchmark::State &state) {
    extractAlternating(state, BenchmarkArchives::smallFiles(benchFolder()));
}
BENCHMARK(BM_ExtractSmallFiles)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && qstrcmp(argv[1], "--extract") == 0) {
        ZipExtractor extractor;
        if (extractor.extractAll(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]))) {
            QFile status(u"/proc/self/status"_s);
            status.open(QIODevice::ReadOnly);
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("VmHWM:"))
                    printf("peak_kb %s\n", line.mid(6).trimmed().split(' ').value(0).constData());
            }
            return 0;
        }
        fprintf(stderr, "%s\n", qPrintable(extractor.error().description()));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

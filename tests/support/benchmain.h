#pragma once

#include "support/testmain.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

// The main() of every benchmark program: a fresh temporary home, so settings, journals and
// "repos.json" never touch the real user folders, and an application named "Kivo".
inline int runKivoBenchmarks(int argc, char **argv) {
    TestHome home;
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Kivo"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

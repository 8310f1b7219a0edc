#pragma once

#include <QString>

// The archives the extraction benchmarks measure, generated once into a folder outside the
// project and reused while their file exists. Content is deterministic, so every run and every
// benchmark measures the same bytes.
namespace BenchmarkArchives {

// About 300 MB, shaped like an app archive: Payload/Bench.app with one 150 MB binary of partly
// compressible content (mode 0755), an Info.plist and 4,000 resource files of mixed sizes, about
// one in five stored (already compressed images), the rest deflated.
QString ipaLike(const QString &folder);

// 10,000 small deflated files in 100 folders.
QString smallFiles(const QString &folder);

} // namespace BenchmarkArchives

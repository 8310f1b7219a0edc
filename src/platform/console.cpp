#include "console.h"

#include <cstdio>
#include <mutex>

void printLine(const QString &line) {
    static std::mutex mutex;
    const QByteArray bytes = line.toUtf8() + '\n';
    const std::lock_guard lock(mutex);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

#pragma once

#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <QtGlobal>

// Large passes split in two, for the two cores a phone or a small machine has at least; below
// this many items a second thread costs more than it saves.
namespace ParallelHalves {

constexpr qsizetype kWorthSplitting = 4096;

// Runs both jobs at once, the second on a thread of the global pool; if the pool is busy, waiting
// for it runs the second job here.
template<typename First, typename Second>
void runBoth(const First &first, const Second &second) {
    QFuture<void> other = QtConcurrent::run([&second] { second(); });
    first();
    other.waitForFinished();
}

// Runs work(begin, end) over [0, count), in two halves at once when there is enough of it.
template<typename Work>
void forBothHalves(qsizetype count, const Work &work) {
    if (count < kWorthSplitting) {
        work(qsizetype(0), count);
        return;
    }
    const qsizetype middle = count / 2;
    runBoth([&] { work(qsizetype(0), middle); }, [&] { work(middle, count); });
}

} // namespace ParallelHalves

#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <functional>

class QEventLoop;
class QQuickItem;
class QQuickWindow;

// What the window benchmarks share: a home of their own, the child process that measures in it,
// the real event loop they wait on, clicks and the frames that follow them.
namespace UiBench {

// Points the data, settings, cache and runtime folders at `home`: written by the parent, read
// by the child it starts, which inherits the environment.
void useHome(const QString &home);

// Runs the event loop for `ms`, or until `loop` is quit. QTest's waits sleep 10 ms between their
// rounds of events, which would add up to 10 ms to each measured step.
void runEventLoop(QEventLoop &loop, int ms);
void runEventLoop(int ms);

// The first item in the visual tree below `from` with the object name (Repeater-made items have
// no object parent, so findChild misses them); null when there is none.
QQuickItem *findItem(QQuickItem *from, const QString &objectName);

void click(QQuickWindow *window, QQuickItem *item);

// Clicks the item and returns the milliseconds until the first frame after which `drawn` holds,
// or -1 when none came within the timeout.
qint64 clickToFrame(QQuickWindow *window, QQuickItem *item, const std::function<bool()> &drawn,
                    int timeoutMs = 10000);

// Starts this program again with the arguments, hands each line it prints to `onLine` (its error
// output goes straight to ours) and returns its exit code, -1 when it did not end in time.
int runChild(const QStringList &arguments, const std::function<void(const QByteArray &)> &onLine,
             int readTimeoutMs = 180000);

// The longest time the main thread was kept from a 1-ms timer: how long it stayed busy at once.
class BusyStretches {
public:
    BusyStretches();
    void restart() { m_longest = 0; }
    double longestMs() const { return m_longest / 1e6; }

private:
    QTimer m_ticks;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace UiBench

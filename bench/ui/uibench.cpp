#include "uibench.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace UiBench {

void useHome(const QString &home) {
    qputenv("XDG_DATA_HOME", (home + u"/data"_s).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + u"/config"_s).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home + u"/cache"_s).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (home + u"/runtime"_s).toLocal8Bit());
    QDir().mkpath(home + u"/runtime"_s);
    QFile::setPermissions(home + u"/runtime"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void runEventLoop(QEventLoop &loop, int ms) {
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void runEventLoop(int ms) {
    QEventLoop loop;
    runEventLoop(loop, ms);
}

QQuickItem *findItem(QQuickItem *from, const QString &objectName) {
    QList<QQuickItem *> pending{from};
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeLast();
        if (item->objectName() == objectName)
            return item;
        pending.append(item->childItems());
    }
    return nullptr;
}

void click(QQuickWindow *window, QQuickItem *item) {
    QTest::mouseClick(window, Qt::LeftButton, {},
                      item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
}

qint64 clickToFrame(QQuickWindow *window, QQuickItem *item, const std::function<bool()> &drawn,
                    int timeoutMs) {
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 at = -1;
    const QMetaObject::Connection frames = QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] {
        if (at < 0 && drawn()) {
            at = clock.elapsed();
            loop.quit();
        }
    });
    clock.start();
    click(window, item);
    runEventLoop(loop, timeoutMs);
    QObject::disconnect(frames);
    return at;
}

int runChild(const QStringList &arguments, const std::function<void(const QByteArray &)> &onLine,
             int readTimeoutMs) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    while (child.state() != QProcess::NotRunning || child.canReadLine()) {
        if (!child.canReadLine() && !child.waitForReadyRead(readTimeoutMs))
            break;
        while (child.canReadLine())
            onLine(child.readLine().trimmed());
    }
    if (!child.waitForFinished(30000) && child.state() != QProcess::NotRunning)
        return -1;
    return child.exitCode();
}

BusyStretches::BusyStretches() {
    m_ticks.setTimerType(Qt::PreciseTimer);
    m_ticks.setInterval(1);
    QObject::connect(&m_ticks, &QTimer::timeout, [this] {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last - 1'000'000);
        m_last = now;
    });
    m_clock.start();
    m_ticks.start();
}

} // namespace UiBench

// Budgets of the "Repos" screens with a large tree: 500 repositories in 50 folders, one folder
// holding 100 of them. Reports, per round:
// - from the click on "Manage Sources" to the first frame that shows rows;
// - from the click on the folder of 100 to the first frame that shows its rows;
// - for a click on a repository's switch, until the frame that draws the switch in its new state
//   has been presented: the main thread's CPU time and its busy time (awake in its event loop or
//   handing a frame to the render thread, not waiting for events), and the wall time, which also
//   holds the wait for the next frame tick; then the main thread's longest busy stretch from the
//   click for 500 ms (the save and the catalogue rebuild run elsewhere).
// The window is loaded exactly as the app does, on a real event loop. Run under xvfb-run.

#include "model/savedrepo.h"
#include "model/storedform.h"
#include "platform/defaultsstore.h"
#include "platform/standarddirs.h"
#include "samplecatalogue.h"
#include "ui/appshell.h"
#include "ui/contentcontroller.h"
#include "uibench.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <pthread.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

namespace {

constexpr int kRepos = 500;
constexpr int kFolders = 50;
constexpr int kBigFolder = 100;

using UiBench::clickToFrame;
using UiBench::runEventLoop;

// The main thread's time from a start: its CPU time, and its busy time, which is the wall time
// less the stretches it waited in its event loop for something to do. Readable from any thread,
// so the render thread can take the reading at the moment a frame is presented.
class MainThreadTime {
public:
    MainThreadTime() {
        pthread_getcpuclockid(pthread_self(), &m_cpuClock);
        auto *dispatcher = QAbstractEventDispatcher::instance();
        m_blocking = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                                      [this] { m_blockedSince = m_wall.nsecsElapsed(); });
        m_waking = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] {
            const qint64 since = m_blockedSince.exchange(-1);
            if (since >= 0)
                m_blocked += m_wall.nsecsElapsed() - since;
        });
        m_wall.start();
        m_cpuAtStart = cpuNs();
    }
    ~MainThreadTime() {
        QObject::disconnect(m_blocking);
        QObject::disconnect(m_waking);
    }
    MainThreadTime(const MainThreadTime &) = delete;
    MainThreadTime &operator=(const MainThreadTime &) = delete;

    struct Reading {
        double cpuMs = -1;
        double busyMs = -1;
        double wallMs = -1;
    };
    Reading read() const {
        const qint64 wall = m_wall.nsecsElapsed();
        const qint64 since = m_blockedSince.load();
        const qint64 blocked = m_blocked.load() + (since >= 0 ? wall - since : 0);
        return {double(cpuNs() - m_cpuAtStart) / 1e6, double(wall - blocked) / 1e6, double(wall) / 1e6};
    }

private:
    qint64 cpuNs() const {
        timespec now{};
        clock_gettime(m_cpuClock, &now);
        return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    }

    clockid_t m_cpuClock{};
    QElapsedTimer m_wall;
    qint64 m_cpuAtStart = 0;
    std::atomic<qint64> m_blockedSince{-1};
    std::atomic<qint64> m_blocked{0};
    QMetaObject::Connection m_blocking;
    QMetaObject::Connection m_waking;
};

SavedRepo repository(int index) {
    SavedRepo repo;
    repo.id = u"http://127.0.0.1:9/feed"_s + QString::number(index) + u".json"_s;
    repo.name = u"Repository "_s + QString::number(index);
    repo.url = QUrl(repo.id);
    // Cached apps: the catalogue is not empty, so the window starts no refresh.
    repo.cachedApps = SampleCatalogue::apps(2, u"http://127.0.0.1:9/r"_s + QString::number(index));
    repo.appCount = 2;
    return repo;
}

// Folder 0 holds 100 repositories, the 49 others 8 each; the last 8 sit at the top level.
bool writeHome(const QString &home) {
    UiBench::useHome(home);
    QList<SavedRepo> tree;
    int next = 0;
    for (int f = 0; f < kFolders; ++f) {
        SavedRepo folder;
        folder.id = u"folder-"_s + QString::number(f);
        folder.name = u"Folder "_s + QString::number(f);
        folder.children = QList<SavedRepo>();
        const int size = f == 0 ? kBigFolder : (kRepos - kBigFolder) / kFolders;
        for (int i = 0; i < size; ++i)
            folder.children->append(repository(next++));
        tree.append(folder);
    }
    while (next < kRepos)
        tree.append(repository(next++));
    QDir().mkpath(StandardDirs::applicationSupport());
    QFile file(StandardDirs::applicationSupport() + u"/repos.json"_s);
    DefaultsStore().setBool(ContentController::kHasAskedForLiveContainerSetup, true);
    return file.open(QIODevice::WriteOnly) && file.write(StoredForm::encodeRepoTree(tree)) > 0;
}

QQuickItem *findShown(QQuickItem *from, const std::function<bool(QQuickItem *)> &matches) {
    if (!from->isVisible())
        return nullptr;
    if (matches(from))
        return from;
    for (QQuickItem *child : from->childItems()) {
        if (QQuickItem *found = findShown(child, matches))
            return found;
    }
    return nullptr;
}

QQuickItem *findShown(QQuickWindow *window, const QString &objectName) {
    return findShown(window->contentItem(),
                     [&](QQuickItem *item) { return item->objectName() == objectName; });
}

// Clicks the item and reads the main thread's time when the first frame synchronised after
// `drawn` holds has been presented. `drawn` runs on the render thread while the main thread
// waits for the synchronisation, so it may read items.
MainThreadTime::Reading clickToPresented(QQuickWindow *window, QQuickItem *item,
                                         const std::function<bool()> &drawn) {
    QEventLoop loop;
    std::atomic<bool> clicked{false};
    std::atomic<bool> synced{false};
    std::atomic<bool> presented{false};
    MainThreadTime::Reading reading;
    const QMetaObject::Connection syncs = QObject::connect(
        window, &QQuickWindow::afterSynchronizing, window,
        [&] {
            if (clicked && !synced && drawn())
                synced = true;
        },
        Qt::DirectConnection);
    MainThreadTime time;
    const QMetaObject::Connection frames = QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [&] {
            if (synced && !presented.exchange(true)) {
                reading = time.read();
                QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            }
        },
        Qt::DirectConnection);
    clicked = true;
    QTest::mouseClick(window, Qt::LeftButton, {},
                      item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
    runEventLoop(loop, 10000);
    QObject::disconnect(syncs);
    QObject::disconnect(frames);
    return reading;
}

QQuickItem *shownList(QQuickWindow *window, const QString &parentID) {
    return findShown(window->contentItem(), [&](QQuickItem *item) {
        if (item->objectName() != u"reposList"_s || item->property("count").toInt() == 0)
            return false;
        const QObject *level = item->property("model").value<QObject *>();
        return level && level->property("parentID").toString() == parentID;
    });
}

} // namespace

int main(int argc, char **argv) {
    QTemporaryDir home;
    QGuiApplication app(argc, argv);
    AppShell::setUpApplication();
    if (!writeHome(home.path()))
        return 1;
    AppShell shell;
    QQuickWindow *window = shell.load();
    if (!window)
        return 1;
    window->resize(420, 820);
    QEventLoop settle;
    runEventLoop(settle, 2000);

    std::printf("tree: %d repositories in %d folders, one of %d\n", kRepos, kFolders, kBigFolder);
    for (int round = 0; round < 5; ++round) {
        QQuickItem *settingsTab = findShown(window, u"tab3"_s);
        QTest::mouseClick(window, Qt::LeftButton, {},
                          settingsTab->mapToScene(QPointF(settingsTab->width() / 2, 10)).toPoint());
        runEventLoop(settle, 500);
        QQuickItem *manage = findShown(window, u"manageSources"_s);
        if (!manage)
            return 2;
        const qint64 topLevel =
            clickToFrame(window, manage, [&] { return shownList(window, QString()) != nullptr; });
        runEventLoop(settle, 500);
        QQuickItem *topList = shownList(window, QString());
        QQuickItem *folderRow =
            topList ? findShown(topList,
                                [](QQuickItem *item) {
                                    return item->property("repoID").toString() == u"folder-0"_s;
                                })
                    : nullptr;
        if (!folderRow)
            return 3;
        const qint64 folder =
            clickToFrame(window, folderRow, [&] { return shownList(window, u"folder-0"_s) != nullptr; });
        runEventLoop(settle, 500);

        QQuickItem *folderList = shownList(window, u"folder-0"_s);
        QQuickItem *toggle =
            folderList
                ? findShown(folderList, [](QQuickItem *item) { return item->objectName() == u"rowSwitch"_s; })
                : nullptr;
        if (!toggle)
            return 4;
        const bool before = toggle->property("checked").toBool();
        UiBench::BusyStretches stretches;
        const MainThreadTime::Reading switched =
            clickToPresented(window, toggle, [&] { return toggle->property("checked").toBool() != before; });
        runEventLoop(settle, 500);
        std::printf(
            "round %d: Manage Sources %lld ms, folder of %d %lld ms; switch drawn: main-thread CPU "
            "%.1f ms, busy %.1f ms, wall %.1f ms; longest main-thread stretch after the switch %.1f ms\n",
            round, topLevel, kBigFolder, folder, switched.cpuMs, switched.busyMs, switched.wallMs,
            stretches.longestMs());
        std::fflush(stdout);

        // Back to the settings page for the next round.
        for (int i = 0; i < 2; ++i) {
            if (QQuickItem *back = findShown(window, u"reposBackButton"_s)) {
                UiBench::click(window, back);
                runEventLoop(settle, 500);
            }
        }
    }
    return 0;
}

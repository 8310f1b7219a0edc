// Start-up and search budgets of the main window with a large cached catalogue.
//
// Without arguments: writes a home whose "repos.json" caches N apps (50,000 by default, or the
// number given with --apps), then starts this program again in that home with --measure, several
// times, and reports the wall time from process start to the first frame that shows store rows,
// and the time from each of three search keystrokes to the frame that shows the changed rows.
// The child loads the app's window exactly as the app does.

#include "model/savedrepo.h"
#include "model/storedform.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"
#include "samplecatalogue.h"
#include "ui/appshell.h"
#include "ui/cataloguelistmodel.h"
#include "uibench.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMap>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

namespace {

using UiBench::runEventLoop;

int measure(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    AppShell::setUpApplication();
    AppShell shell;
    QQuickWindow *window = shell.load();
    if (!window)
        return 1;
    auto *list = window->findChild<QQuickItem *>(u"storeList"_s);
    auto *catalogue = window->findChild<CatalogueListModel *>();
    if (!list || !catalogue)
        return 1;

    // First rows: the first frame swapped while the list has rows.
    QEventLoop firstRows;
    bool sawRows = false;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] {
        if (!sawRows && list->property("count").toInt() > 0) {
            sawRows = true;
            std::printf("FIRST_ROWS %d\n", catalogue->rowCount());
            std::fflush(stdout);
            firstRows.quit();
        }
    });
    runEventLoop(firstRows, 30000);
    if (!sawRows) {
        std::fprintf(stderr, "no rows after 30 s: %d rows in the model, list count %d\n",
                     catalogue->rowCount(), list->property("count").toInt());
        return 2;
    }
    QEventLoop settle;
    runEventLoop(settle, 1000);

    // Search keystrokes, each from the key to the first frame showing the changed list: a letter
    // that leaves a twentieth of the rows, so that every shown row is new; Backspace, which brings
    // all rows back; and a letter that matches nothing.
    auto *search = window->findChild<QQuickItem *>(u"searchField"_s);
    search->forceActiveFocus();
    const auto measureKey = [&](Qt::Key key, const char *label) {
        const int before = catalogue->rowCount();
        QEventLoop changedLoop;
        bool changed = false;
        QElapsedTimer keystroke;
        const QMetaObject::Connection frames =
            QObject::connect(window, &QQuickWindow::frameSwapped, window, [&] {
                if (!changed && catalogue->rowCount() != before) {
                    changed = true;
                    std::printf("KEYSTROKE %s %lld %d %d\n", label, keystroke.elapsed(), before,
                                catalogue->rowCount());
                    std::fflush(stdout);
                    changedLoop.quit();
                }
            });
        keystroke.start();
        QTest::keyClick(window, key);
        runEventLoop(changedLoop, 10000);
        QObject::disconnect(frames);
        QEventLoop pause;
        runEventLoop(pause, 1000);
        return changed;
    };
    if (!measureKey(Qt::Key_W, "narrowing") || !measureKey(Qt::Key_Backspace, "widening") ||
        !measureKey(Qt::Key_Z, "no-match"))
        return 3;
    return 0;
}

bool writeHome(const QString &home, int count) {
    UiBench::useHome(home);
    SavedRepo repo;
    repo.id = newUuidString();
    repo.name = u"Bench Apps"_s;
    repo.url = QUrl(u"http://127.0.0.1:9/feed.json"_s);
    repo.cachedApps = SampleCatalogue::apps(count, u"http://127.0.0.1:9"_s);
    for (AppItem &item : *repo.cachedApps)
        item.sourceRepoName = repo.name;
    repo.appCount = count;
    const QString folder = StandardDirs::applicationSupport();
    QDir().mkpath(folder);
    QFile file(folder + u"/repos.json"_s);
    return file.open(QIODevice::WriteOnly) && file.write(StoredForm::encodeRepoTree({repo})) > 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && qstrcmp(argv[1], "--measure") == 0)
        return measure(argc, argv);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Kivo"_s);
    QCommandLineParser parser;
    parser.addOption({u"apps"_s, u"Cached apps."_s, u"count"_s, u"50000"_s});
    parser.addOption({u"runs"_s, u"Launches to measure."_s, u"count"_s, u"5"_s});
    parser.process(app);
    const int count = parser.value(u"apps"_s).toInt();
    const int runs = parser.value(u"runs"_s).toInt();

    QTemporaryDir home;
    if (!writeHome(home.path(), count))
        return 1;

    QList<qint64> startups;
    // Per kind of keystroke: milliseconds, and the row counts before and after.
    QMap<QByteArray, QList<qint64>> keystrokes;
    QMap<QByteArray, QByteArray> rowChanges;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        qint64 firstRows = -1;
        const int exitCode = UiBench::runChild(
            {u"--measure"_s},
            [&](const QByteArray &line) {
                if (line.startsWith("FIRST_ROWS"))
                    firstRows = clock.elapsed();
                else if (line.startsWith("KEYSTROKE ")) {
                    const QList<QByteArray> fields = line.split(' ');
                    keystrokes[fields.value(1)].append(fields.value(2).toLongLong());
                    rowChanges[fields.value(1)] = fields.value(3) + " to " + fields.value(4) + " rows";
                } else
                    std::fprintf(stderr, "app: %s\n", line.constData());
            },
            30000);
        if (firstRows < 0) {
            std::fprintf(stderr, "run %d: no rows drawn (exit %d)\n", run, exitCode);
            return 1;
        }
        startups.append(firstRows);
    }
    const auto median = [](QList<qint64> values) {
        std::sort(values.begin(), values.end());
        return values.isEmpty() ? -1 : values.at(values.size() / 2);
    };
    std::printf("apps cached: %d, runs: %d\n", count, runs);
    std::printf("process start to first store rows drawn: median %lld ms (min %lld, max %lld)\n",
                median(startups), *std::min_element(startups.cbegin(), startups.cend()),
                *std::max_element(startups.cbegin(), startups.cend()));
    std::printf("search keystroke to changed rows drawn (300 ms of it the debounce):\n");
    for (const char *kind : {"narrowing", "widening", "no-match"}) {
        const QList<qint64> &times = keystrokes.value(kind);
        if (times.isEmpty())
            continue;
        std::printf("  %-9s (%s): median %lld ms (min %lld, max %lld)\n", kind,
                    rowChanges.value(kind).constData(), median(times),
                    *std::min_element(times.cbegin(), times.cend()),
                    *std::max_element(times.cbegin(), times.cend()));
    }
    return 0;
}

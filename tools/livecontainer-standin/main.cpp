#include "livecontainerstandin.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(u"kivo-livecontainer-standin"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Answers livecontainer:// URLs as LiveContainer would, for one storage folder."_s);
    parser.addHelpOption();
    const QCommandLineOption storageOption(
        u"storage"_s,
        u"LiveContainer's storage folder (default: $LIVECONTAINER_STORAGE, else ~/.local/share/LiveContainer)."_s,
        u"folder"_s);
    parser.addOption(storageOption);
    parser.addPositionalArgument(u"url"_s, u"A livecontainer:// URL."_s);
    parser.process(app);

    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1) {
        err << "usage: kivo-livecontainer-standin [--storage <folder>] <livecontainer://...>\n";
        return 2;
    }

    QString storage = parser.value(storageOption);
    if (storage.isEmpty())
        storage = qEnvironmentVariable("LIVECONTAINER_STORAGE");
    if (storage.isEmpty())
        storage = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/LiveContainer"_s;

    // Launch URLs carry folder names unencoded; keep them as given.
    const QUrl url(parser.positionalArguments().constFirst(), QUrl::TolerantMode);
    const auto outcome = LiveContainerStandIn(storage).open(url);
    if (!outcome.succeeded) {
        err << outcome.message << '\n';
        return 1;
    }
    QTextStream(stdout) << outcome.message << '\n';
    return 0;
}

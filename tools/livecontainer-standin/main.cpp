#include "livecontainerstandin.h"
#include "platform/standarddirs.h"
#include "standinwindow.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QTextStream>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <cstring>
#include <memory>

Q_IMPORT_QML_PLUGIN(KivoStandInPlugin)

using namespace Qt::StringLiterals;

namespace {

// Tests and scripts run the stand-in where no one could see a window: it only prints there.
bool runsWithoutWindow(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-window") == 0)
            return true;
    }
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal"))
        return true;
    return platform.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char **argv) {
    const bool withoutWindow = runsWithoutWindow(argc, argv);
    std::unique_ptr<QCoreApplication> app = withoutWindow ? std::make_unique<QCoreApplication>(argc, argv)
                                                          : std::make_unique<QGuiApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"kivo-livecontainer-standin"_s);
    QGuiApplication::setDesktopFileName(u"kivo-livecontainer-standin"_s);

    QCommandLineParser parser;
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption storageOption(
        u"storage"_s,
        u"LiveContainer's storage folder (default: $LIVECONTAINER_STORAGE, else ~/.local/share/LiveContainer)."_s,
        u"folder"_s);
    parser.addOption(storageOption);
    parser.addOption({u"no-window"_s, u"Print the outcome only; show no window."_s});
    parser.addPositionalArgument(u"url"_s, u"A livecontainer:// URL."_s);
    QTextStream err(stderr);
    if (!parser.parse(QCoreApplication::arguments())) {
        err << parser.errorText() << '\n';
        return 2;
    }

    QString storage = parser.value(storageOption);
    if (storage.isEmpty())
        storage = StandardDirs::liveContainerStorage();
    const LiveContainerStandIn standIn(storage);
    parser.setApplicationDescription(
        u"Answers livecontainer:// URLs as LiveContainer would, for one storage folder.\n\n"
        "LiveContainer folder: %1\n"
        "Choose this folder as LiveContainer's folder in Kivo's Settings, so that Kivo installs apps "
        "where this stand-in runs them."_s.arg(standIn.storageFolder()));
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (parser.positionalArguments().size() != 1) {
        err << "usage: kivo-livecontainer-standin [--storage <folder>] [--no-window] <livecontainer://...>\n";
        return 2;
    }

    // Launch URLs carry folder names unencoded; keep them as given.
    const QUrl url(parser.positionalArguments().constFirst(), QUrl::TolerantMode);
    const LiveContainerStandIn::Outcome outcome = standIn.open(url);
    if (outcome.succeeded)
        QTextStream(stdout) << outcome.message << '\n';
    else
        err << outcome.message << '\n'
            << "This stand-in uses the LiveContainer folder " << standIn.storageFolder()
            << "; Kivo installs apps into the LiveContainer folder chosen in its Settings.\n";
    const int exitCode = outcome.succeeded ? 0 : 1;
    if (withoutWindow)
        return exitCode;

    QQuickStyle::setStyle(u"Material"_s);
    QQmlApplicationEngine engine;
    if (!StandInWindow::show(engine, outcome, standIn.storageFolder()))
        return exitCode;
    QCoreApplication::exec();
    return exitCode;
}

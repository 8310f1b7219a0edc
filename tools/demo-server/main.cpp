#include "demohome.h"
#include "sampleserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so the server closes its connections on the way out.
void quitOnSignals(QCoreApplication &app) {
    if (::pipe(g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

} // namespace

// Serves the demo's sample source on 127.0.0.1 until interrupted, and prints its address first.
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    // The engines that --seed runs keep their files under the application's name.
    app.setApplicationName(u"Kivo"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Serves Kivo's sample source on 127.0.0.1 and prints the address of its feed."_s);
    parser.addHelpOption();
    const QCommandLineOption sourceOption(u"source"_s, u"The sample source's folder."_s, u"folder"_s);
    const QCommandLineOption portOption(u"port"_s, u"The port to listen on (default: any free one)."_s,
                                        u"port"_s, u"0"_s);
    const QCommandLineOption rateOption(u"rate"_s, u"Archives are sent at this many bytes per second."_s,
                                        u"bytes"_s, u"0"_s);
    const QCommandLineOption seedOption(
        u"seed"_s,
        u"First make the current home a fresh Kivo whose store lists this server's source and whose "
        u"LiveContainer folder is the one given."_s,
        u"folder"_s);
    parser.addOptions({sourceOption, portOption, rateOption, seedOption});
    parser.process(app);

    QTextStream err(stderr);
    bool portValid = false;
    const uint port = parser.value(portOption).toUInt(&portValid);
    bool rateValid = false;
    const qint64 rate = parser.value(rateOption).toLongLong(&rateValid);
    if (!parser.isSet(sourceOption) || !portValid || port > 65535 || !rateValid || rate < 0) {
        err << "usage: kivo-demo-server --source <folder> [--port <port>] [--rate <bytes>] [--seed "
               "<folder>]\n";
        return 2;
    }

    SampleServer server(parser.value(sourceOption), rate);
    QString error;
    if (server.start(quint16(port), &error) == 0 ||
        (parser.isSet(seedOption) &&
         !DemoHome::seed(server.reposListURL(), server.feedURL(), parser.value(seedOption), &error))) {
        err << "kivo-demo-server: " << error << '\n';
        return 1;
    }
    quitOnSignals(app);
    // For the demo's start-up budget: each answer, timed from the command's start (epoch ms).
    if (const qint64 started = qEnvironmentVariable("KIVO_DEMO_TIMING").toLongLong(); started > 0) {
        QObject::connect(
            &server.http(), &HttpServer::requestAnswered, &app, [started](const QString &path, int status) {
                std::fprintf(stderr, "kivo-demo-server: %lld ms: %d %s\n",
                             QDateTime::currentMSecsSinceEpoch() - started, status, qPrintable(path));
            });
    }
    std::printf("%s\n", qPrintable(server.feedURL().toString()));
    std::fflush(stdout);
    return app.exec();
}

// A process that claims to be the one Kivo, as main() does, and says what happened: "running"
// (then "asked to come to the front" for each later launch) or "handed over".

#include "platform/singleinstance.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    SingleInstance instance;
    const auto say = [](const char *line) {
        std::puts(line);
        std::fflush(stdout);
    };
    if (!instance.claim()) {
        say("handed over");
        return 0;
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, &app,
                     [&] { say("asked to come to the front"); });
    say("running");
    return app.exec();
}

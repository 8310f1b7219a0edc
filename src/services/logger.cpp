#include "logger.h"

#include <QCoreApplication>
#include <QQmlEngine>

Logger &Logger::shared() {
    // Never destroyed: the process ends with it, and QML holds it without owning it.
    static Logger *const instance = [] {
        auto *logger = new Logger;
        if (auto *app = QCoreApplication::instance())
            logger->moveToThread(app->thread());
        return logger;
    }();
    return *instance;
}

Logger *Logger::create(QQmlEngine *, QJSEngine *) {
    Logger *logger = &shared();
    QQmlEngine::setObjectOwnership(logger, QQmlEngine::CppOwnership);
    return logger;
}

void Logger::log(const QString &line) {
    Q_UNUSED(line);
}

#include "standarddirs.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace StandardDirs {

QString applicationSupport() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString documents() {
    return applicationSupport() + u"/Documents"_s;
}

QString caches() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

QString temporary() {
    return QDir::tempPath() + u"/Kivo"_s;
}

QString liveContainerStorage() {
    const QString chosen = qEnvironmentVariable("LIVECONTAINER_STORAGE");
    if (!chosen.isEmpty())
        return QDir::cleanPath(QDir(chosen).absolutePath());
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/LiveContainer"_s;
}

} // namespace StandardDirs

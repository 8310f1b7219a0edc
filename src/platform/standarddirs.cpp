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

} // namespace StandardDirs

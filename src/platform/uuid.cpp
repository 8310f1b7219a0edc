#include "uuid.h"

#include <QUuid>

QString newUuidString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

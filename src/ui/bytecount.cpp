#include "ui/bytecount.h"

#include <QCoreApplication>
#include <QLocale>

#include <array>
#include <cmath>

QString formatByteCount(qint64 bytes) {
    if (bytes == 0)
        return QCoreApplication::translate("ByteCount", "Zero KB");
    const QLocale locale = QLocale::system();
    const qint64 magnitude = bytes < 0 ? -bytes : bytes;
    if (magnitude == 1)
        return QCoreApplication::translate("ByteCount", "%1 byte").arg(locale.toString(bytes));
    if (magnitude < 1000)
        return QCoreApplication::translate("ByteCount", "%1 bytes").arg(locale.toString(bytes));

    static constexpr std::array units{"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes) / 1000.0;
    std::size_t unit = 0;
    // Round first, so 999,950 bytes reads "1 MB" and not "1,000 KB".
    const auto decimalsFor = [](std::size_t u) {
        return u == 0 ? 0 : (u == 1 ? 1 : 2);
    };
    while (unit + 1 < units.size()) {
        const double scale = std::pow(10.0, decimalsFor(unit));
        if (std::abs(std::round(value * scale) / scale) < 1000.0)
            break;
        value /= 1000.0;
        ++unit;
    }
    QString number = locale.toString(value, 'f', decimalsFor(unit));
    // "4.0 MB" reads as "4 MB".
    const QString zeros = locale.decimalPoint() + QString(decimalsFor(unit), u'0');
    if (decimalsFor(unit) > 0 && number.endsWith(zeros))
        number.chop(zeros.size());
    return number + u' ' + QLatin1StringView(units[unit]);
}

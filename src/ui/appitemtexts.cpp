#include "ui/appitemtexts.h"

#include "ui/bytecount.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace AppItemTexts {

QString sourceLine(const AppItem &item) {
    return item.sourceRepoName
               ? QCoreApplication::translate("AppItemTexts", "via %1").arg(*item.sourceRepoName)
               : QString();
}

QString versionLine(const AppItem &item) {
    QString line = u"v"_s + item.version;
    if (item.size)
        line += u" • "_s + formatByteCount(*item.size);
    return line;
}

QString detailLine(const AppItem &item) {
    QString line =
        item.versionDate ? *item.versionDate : QCoreApplication::translate("AppItemTexts", "Unknown Date");
    if (item.size)
        line += u" • "_s + formatByteCount(*item.size);
    return line;
}

QString aboutText(const AppItem &item) {
    return item.localizedDescription
               ? *item.localizedDescription
               : QCoreApplication::translate("AppItemTexts", "No description available.");
}

} // namespace AppItemTexts

#include "ui/appitemtexts.h"

#include "ui/bytecount.h"

using namespace Qt::StringLiterals;

namespace AppItemTexts {

QString sourceLine(const AppItem &item) {
    return item.sourceRepoName ? u"via "_s + *item.sourceRepoName : QString();
}

QString versionLine(const AppItem &item) {
    QString line = u"v"_s + item.version;
    if (item.size)
        line += u" • "_s + formatByteCount(*item.size);
    return line;
}

QString detailLine(const AppItem &item) {
    QString line = item.versionDate ? *item.versionDate : u"Unknown Date"_s;
    if (item.size)
        line += u" • "_s + formatByteCount(*item.size);
    return line;
}

QString aboutText(const AppItem &item) {
    return item.localizedDescription ? *item.localizedDescription : u"No description available."_s;
}

} // namespace AppItemTexts

#include "localecompare.h"

#include <QCollator>
#include <QLocale>

namespace LocaleCompare {

static QCollator &collator() {
    thread_local QCollator collator = [] {
        // The POSIX "C" locale (headless machines, CI) would collate by code point and put "Émile"
        // after "Zoe"; a person expects dictionary order, so use English rules there.
        const QLocale system;
        QCollator c{system.language() == QLocale::C ? QLocale(QLocale::English) : system};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        return c;
    }();
    return collator;
}

int compare(const QString &a, const QString &b) {
    return collator().compare(a, b);
}

QCollatorSortKey sortKey(const QString &text) {
    return collator().sortKey(text);
}

} // namespace LocaleCompare

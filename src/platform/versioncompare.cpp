#include "versioncompare.h"

namespace VersionCompare {

static bool isDigit(char16_t c) noexcept {
    return c >= u'0' && c <= u'9';
}

int compare(QStringView a, QStringView b) noexcept {
    const qsizetype aSize = a.size();
    const qsizetype bSize = b.size();
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < aSize && j < bSize) {
        const char16_t ca = a[i].unicode();
        const char16_t cb = b[j].unicode();
        if (!isDigit(ca) || !isDigit(cb)) {
            // A digit against anything else: every digit code lies between the same two
            // neighbours, so comparing the codes orders the run as a whole consistently.
            if (ca != cb)
                return ca < cb ? -1 : 1;
            ++i;
            ++j;
            continue;
        }
        // Two digit runs: compare their values without converting, so runs of any length work.
        while (i < aSize && a[i] == u'0')
            ++i;
        while (j < bSize && b[j] == u'0')
            ++j;
        qsizetype aEnd = i;
        while (aEnd < aSize && isDigit(a[aEnd].unicode()))
            ++aEnd;
        qsizetype bEnd = j;
        while (bEnd < bSize && isDigit(b[bEnd].unicode()))
            ++bEnd;
        if (aEnd - i != bEnd - j)
            return aEnd - i < bEnd - j ? -1 : 1;
        for (; i < aEnd; ++i, ++j) {
            if (a[i] != b[j])
                return a[i].unicode() < b[j].unicode() ? -1 : 1;
        }
        j = bEnd;
    }
    if (i < aSize)
        return 1;
    if (j < bSize)
        return -1;
    return 0;
}

} // namespace VersionCompare

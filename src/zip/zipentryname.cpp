#include "zip/zipentryname.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace ZipEntryName {

namespace {

const char16_t kCodePage437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

QString decodeCodePage437(QByteArrayView raw) {
    QString name(raw.size(), Qt::Uninitialized);
    QChar *out = name.data();
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = byte < 0x80 ? QChar(char16_t(byte)) : QChar(kCodePage437High[byte - 0x80]);
    }
    return name;
}

bool isDriveLetter(QStringView component) {
    return component.size() >= 2 && component[1] == u':' && component[0].isLetter() &&
           component[0].unicode() < 0x80;
}

} // namespace

QString decode(QByteArrayView raw, bool utf8Flag, bool *invalid) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString name = utf8.decode(raw);
    const bool validUtf8 = !utf8.hasError();
    if (invalid)
        *invalid = utf8Flag && !validUtf8;
    if (validUtf8 || utf8Flag)
        return name;
    return decodeCodePage437(raw);
}

Path parse(const QString &name) {
    Path path;
    if (name.isEmpty()) {
        path.error = u"the name is empty"_s;
        return path;
    }
    if (name.contains(QChar(0))) {
        path.error = u"the name contains a NUL character"_s;
        return path;
    }
    // A backslash is a separator on Windows; refusing it keeps "a\..\..\x" from meaning two
    // different things on two platforms.
    if (name.contains(u'\\')) {
        path.error = u"the name contains a backslash"_s;
        return path;
    }
    if (name.startsWith(u'/')) {
        path.error = u"the path is absolute"_s;
        return path;
    }
    if (isDriveLetter(name)) {
        path.error = u"the path starts with a drive letter"_s;
        return path;
    }
    path.isDirectory = name.endsWith(u'/');
    const QStringView body = path.isDirectory ? QStringView(name).chopped(1) : QStringView(name);
    for (const QStringView component : body.tokenize(u'/')) {
        if (component.isEmpty()) {
            path.error = u"the path has an empty component"_s;
            return path;
        }
        if (component == u"..") {
            path.error = u"the path contains a \"..\" component"_s;
            return path;
        }
        if (component != u".")
            path.components.append(component.toString());
    }
    if (path.components.isEmpty() && !path.isDirectory)
        path.error = u"the name does not name a file"_s;
    return path;
}

} // namespace ZipEntryName

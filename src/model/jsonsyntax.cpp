#include "jsonsyntax.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace Qt::StringLiterals;

namespace JsonSyntax {
namespace {

class Scanner {
public:
    Scanner(QByteArrayView json, int maxDepth)
        : m_text(json)
        , m_maxDepth(maxDepth) {}

    // The first fault, or empty.
    QString run();

private:
    enum class Expect { value, valueOrArrayEnd, keyOrObjectEnd, key, colon, commaOrEnd };

    uchar at(qsizetype i) const { return uchar(m_text[i]); }
    bool atEnd() const { return m_pos >= m_text.size(); }
    void skipWhiteSpace();
    QString fault(const QString &what, qsizetype where) const;
    QString found() const;

    // Each returns a fault or empty, and advances past what it read.
    QString scanString();
    QString scanNumber();
    QString scanLiteral();
    QString scanUtf8Sequence();

    QByteArrayView m_text;
    int m_maxDepth;
    qsizetype m_pos = 0;
};

void Scanner::skipWhiteSpace() {
    while (!atEnd()) {
        const uchar c = at(m_pos);
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return;
        ++m_pos;
    }
}

QString Scanner::fault(const QString &what, qsizetype where) const {
    qsizetype line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < where && i < m_text.size(); ++i) {
        if (m_text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    QString text = what + u" at byte "_s + QString::number(where);
    if (line > 1)
        text += u" (line %1, column %2)"_s.arg(line).arg(where - lineStart + 1);
    return text;
}

QString Scanner::found() const {
    if (atEnd())
        return u"the end of the text"_s;
    const uchar c = at(m_pos);
    if (c >= 0x20 && c < 0x7f)
        return u"'"_s + QChar::fromLatin1(char(c)) + u"'"_s;
    return u"byte 0x"_s + QString::number(c, 16).rightJustified(2, u'0');
}

QString Scanner::scanUtf8Sequence() {
    const qsizetype start = m_pos;
    const uchar lead = at(m_pos);
    int length = 0;
    char32_t minimum = 0;
    char32_t point = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        minimum = 0x80;
        point = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        minimum = 0x800;
        point = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        minimum = 0x10000;
        point = lead & 0x07;
    } else {
        return fault(u"invalid UTF-8 byte 0x"_s + QString::number(lead, 16), start);
    }
    for (int i = 1; i < length; ++i) {
        if (start + i >= m_text.size() || (at(start + i) & 0xc0) != 0x80)
            return fault(u"truncated UTF-8 sequence"_s, start);
        point = (point << 6) | (at(start + i) & 0x3f);
    }
    if (point < minimum || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff))
        return fault(u"invalid UTF-8 sequence"_s, start);
    m_pos += length;
    return {};
}

QString Scanner::scanString() {
    const qsizetype start = m_pos;
    ++m_pos; // opening quote
    while (!atEnd()) {
        const uchar c = at(m_pos);
        if (c == '"') {
            ++m_pos;
            return {};
        }
        if (c < 0x20)
            return fault(u"unescaped control character 0x"_s +
                             QString::number(c, 16).rightJustified(2, u'0') + u" inside a string"_s,
                         m_pos);
        if (c >= 0x80) {
            if (QString error = scanUtf8Sequence(); !error.isEmpty())
                return error;
            continue;
        }
        if (c != '\\') {
            ++m_pos;
            continue;
        }
        const qsizetype escape = m_pos;
        ++m_pos;
        if (atEnd())
            break;
        const uchar kind = at(m_pos);
        if (kind != 'u') {
            if (!QByteArrayView("\"\\/bfnrt").contains(char(kind)))
                return fault(u"invalid escape sequence inside a string"_s, escape);
            ++m_pos;
            continue;
        }
        auto readHex = [this](qsizetype from) -> int {
            if (from + 4 > m_text.size())
                return -1;
            int value = 0;
            for (qsizetype i = from; i < from + 4; ++i) {
                const uchar c = at(i);
                int digit = -1;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                else if (c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                if (digit < 0)
                    return -1;
                value = value * 16 + digit;
            }
            return value;
        };
        const int unit = readHex(m_pos + 1);
        if (unit < 0)
            return fault(u"\\u must be followed by four hexadecimal digits"_s, escape);
        m_pos += 5;
        if (unit >= 0xdc00 && unit <= 0xdfff)
            return fault(u"unpaired UTF-16 surrogate in a \\u escape"_s, escape);
        if (unit >= 0xd800 && unit <= 0xdbff) {
            const int low = (m_pos + 1 < m_text.size() && at(m_pos) == '\\' && at(m_pos + 1) == 'u')
                                ? readHex(m_pos + 2)
                                : -1;
            if (low < 0xdc00 || low > 0xdfff)
                return fault(u"unpaired UTF-16 surrogate in a \\u escape"_s, escape);
            m_pos += 6;
        }
    }
    return fault(u"unterminated string"_s, start);
}

QString Scanner::scanNumber() {
    const qsizetype start = m_pos;
    auto digits = [this] {
        const qsizetype from = m_pos;
        while (!atEnd() && at(m_pos) >= '0' && at(m_pos) <= '9')
            ++m_pos;
        return m_pos - from;
    };
    if (at(m_pos) == '-')
        ++m_pos;
    if (atEnd() || at(m_pos) < '0' || at(m_pos) > '9')
        return fault(u"invalid number"_s, start);
    if (at(m_pos) == '0')
        ++m_pos;
    else
        digits();
    if (!atEnd() && at(m_pos) == '.') {
        ++m_pos;
        if (digits() == 0)
            return fault(u"invalid number: no digits after the decimal point"_s, start);
    }
    if (!atEnd() && (at(m_pos) == 'e' || at(m_pos) == 'E')) {
        ++m_pos;
        if (!atEnd() && (at(m_pos) == '+' || at(m_pos) == '-'))
            ++m_pos;
        if (digits() == 0)
            return fault(u"invalid number: no digits in the exponent"_s, start);
    }
    return {};
}

QString Scanner::scanLiteral() {
    for (const char *word : {"true", "false", "null"}) {
        const QByteArrayView literal(word);
        if (m_text.sliced(m_pos).startsWith(literal)) {
            m_pos += literal.size();
            return {};
        }
    }
    return fault(u"expected a value, found "_s + found(), m_pos);
}

QString Scanner::run() {
    std::vector<char> open; // '{' or '[' per level
    Expect expect = Expect::value;
    // The decoder skips a UTF-8 byte order mark, as editors on some systems write one.
    if (m_text.startsWith("\xef\xbb\xbf"))
        m_pos = 3;
    skipWhiteSpace();
    if (atEnd())
        return u"the text is empty"_s;

    while (true) {
        skipWhiteSpace();
        if (atEnd())
            return fault(u"the text ends before the document is complete"_s, m_pos);
        const uchar c = at(m_pos);
        bool valueDone = false;

        switch (expect) {
        case Expect::valueOrArrayEnd:
            if (c == ']') {
                open.pop_back();
                ++m_pos;
                valueDone = true;
                break;
            }
            [[fallthrough]];
        case Expect::value:
            if (c == '{' || c == '[') {
                open.push_back(char(c));
                if (int(open.size()) > m_maxDepth)
                    return fault(u"nested deeper than %1 levels"_s.arg(m_maxDepth), m_pos);
                ++m_pos;
                expect = c == '{' ? Expect::keyOrObjectEnd : Expect::valueOrArrayEnd;
                break;
            }
            if (c == '"') {
                if (QString error = scanString(); !error.isEmpty())
                    return error;
            } else if (c == '-' || (c >= '0' && c <= '9')) {
                if (QString error = scanNumber(); !error.isEmpty())
                    return error;
            } else if (QString error = scanLiteral(); !error.isEmpty()) {
                return error;
            }
            valueDone = true;
            break;
        case Expect::keyOrObjectEnd:
            if (c == '}') {
                open.pop_back();
                ++m_pos;
                valueDone = true;
                break;
            }
            [[fallthrough]];
        case Expect::key:
            if (c != '"')
                return fault(u"expected a key in double quotes, found "_s + found(), m_pos);
            if (QString error = scanString(); !error.isEmpty())
                return error;
            expect = Expect::colon;
            break;
        case Expect::colon:
            if (c != ':')
                return fault(u"expected ':' after a key, found "_s + found(), m_pos);
            ++m_pos;
            expect = Expect::value;
            break;
        case Expect::commaOrEnd: {
            const bool inObject = open.back() == '{';
            if (c == ',') {
                ++m_pos;
                expect = inObject ? Expect::key : Expect::value;
            } else if (c == (inObject ? '}' : ']')) {
                open.pop_back();
                ++m_pos;
                valueDone = true;
            } else {
                return fault(inObject ? u"expected ',' or '}' after an object member, found "_s + found()
                                      : u"expected ',' or ']' after an array element, found "_s + found(),
                             m_pos);
            }
            break;
        }
        }

        if (!valueDone)
            continue;
        if (open.empty()) {
            skipWhiteSpace();
            if (!atEnd())
                return fault(u"unexpected "_s + found() + u" after the end of the document"_s, m_pos);
            return {};
        }
        expect = Expect::commaOrEnd;
    }
}

enum class Range { fits, integer, real };

// Integers outside the 64-bit range, and numbers too large for a double.
Range rangeOf(const char *begin, const char *end) {
    const std::string literal(begin, end);
    errno = 0;
    if (literal.find_first_of(".eE") == std::string::npos) {
        if (literal.front() == '-')
            std::strtoll(literal.c_str(), nullptr, 10);
        else
            std::strtoull(literal.c_str(), nullptr, 10);
        return errno == ERANGE ? Range::integer : Range::fits;
    }
    return std::isinf(std::strtod(literal.c_str(), nullptr)) ? Range::real : Range::fits;
}

bool isNumberCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

} // namespace

QString describeFirstError(QByteArrayView json, int maxDepth) {
    return Scanner(json, maxDepth).run();
}

bool clampOutOfRangeNumbers(char *text, qsizetype size) {
    // Every such literal is at least as long as its stand-in: an integer beyond the range has 20
    // characters or more, a number beyond a double's range 5 or more ("2e308").
    static constexpr std::string_view largestInteger = "18446744073709551615";
    static constexpr std::string_view largeReal = "1e308";
    bool changed = false;
    char previous = ',';
    for (qsizetype i = 0; i < size;) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < size && text[i] != '"'; ++i) {
                if (text[i] == '\\')
                    ++i;
            }
            ++i;
            previous = '"';
            continue;
        }
        const bool startsValue = previous == ',' || previous == ':' || previous == '[';
        if (startsValue && (c == '-' || (c >= '0' && c <= '9'))) {
            qsizetype end = i + 1;
            while (end < size && isNumberCharacter(text[end]))
                ++end;
            const Range range = rangeOf(text + i, text + end);
            const std::string_view standIn = range == Range::integer ? largestInteger : largeReal;
            if (range != Range::fits && end - i >= qsizetype(standIn.size())) {
                std::memcpy(text + i, standIn.data(), standIn.size());
                std::memset(text + i + standIn.size(), ' ', size_t(end - i) - standIn.size());
                changed = true;
            }
            previous = '0';
            i = end;
            continue;
        }
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            previous = c;
        ++i;
    }
    return changed;
}

} // namespace JsonSyntax

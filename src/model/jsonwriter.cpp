#include "jsonwriter.h"

#include <charconv>

void JsonWriter::separate() {
    if (m_needsComma)
        m_bytes.append(',');
}

void JsonWriter::beginObject() {
    separate();
    m_bytes.append('{');
    m_needsComma = false;
}

void JsonWriter::endObject() {
    m_bytes.append('}');
    m_needsComma = true;
}

void JsonWriter::beginArray() {
    separate();
    m_bytes.append('[');
    m_needsComma = false;
}

void JsonWriter::endArray() {
    m_bytes.append(']');
    m_needsComma = true;
}

void JsonWriter::key(QLatin1StringView name) {
    separate();
    m_bytes.append('"');
    m_bytes.append(name.data(), name.size());
    m_bytes.append("\":", 2);
    m_needsComma = false;
}

void JsonWriter::value(QStringView text) {
    separate();
    m_needsComma = true;

    // Grow once to the worst case (six bytes for an escaped control character), write through a
    // pointer, then cut back: far faster than appending byte by byte.
    const qsizetype start = m_bytes.size();
    m_bytes.resize(start + text.size() * 6 + 2);
    char *out = m_bytes.data() + start;
    *out++ = '"';
    static constexpr char hex[] = "0123456789abcdef";
    const char16_t *c = text.utf16();
    const char16_t *const end = c + text.size();
    for (; c != end; ++c) {
        const char16_t unit = *c;
        if (unit < 0x80) {
            if (unit >= 0x20 && unit != u'"' && unit != u'\\') {
                *out++ = char(unit);
                continue;
            }
            *out++ = '\\';
            switch (unit) {
            case u'"':
                *out++ = '"';
                break;
            case u'\\':
                *out++ = '\\';
                break;
            case u'\b':
                *out++ = 'b';
                break;
            case u'\f':
                *out++ = 'f';
                break;
            case u'\n':
                *out++ = 'n';
                break;
            case u'\r':
                *out++ = 'r';
                break;
            case u'\t':
                *out++ = 't';
                break;
            default:
                *out++ = 'u';
                *out++ = '0';
                *out++ = '0';
                *out++ = hex[unit >> 4];
                *out++ = hex[unit & 0xf];
            }
        } else if (unit < 0x800) {
            *out++ = char(0xc0 | (unit >> 6));
            *out++ = char(0x80 | (unit & 0x3f));
        } else if (QChar::isHighSurrogate(unit) && c + 1 != end && QChar::isLowSurrogate(c[1])) {
            const char32_t point = QChar::surrogateToUcs4(unit, c[1]);
            ++c;
            *out++ = char(0xf0 | (point >> 18));
            *out++ = char(0x80 | ((point >> 12) & 0x3f));
            *out++ = char(0x80 | ((point >> 6) & 0x3f));
            *out++ = char(0x80 | (point & 0x3f));
        } else {
            // A lone surrogate has no UTF-8 form; writing it would make a file we cannot read back.
            const char16_t point = QChar::isSurrogate(unit) ? char16_t(0xfffd) : unit;
            *out++ = char(0xe0 | (point >> 12));
            *out++ = char(0x80 | ((point >> 6) & 0x3f));
            *out++ = char(0x80 | (point & 0x3f));
        }
    }
    *out++ = '"';
    m_bytes.resize(out - m_bytes.constData());
}

void JsonWriter::value(qint64 number) {
    separate();
    m_needsComma = true;
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    m_bytes.append(digits, result.ptr - digits);
}

void JsonWriter::value(bool flag) {
    separate();
    m_needsComma = true;
    if (flag)
        m_bytes.append("true", 4);
    else
        m_bytes.append("false", 5);
}

void JsonWriter::null() {
    separate();
    m_needsComma = true;
    m_bytes.append("null", 4);
}

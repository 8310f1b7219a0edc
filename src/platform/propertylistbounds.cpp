#include "propertylistbounds.h"

#include <cstring>
#include <string_view>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QString malformed() {
    return u"the data is neither an XML nor a binary property list"_s;
}

QString tooDeep() {
    return u"the property list is nested more than %1 levels deep"_s.arg(PropertyListBounds::kMaxDepth);
}

// Where the marker ends, searching from `from`; nullptr when it never does.
const char *pastMarker(const char *from, const char *end, std::string_view marker) {
    const std::string_view rest(from, size_t(end - from));
    const size_t found = rest.find(marker);
    return found == std::string_view::npos ? nullptr : from + found + marker.size();
}

bool startsWith(const char *from, const char *end, std::string_view text) {
    return size_t(end - from) >= text.size() && std::memcmp(from, text.data(), text.size()) == 0;
}

// Walks the tags as libplist's XML reader splits them (no quoting inside tags, "<!--", CDATA
// and DOCTYPE skipped whole) and counts open elements. Any tag libplist would choke on is
// refused here, so the two never disagree about how deep a list goes. The <plist> element and a
// leaf value add two levels to the nesting of arrays and dictionaries.
std::optional<QString> checkXml(QByteArrayView bytes) {
    constexpr int kMaxElementDepth = PropertyListBounds::kMaxDepth + 2;
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    // XML holds no NUL character; in a key, libplist 2.2 would abort on one.
    if (std::memchr(p, '\0', size_t(end - p)))
        return malformed();
    int depth = 0;
    while ((p = static_cast<const char *>(std::memchr(p, '<', size_t(end - p))))) {
        if (++p >= end)
            return malformed();
        if (*p == '?') {
            p = pastMarker(p, end, "?>");
        } else if (startsWith(p, end, "!--")) {
            p = pastMarker(p + 3, end, "-->");
        } else if (startsWith(p, end, "![CDATA[")) {
            p = pastMarker(p + 8, end, "]]>");
        } else if (startsWith(p, end, "!DOCTYPE")) {
            const char *stop = p + 8;
            while (stop < end && *stop != '[' && *stop != '>')
                ++stop;
            p = stop >= end ? nullptr : *stop == '[' ? pastMarker(stop, end, "]>") : stop + 1;
        } else if (*p == '!') {
            return malformed();
        } else if (*p == '/') {
            if (--depth < 0)
                return malformed();
            p = pastMarker(p, end, ">");
        } else {
            const char *close = p;
            while (close < end && *close != '<' && *close != '>')
                ++close;
            if (close >= end || *close == '<')
                return malformed();
            if (close[-1] != '/' && ++depth > kMaxElementDepth)
                return tooDeep();
            p = close + 1;
        }
        if (!p)
            return malformed();
    }
    return std::nullopt;
}

quint64 bigEndian(const uchar *data, int width) {
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | data[i];
    return value;
}

// The objects of a binary list, read from its trailer and offset table, and the references each
// container holds. Out-of-range offsets, widths and references make the list malformed.
class BinaryObjects {
public:
    explicit BinaryObjects(QByteArrayView bytes)
        : m_data(reinterpret_cast<const uchar *>(bytes.data()))
        , m_size(quint64(bytes.size())) {}

    bool readTrailer() {
        constexpr quint64 kHeader = 8;
        constexpr quint64 kTrailer = 32;
        if (m_size < kHeader + kTrailer)
            return false;
        const uchar *trailer = m_data + m_size - kTrailer;
        m_offsetWidth = trailer[6];
        m_referenceWidth = trailer[7];
        m_count = bigEndian(trailer + 8, 8);
        m_root = bigEndian(trailer + 16, 8);
        m_table = bigEndian(trailer + 24, 8);
        m_objectsEnd = m_size - kTrailer;
        return m_offsetWidth >= 1 && m_offsetWidth <= 8 && m_referenceWidth >= 1 && m_referenceWidth <= 8 &&
               m_count > 0 && m_root < m_count && m_table >= kHeader && m_table <= m_objectsEnd &&
               m_count <= (m_objectsEnd - m_table) / quint64(m_offsetWidth);
    }

    quint64 count() const { return m_count; }
    quint64 root() const { return m_root; }

    // The references of object `index`, or false when they cannot be read.
    bool references(quint64 index, std::vector<quint64> *children) const {
        children->clear();
        const quint64 offset = bigEndian(m_data + m_table + index * quint64(m_offsetWidth), m_offsetWidth);
        if (offset >= m_objectsEnd)
            return false;
        const uchar marker = m_data[offset];
        const int type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD)
            return true;
        quint64 position = offset + 1;
        quint64 entries = marker & 0xF;
        if (entries == 0xF) {
            if (position >= m_objectsEnd || m_data[position] >> 4 != 0x1)
                return false;
            const int width = 1 << (m_data[position] & 0xF);
            if (width > 8 || position + 1 + quint64(width) > m_objectsEnd)
                return false;
            entries = bigEndian(m_data + position + 1, width);
            position += 1 + quint64(width);
        }
        const quint64 available = (m_objectsEnd - position) / quint64(m_referenceWidth);
        if (entries > available || (type == 0xD && entries > available / 2))
            return false;
        const quint64 total = type == 0xD ? entries * 2 : entries;
        children->reserve(size_t(total));
        for (quint64 i = 0; i < total; ++i) {
            const quint64 child =
                bigEndian(m_data + position + i * quint64(m_referenceWidth), m_referenceWidth);
            if (child >= m_count || (type == 0xD && i < entries && !isPlainKey(child)))
                return false;
            children->push_back(child);
        }
        return true;
    }

    // A dictionary key libplist 2.2 can hand out: a string without NUL characters (it asserts
    // that a key's length is its C string length, and aborts the process otherwise).
    bool isPlainKey(quint64 index) const {
        const quint64 offset = bigEndian(m_data + m_table + index * quint64(m_offsetWidth), m_offsetWidth);
        if (offset >= m_objectsEnd)
            return false;
        const int type = m_data[offset] >> 4;
        if (type != 0x5 && type != 0x6)
            return false;
        quint64 position = offset + 1;
        quint64 length = m_data[offset] & 0xF;
        if (length == 0xF) {
            if (position >= m_objectsEnd || m_data[position] >> 4 != 0x1)
                return false;
            const int width = 1 << (m_data[position] & 0xF);
            if (width > 8 || position + 1 + quint64(width) > m_objectsEnd)
                return false;
            length = bigEndian(m_data + position + 1, width);
            position += 1 + quint64(width);
        }
        const quint64 unit = type == 0x6 ? 2 : 1;
        if (length > (m_objectsEnd - position) / unit)
            return false;
        for (quint64 i = 0; i < length; ++i) {
            if ((unit == 1 && m_data[position + i] == 0) ||
                (unit == 2 && m_data[position + 2 * i] == 0 && m_data[position + 2 * i + 1] == 0))
                return false;
        }
        return true;
    }

private:
    const uchar *m_data;
    quint64 m_size;
    int m_offsetWidth = 0;
    int m_referenceWidth = 0;
    quint64 m_count = 0;
    quint64 m_root = 0;
    quint64 m_table = 0;
    quint64 m_objectsEnd = 0;
};

// Depth and expanded size of the tree under the root, each object measured once (a list may
// share objects, and libplist copies a shared object at every reference). A cycle is refused.
std::optional<QString> checkBinary(QByteArrayView bytes) {
    BinaryObjects objects(bytes);
    if (!objects.readTrailer())
        return malformed();
    enum class State : char { unseen, open, done };
    struct Measure {
        int depth = 1;
        qint64 values = 1;
    };
    struct Frame {
        quint64 index;
        std::vector<quint64> children;
        size_t next = 0;
    };
    std::vector<State> states(size_t(objects.count()), State::unseen);
    std::vector<Measure> measures(size_t(objects.count()));
    std::vector<Frame> stack;
    const auto enter = [&](quint64 index) {
        Frame frame{index, {}};
        if (!objects.references(index, &frame.children))
            return false;
        states[size_t(index)] = State::open;
        stack.push_back(std::move(frame));
        return true;
    };
    if (!enter(objects.root()))
        return malformed();
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next == frame.children.size()) {
            states[size_t(frame.index)] = State::done;
            stack.pop_back();
            continue;
        }
        const quint64 child = frame.children[frame.next++];
        Measure &parent = measures[size_t(frame.index)];
        switch (states[size_t(child)]) {
        case State::open:
            return u"the property list refers to itself"_s;
        case State::unseen:
            // Measured when it closes; the parent takes its figures on the way back.
            --frame.next;
            if (!enter(child))
                return malformed();
            if (int(stack.size()) > PropertyListBounds::kMaxDepth + 1)
                return tooDeep();
            break;
        case State::done:
            parent.depth = std::max(parent.depth, measures[size_t(child)].depth + 1);
            parent.values += measures[size_t(child)].values;
            if (parent.values > PropertyListBounds::kMaxValues)
                return u"the property list expands to more than %1 values"_s.arg(
                    PropertyListBounds::kMaxValues);
            break;
        }
    }
    return std::nullopt;
}

} // namespace

namespace PropertyListBounds {

std::optional<QString> check(QByteArrayView bytes) {
    if (bytes.size() > kMaxBytes)
        return u"the property list is larger than %1 bytes"_s.arg(kMaxBytes);
    if (bytes.startsWith("bplist00"))
        return checkBinary(bytes);
    return checkXml(bytes);
}

} // namespace PropertyListBounds

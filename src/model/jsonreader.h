#pragma once

// Shared by the decoders of model/ only: typed, path-aware reading of a simdjson document.
// Every fault throws JsonReader::Failure with a description naming where and what; the public
// decode functions catch it and return a DecodeError, so no exception leaves model/.

#include "model/decoderesult.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <simdjson.h>

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace JsonReader {

struct Failure {
    QString description;
};

// Where a value sits in the document, e.g. apps[3].version. Lives on the stack while its value
// is read; turned into text only when something fails.
struct Path {
    const Path *parent = nullptr;
    std::string_view key;
    qsizetype index = -1;

    Path field(std::string_view name) const { return Path{this, name, -1}; }
    Path element(qsizetype i) const { return Path{this, {}, i}; }
    QString text() const;
};

[[noreturn]] void fail(const Path &at, const QString &what);

// "an object", "a number", "null", ...
QString typeName(simdjson::dom::element value);

inline QString toQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// Remembers the last text read for one field and hands out the same shared string while the
// text repeats. The versions of one app follow each other in a feed and repeat its name, icon,
// description and screenshots, and every cached app of a repository repeats its name: sharing
// saves most of the decoding's allocations and much of the memory the apps hold afterwards.
// Comparing with the previous entry costs next to nothing, where hashing every text did not pay.
// The remembered text points into the parser's memory, so one lives for one document.
class RepeatedText {
public:
    QString get(std::string_view utf8) {
        if (!m_valid || utf8 != m_text) {
            m_value = toQString(utf8);
            m_text = utf8;
            m_valid = true;
        }
        return m_value;
    }

private:
    std::string_view m_text;
    QString m_value;
    bool m_valid = false;
};

// The same for a list of texts.
class RepeatedTextList {
public:
    // Nothing unless every element is a string.
    std::optional<QStringList> get(simdjson::dom::array array);

private:
    std::vector<std::string_view> m_texts;
    std::vector<std::string_view> m_reading;
    QStringList m_value;
    bool m_valid = false;
};

// The keys a decoder knows, found by a small hash instead of comparing each member's key with
// every known key in turn (a feed has tens of thousands of entries).
template<size_t N>
class KeySet {
public:
    constexpr explicit KeySet(const std::array<std::string_view, N> &keys)
        : m_keys(keys) {
        m_buckets.fill(none);
        for (size_t i = 0; i < N; ++i) {
            int &bucket = m_buckets[bucketOf(keys[i])];
            bucket = bucket == none ? int(i) : shared;
        }
    }

    std::string_view operator[](size_t i) const { return m_keys[i]; }

    // The index of `key`, or -1.
    int indexOf(std::string_view key) const {
        const int bucket = m_buckets[bucketOf(key)];
        if (bucket >= 0)
            return m_keys[size_t(bucket)] == key ? bucket : none;
        if (bucket == none)
            return none;
        for (size_t i = 0; i < N; ++i) {
            if (m_keys[i] == key)
                return int(i);
        }
        return none;
    }

private:
    static constexpr int none = -1;
    static constexpr int shared = -2;
    static constexpr size_t bucketOf(std::string_view key) {
        return key.empty()
                   ? 0
                   : (key.size() * 7 + size_t(uchar(key.front())) * 3 + size_t(uchar(key.back()))) & 63;
    }

    std::array<std::string_view, N> m_keys;
    std::array<int, 64> m_buckets{};
};

// The values of one object under the keys a decoder knows, in one pass over its members. A key
// that occurs twice keeps its first value.
template<size_t N>
class Fields {
public:
    Fields(simdjson::dom::object object, const KeySet<N> &keys) {
        for (const simdjson::dom::key_value_pair member : object) {
            const int i = keys.indexOf(member.key);
            if (i >= 0 && !m_present[size_t(i)]) {
                m_values[size_t(i)] = member.value;
                m_present[size_t(i)] = true;
            }
        }
    }

    // Nothing when the key is missing.
    std::optional<simdjson::dom::element> operator[](size_t i) const {
        return m_present[i] ? std::optional(m_values[i]) : std::nullopt;
    }

private:
    std::array<simdjson::dom::element, N> m_values{};
    std::array<bool, N> m_present{};
};

using Value = std::optional<simdjson::dom::element>;

inline bool isNull(const Value &value) {
    return !value || value->is_null();
}

simdjson::dom::object requireObject(simdjson::dom::element value, const Path &at);
simdjson::dom::array requireArray(simdjson::dom::element value, const Path &at);

// Missing or null fails. With `repeated`, a text equal to the previous one comes back shared.
QString requiredString(const Value &value, const Path &at, RepeatedText *repeated = nullptr);
// Missing or null gives nothing; another type fails.
std::optional<QString> optionalString(const Value &value, const Path &at, RepeatedText *repeated = nullptr);
std::optional<qint64> optionalInt64(const Value &value, const Path &at);
std::optional<bool> optionalBool(const Value &value, const Path &at);
std::optional<simdjson::dom::array> optionalArray(const Value &value, const Path &at);
std::optional<simdjson::dom::object> optionalObject(const Value &value, const Path &at);
// A string that is not a valid URL fails like a wrong type.
std::optional<QUrl> optionalUrl(const Value &value, const Path &at);

// For keys with alternatives: nothing, without failing, unless the value has the right type.
std::optional<QString> stringIfString(const Value &value, RepeatedText *repeated = nullptr);
std::optional<QStringList> stringListIfStrings(const Value &value, RepeatedTextList *repeated = nullptr);

// Parses the whole text and hands its root to `read`, turning every fault into a DecodeError.
// Syntax faults are located by byte offset.
template<typename T, typename Read>
DecodeResult<T> decode(QByteArrayView json, Read read);

// Implementation detail of decode(): the parse, with syntax faults as a Failure.
simdjson::dom::element parseDocument(simdjson::dom::parser &parser, QByteArrayView json);
simdjson::dom::parser &threadParser();
void releaseLargeParser();

// What the calling thread keeps for its next document: parser and input buffer, in bytes.
size_t threadWorkingMemory();

template<typename T, typename Read>
DecodeResult<T> decode(QByteArrayView json, Read read) {
    try {
        const simdjson::dom::element root = parseDocument(threadParser(), json);
        DecodeResult<T> result = read(root, Path{});
        releaseLargeParser();
        return result;
    } catch (const Failure &failure) {
        releaseLargeParser();
        return DecodeError{failure.description};
    }
}

} // namespace JsonReader

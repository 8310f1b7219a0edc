#include "jsonreader.h"

#include "model/jsonsyntax.h"
#include "model/urltext.h"

#include <algorithm>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace JsonReader {
namespace {

// Ten times the largest repository file we plan for, and small enough that the decoder's working
// memory (a few times the text) stays reasonable.
constexpr qsizetype maxDocumentBytes = qsizetype(256) << 20;
// Each decoding thread keeps its parser and input buffer, so that fetching many feeds does not
// allocate (and fault in) fresh working memory every time; after a document larger than this
// they are given back.
constexpr size_t keptCapacity = size_t(16) << 20;

thread_local std::unique_ptr<simdjson::dom::parser> t_parser;

// The parser reads a little past the end of its input, so the text is copied into a padded buffer;
// keeping that buffer avoids a large allocation (and its page faults) for every document.
struct PaddedInput {
    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;

    const char *copy(QByteArrayView json) {
        const size_t needed = size_t(json.size()) + simdjson::SIMDJSON_PADDING;
        if (needed > capacity) {
            capacity = std::max(needed, capacity + capacity / 2);
            bytes.reset(new char[capacity]);
        }
        if (!json.isEmpty())
            std::memcpy(bytes.get(), json.data(), size_t(json.size()));
        std::memset(bytes.get() + json.size(), 0, simdjson::SIMDJSON_PADDING);
        return bytes.get();
    }

    void release() {
        bytes.reset();
        capacity = 0;
    }
};
thread_local PaddedInput t_input;

} // namespace

std::optional<QStringList> RepeatedTextList::get(simdjson::dom::array array) {
    m_reading.clear();
    for (const simdjson::dom::element element : array) {
        std::string_view text;
        if (element.get_string().get(text) != simdjson::SUCCESS)
            return std::nullopt;
        m_reading.push_back(text);
    }
    if (!m_valid || m_reading != m_texts) {
        m_value.clear();
        m_value.reserve(qsizetype(m_reading.size()));
        for (std::string_view text : m_reading)
            m_value.append(toQString(text));
        std::swap(m_texts, m_reading);
        m_valid = true;
    }
    return m_value;
}

QString Path::text() const {
    if (!parent)
        return u"top level"_s;
    QString text = parent->parent ? parent->text() : QString();
    if (index >= 0)
        return text + u'[' + QString::number(index) + u']';
    if (!text.isEmpty())
        text += u'.';
    return text + toQString(key);
}

void fail(const Path &at, const QString &what) {
    throw Failure{at.text() + u": "_s + what};
}

QString typeName(simdjson::dom::element value) {
    switch (value.type()) {
    case simdjson::dom::element_type::ARRAY:
        return u"an array"_s;
    case simdjson::dom::element_type::OBJECT:
        return u"an object"_s;
    case simdjson::dom::element_type::INT64:
    case simdjson::dom::element_type::UINT64:
    case simdjson::dom::element_type::DOUBLE:
        return u"a number"_s;
    case simdjson::dom::element_type::STRING:
        return u"a string"_s;
    case simdjson::dom::element_type::BOOL:
        return u"a boolean"_s;
    case simdjson::dom::element_type::NULL_VALUE:
        return u"null"_s;
    }
    return u"an unknown value"_s;
}

namespace {

[[noreturn]] void failType(simdjson::dom::element value, const QString &expected, const Path &at) {
    fail(at, u"expected "_s + expected + u", found "_s + typeName(value));
}

[[noreturn]] void failMissing(const QString &expected, const Path &at) {
    fail(at, u"expected "_s + expected + u", but the key is missing"_s);
}

} // namespace

simdjson::dom::object requireObject(simdjson::dom::element value, const Path &at) {
    simdjson::dom::object object;
    if (value.get_object().get(object) != simdjson::SUCCESS)
        failType(value, u"an object"_s, at);
    return object;
}

simdjson::dom::array requireArray(simdjson::dom::element value, const Path &at) {
    simdjson::dom::array array;
    if (value.get_array().get(array) != simdjson::SUCCESS)
        failType(value, u"an array"_s, at);
    return array;
}

namespace {

QString makeString(std::string_view utf8, RepeatedText *repeated) {
    return repeated ? repeated->get(utf8) : toQString(utf8);
}

} // namespace

QString requiredString(const Value &value, const Path &at, RepeatedText *repeated) {
    if (!value)
        failMissing(u"a string"_s, at);
    std::string_view text;
    if (value->get_string().get(text) != simdjson::SUCCESS)
        failType(*value, u"a string"_s, at);
    return makeString(text, repeated);
}

std::optional<QString> optionalString(const Value &value, const Path &at, RepeatedText *repeated) {
    if (isNull(value))
        return std::nullopt;
    std::string_view text;
    if (value->get_string().get(text) != simdjson::SUCCESS)
        failType(*value, u"a string"_s, at);
    return makeString(text, repeated);
}

std::optional<qint64> optionalInt64(const Value &value, const Path &at) {
    if (isNull(value))
        return std::nullopt;
    switch (value->type()) {
    case simdjson::dom::element_type::INT64:
        return qint64(int64_t(*value));
    case simdjson::dom::element_type::UINT64:
        fail(at, u"expected an integer, found a number beyond the signed 64-bit range"_s);
    case simdjson::dom::element_type::DOUBLE:
        fail(at, u"expected an integer, found a number with a fraction or an exponent"_s);
    default:
        failType(*value, u"an integer"_s, at);
    }
}

std::optional<bool> optionalBool(const Value &value, const Path &at) {
    if (isNull(value))
        return std::nullopt;
    bool flag = false;
    if (value->get_bool().get(flag) != simdjson::SUCCESS)
        failType(*value, u"a boolean"_s, at);
    return flag;
}

std::optional<simdjson::dom::array> optionalArray(const Value &value, const Path &at) {
    if (isNull(value))
        return std::nullopt;
    return requireArray(*value, at);
}

std::optional<simdjson::dom::object> optionalObject(const Value &value, const Path &at) {
    if (isNull(value))
        return std::nullopt;
    return requireObject(*value, at);
}

std::optional<QUrl> optionalUrl(const Value &value, const Path &at) {
    const std::optional<QString> text = optionalString(value, at);
    if (!text)
        return std::nullopt;
    std::optional<QUrl> url = UrlText::toUrl(*text);
    if (!url) {
        // The whole text helps the user find the line, up to a point.
        const QString shown = text->size() > 100 ? text->left(100) + u"…"_s : *text;
        fail(at, u"expected a URL, found the text \""_s + shown + u"\", which is not one"_s);
    }
    return url;
}

std::optional<QString> stringIfString(const Value &value, RepeatedText *repeated) {
    std::string_view text;
    if (!value || value->get_string().get(text) != simdjson::SUCCESS)
        return std::nullopt;
    return makeString(text, repeated);
}

std::optional<QStringList> stringListIfStrings(const Value &value, RepeatedTextList *repeated) {
    simdjson::dom::array array;
    if (!value || value->get_array().get(array) != simdjson::SUCCESS)
        return std::nullopt;
    if (repeated)
        return repeated->get(array);
    QStringList list;
    for (const simdjson::dom::element element : array) {
        std::string_view text;
        if (element.get_string().get(text) != simdjson::SUCCESS)
            return std::nullopt;
        list.append(toQString(text));
    }
    return list;
}

simdjson::dom::parser &threadParser() {
    if (!t_parser)
        t_parser = std::make_unique<simdjson::dom::parser>();
    return *t_parser;
}

void releaseLargeParser() {
    if (t_parser && t_parser->capacity() > keptCapacity)
        t_parser.reset();
    if (t_input.capacity > keptCapacity)
        t_input.release();
}

size_t threadWorkingMemory() {
    return (t_parser ? t_parser->capacity() : 0) + t_input.capacity;
}

simdjson::dom::element parseDocument(simdjson::dom::parser &parser, QByteArrayView json) {
    if (json.size() > maxDocumentBytes)
        throw Failure{u"the document is larger than %1 MB"_s.arg(maxDocumentBytes >> 20)};
    // Editors on some systems start UTF-8 files with a byte order mark; it carries no content.
    const QByteArrayView text = json.startsWith("\xef\xbb\xbf") ? json.sliced(3) : json;
    const char *input = t_input.copy(text);
    simdjson::dom::element root;
    simdjson::error_code error = parser.parse(input, size_t(text.size()), false).get(root);
    // Valid JSON all the same, and harmless wherever nobody reads the value: the numbers are
    // replaced, in our copy, by ones the parser holds and that keep saying "out of range".
    if (error == simdjson::NUMBER_ERROR &&
        JsonSyntax::clampOutOfRangeNumbers(t_input.bytes.get(), text.size()))
        error = parser.parse(input, size_t(text.size()), false).get(root);
    if (error == simdjson::SUCCESS)
        return root;
    if (error == simdjson::MEMALLOC || error == simdjson::CAPACITY)
        throw Failure{u"the document is too large to decode"_s};
    QString where = JsonSyntax::describeFirstError(json, int(parser.max_depth()));
    if (where.isEmpty())
        where = QString::fromUtf8(simdjson::error_message(error));
    throw Failure{u"not valid JSON: "_s + where};
}

} // namespace JsonReader

#include "propertylist.h"

#include "platform/atomicfile.h"
#include "platform/propertylistbounds.h"

#include <QDateTime>
#include <QFile>

#include <plist/plist.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct MallocFree {
    void operator()(char *text) const { std::free(text); }
};
using MallocText = std::unique_ptr<char, MallocFree>;

// Property-list dates count seconds from this moment.
const QDateTime &referenceDate() {
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

// Deeper nesting than any real property list has; keeps a hostile file from exhausting the stack.
constexpr int kMaxDepth = PropertyListBounds::kMaxDepth;

void setError(QString *error, const QString &text) {
    if (error)
        *error = text;
}

QString joinPath(const QString &path, const QString &key) {
    return path.isEmpty() ? key : path + u'/' + key;
}

QDateTime dateValue(plist_t node) {
    int32_t seconds = 0;
    int32_t microseconds = 0;
    plist_get_date_val(node, &seconds, &microseconds);
    if (seconds != std::numeric_limits<int32_t>::min() && seconds != std::numeric_limits<int32_t>::max())
        return referenceDate().addMSecs(qint64(seconds) * 1000 + microseconds / 1000);

    // libplist 2.2 hands dates out as 32-bit seconds and saturates those beyond about 68 years
    // from 2001, but its XML writer still renders them exactly: take the date from there.
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    const MallocText owned(xml);
    if (!xml)
        return {};
    const QByteArray text(xml, length);
    const qsizetype start = text.indexOf("<date>");
    const qsizetype end = text.indexOf("</date>");
    if (start < 0 || end < start)
        return {};
    const QByteArray iso = text.mid(start + 6, end - start - 6);
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC();
}

std::optional<QVariant> toVariant(plist_t node, int depth, QString *error) {
    if (depth > kMaxDepth) {
        setError(error, u"the property list is nested too deeply"_s);
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iterator, &key, &value);
            const MallocText ownedKey(key);
            if (!value)
                break;
            auto converted = toVariant(value, depth + 1, error);
            if (!converted) {
                std::free(iterator);
                return std::nullopt;
            }
            map.insert(QString::fromUtf8(key ? key : ""), std::move(*converted));
        }
        std::free(iterator);
        return QVariant(map);
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t size = plist_array_get_size(node);
        list.reserve(size);
        for (uint32_t i = 0; i < size; ++i) {
            auto converted = toVariant(plist_array_get_item(node, i), depth + 1, error);
            if (!converted)
                return std::nullopt;
            list.append(std::move(*converted));
        }
        return QVariant(list);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(node, &length);
        return QVariant(QString::fromUtf8(text ? text : "", text ? qsizetype(length) : 0));
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return QVariant(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // libplist 2.2 keeps every integer unsigned; negative numbers come back as their
        // two's-complement bits.
        return QVariant(qint64(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QVariant(value);
    }
    case PLIST_DATE: {
        const QDateTime date = dateValue(node);
        if (!date.isValid()) {
            setError(error, u"the property list holds a date that cannot be read"_s);
            return std::nullopt;
        }
        return QVariant(date);
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char *bytes = plist_get_data_ptr(node, &length);
        return QVariant(QByteArray(bytes, bytes ? qsizetype(length) : 0));
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return QVariant(QVariantMap{{u"CF$UID"_s, qint64(value)}});
    }
    case PLIST_NONE:
        break;
    }
    setError(error, u"the property list holds a value of an unknown type"_s);
    return std::nullopt;
}

PlistPtr toNode(const QVariant &value, const QString &path, int depth, QString *error) {
    const auto fail = [&](const QString &why) {
        setError(error, u"Cannot write the value at \"%1\" as a property list: %2"_s.arg(path, why));
        return PlistPtr();
    };
    if (depth > kMaxDepth)
        return fail(u"nested too deeply"_s);

    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        PlistPtr dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            PlistPtr child = toNode(it.value(), joinPath(path, it.key()), depth + 1, error);
            if (!child)
                return {};
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child.release());
        }
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        PlistPtr array(plist_new_array());
        const QVariantList list = value.toList();
        for (qsizetype i = 0; i < list.size(); ++i) {
            PlistPtr child = toNode(list.at(i), joinPath(path, QString::number(i)), depth + 1, error);
            if (!child)
                return {};
            plist_array_append_item(array.get(), child.release());
        }
        return array;
    }
    case QMetaType::QString:
        return PlistPtr(plist_new_string(value.toString().toUtf8().constData()));
    case QMetaType::Bool:
        return PlistPtr(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return PlistPtr(plist_new_uint(uint64_t(value.toLongLong())));
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return PlistPtr(plist_new_uint(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return PlistPtr(plist_new_real(value.toDouble()));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return PlistPtr(plist_new_data(bytes.constData(), uint64_t(bytes.size())));
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (!date.isValid())
            return fail(u"the date is not valid"_s);
        const qint64 milliseconds = referenceDate().msecsTo(date);
        const qint64 seconds = milliseconds >= 0 ? milliseconds / 1000 : -((-milliseconds + 999) / 1000);
        if (seconds <= std::numeric_limits<int32_t>::min() || seconds >= std::numeric_limits<int32_t>::max())
            return fail(u"the date lies too far from 2001"_s);
        const auto microseconds = int32_t((milliseconds - seconds * 1000) * 1000);
        return PlistPtr(plist_new_date(int32_t(seconds), microseconds));
    }
    default:
        break;
    }
    return fail(u"a value of type %1 has no property-list form"_s.arg(QString::fromLatin1(value.typeName())));
}

} // namespace

namespace PropertyList {

std::optional<QVariant> parse(const QByteArray &bytes, QString *error) {
    if (bytes.isEmpty()) {
        setError(error, u"the data is empty"_s);
        return std::nullopt;
    }
    if (const auto refused = PropertyListBounds::check(bytes)) {
        setError(error, *refused);
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    const PlistPtr owned(root);
    if (!root) {
        setError(error, u"the data is neither an XML nor a binary property list"_s);
        return std::nullopt;
    }
    return toVariant(root, 0, error);
}

std::optional<QVariant> read(const QString &path, QString *error) {
    const auto fail = [&](const QString &why) {
        setError(error, u"Cannot read \"%1\": %2"_s.arg(path, why));
        return std::nullopt;
    };
    // A link could lead into another app's folder, and a FIFO would block the open.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno == ELOOP ? u"it is a symbolic link"_s
                                   : QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return fail(u"it is not a regular file"_s);
    // One byte beyond the limit tells a file that is too large, whatever its size claims.
    const QByteArray bytes = file.read(PropertyListBounds::kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    QString why;
    auto value = parse(bytes, &why);
    if (!value)
        return fail(why);
    return value;
}

std::optional<QVariantMap> readDictionary(const QString &path, QString *error) {
    auto value = read(path, error);
    if (!value)
        return std::nullopt;
    if (value->typeId() != QMetaType::QVariantMap) {
        setError(error, u"Cannot read \"%1\": its root is not a dictionary"_s.arg(path));
        return std::nullopt;
    }
    return value->toMap();
}

std::optional<QByteArray> toXml(const QVariantMap &dictionary, QString *error) {
    const PlistPtr root = toNode(QVariant(dictionary), QString(), 0, error);
    if (!root)
        return std::nullopt;
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    const MallocText owned(xml);
    if (!xml) {
        setError(error, u"Cannot write the property list as XML"_s);
        return std::nullopt;
    }
    return QByteArray(xml, qsizetype(length));
}

bool writeXml(const QString &path, const QVariantMap &dictionary, QString *error) {
    const auto xml = toXml(dictionary, error);
    if (!xml)
        return false;
    // A link placed in an app's folder must not stand for its metadata: replacing it would leave
    // the app's real file unwritten while the write reports success.
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        setError(error, u"Cannot write \"%1\": it is not a regular file"_s.arg(path));
        return false;
    }
    return AtomicFile::write(path, *xml, error);
}

} // namespace PropertyList

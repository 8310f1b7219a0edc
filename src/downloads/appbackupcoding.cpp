#include "appbackupcoding.h"

#include "model/jsonwriter.h"

#include <simdjson.h>

#include <charconv>
#include <cmath>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

// 2001-01-01 00:00:00 UTC in milliseconds since the Unix epoch.
constexpr qint64 kReferenceDateMSecs = 978307200000;
// Far beyond any real backup, well inside what QDateTime holds.
constexpr double kLargestSeconds = 1e13;

// The writer's own escaping, for one string.
QByteArray jsonString(const QString &text) {
    JsonWriter writer;
    writer.value(text);
    return writer.takeBytes();
}

void appendMember(QByteArray &out, std::string_view key, const QByteArray &value) {
    if (!out.endsWith('{'))
        out.append(',');
    out.append('"').append(key.data(), qsizetype(key.size())).append("\":", 2).append(value);
}

QByteArray number(double value) {
    char digits[32];
    // Shortest text that reads back as the same double.
    const auto result = std::to_chars(digits, digits + sizeof digits, std::isfinite(value) ? value : 0.0);
    return QByteArray(digits, result.ptr - digits);
}

std::optional<QString> stringMember(simdjson::dom::object object, std::string_view key) {
    std::string_view text;
    if (object[key].get_string().get(text) != simdjson::SUCCESS)
        return std::nullopt;
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Integers count too: a date a second apart from the reference is written without a fraction.
std::optional<double> numberMember(simdjson::dom::object object, std::string_view key) {
    double number = 0;
    if (object[key].get_double().get(number) != simdjson::SUCCESS)
        return std::nullopt;
    return number;
}

std::optional<AppBackup> decodeRecord(simdjson::dom::element element) {
    simdjson::dom::object object;
    if (element.get_object().get(object) != simdjson::SUCCESS)
        return std::nullopt;
    AppBackup backup;
    const auto bundleID = stringMember(object, "bundleID");
    const auto appName = stringMember(object, "appName");
    const auto backupPath = stringMember(object, "backupPath");
    const auto originalInstallPath = stringMember(object, "originalInstallPath");
    const auto seconds = numberMember(object, "date");
    bool hadLCAppInfo = false;
    if (!bundleID || !appName || !backupPath || !originalInstallPath || !seconds ||
        std::abs(*seconds) > kLargestSeconds ||
        object["hadLCAppInfo"].get_bool().get(hadLCAppInfo) != simdjson::SUCCESS)
        return std::nullopt;

    // A missing or null version is an absent one; any other type is a broken record.
    simdjson::dom::element version;
    if (object["version"].get(version) == simdjson::SUCCESS && !version.is_null()) {
        const auto text = stringMember(object, "version");
        if (!text)
            return std::nullopt;
        backup.version = *text;
    }

    backup.bundleID = *bundleID;
    backup.appName = *appName;
    backup.backupPath = *backupPath;
    backup.originalInstallPath = *originalInstallPath;
    backup.date = AppBackupCoding::dateFromReferenceSeconds(*seconds);
    backup.hadLCAppInfo = hadLCAppInfo;
    return backup;
}

} // namespace

namespace AppBackupCoding {

double secondsSinceReferenceDate(const QDateTime &date) {
    return double(date.toMSecsSinceEpoch() - kReferenceDateMSecs) / 1000.0;
}

QDateTime dateFromReferenceSeconds(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(kReferenceDateMSecs + qint64(std::llround(seconds * 1000.0)),
                                          Qt::UTC);
}

QByteArray encode(const QList<AppBackup> &backups) {
    QByteArray out("[");
    for (const AppBackup &backup : backups) {
        if (out.size() > 1)
            out.append(',');
        out.append('{');
        appendMember(out, "bundleID", jsonString(backup.bundleID));
        appendMember(out, "appName", jsonString(backup.appName));
        if (backup.version)
            appendMember(out, "version", jsonString(*backup.version));
        appendMember(out, "backupPath", jsonString(backup.backupPath));
        appendMember(out, "originalInstallPath", jsonString(backup.originalInstallPath));
        appendMember(out, "date", number(secondsSinceReferenceDate(backup.date)));
        appendMember(out, "hadLCAppInfo", backup.hadLCAppInfo ? QByteArray("true") : QByteArray("false"));
        out.append('}');
    }
    out.append(']');
    return out;
}

std::optional<QList<AppBackup>> decode(QByteArrayView json) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(json.data(), size_t(json.size())).get(root) != simdjson::SUCCESS)
        return std::nullopt;
    simdjson::dom::array array;
    if (root.get_array().get(array) != simdjson::SUCCESS)
        return std::nullopt;
    QList<AppBackup> backups;
    for (const simdjson::dom::element element : array) {
        auto backup = decodeRecord(element);
        if (!backup)
            return std::nullopt;
        backups.append(std::move(*backup));
    }
    return backups;
}

} // namespace AppBackupCoding

#pragma once

#include "downloads/appbackup.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

// The stored form of the pending update backups: a compact JSON array of records, fields in
// declaration order, "date" as seconds since 2001-01-01 00:00:00 UTC (a floating-point number) and
// "version" left out when absent.
namespace AppBackupCoding {

QByteArray encode(const QList<AppBackup> &backups);

// Nothing when the text is not such an array; one bad record spoils the whole list, as the list
// is written whole.
std::optional<QList<AppBackup>> decode(QByteArrayView json);

// Seconds between the reference date (2001-01-01 00:00:00 UTC) and the date, and back.
double secondsSinceReferenceDate(const QDateTime &date);
QDateTime dateFromReferenceSeconds(double seconds);

} // namespace AppBackupCoding

#pragma once

#include <QString>

// Byte counts as a file manager writes them: decimal units, "Zero KB" for nothing, whole
// kilobytes, one decimal for megabytes and two above ("12 KB", "4.3 MB", "1.25 GB").
QString formatByteCount(qint64 bytes);

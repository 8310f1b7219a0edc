#pragma once

// Shared by the feed and the stored form: both read app entries by the same rules, so a stored
// item reads back exactly as written.

#include "model/appitem.h"
#include "model/jsonreader.h"

#include <QList>

namespace AppItemDecoding {

// Texts that repeat from one entry to the next come back as one shared string.
QList<AppItem> readList(simdjson::dom::array entries, const JsonReader::Path &at);

} // namespace AppItemDecoding

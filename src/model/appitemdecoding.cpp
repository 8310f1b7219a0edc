#include "appitemdecoding.h"

using namespace Qt::StringLiterals;
using namespace JsonReader;

namespace AppItemDecoding {
namespace {

enum Key {
    name,
    bundleIdentifier,
    bundleID,
    version,
    versionDate,
    size,
    downloadURL,
    iconURL,
    icon,
    localizedDescription,
    screenshotURLs,
    screenshots,
    sourceRepoName,
    keyCount
};

constexpr KeySet<keyCount> keys({"name", "bundleIdentifier", "bundleID", "version", "versionDate", "size",
                                 "downloadURL", "iconURL", "icon", "localizedDescription", "screenshotURLs",
                                 "screenshots", "sourceRepoName"});

// Fills a default-constructed item in place: tens of thousands of entries per feed.
void readInto(AppItem &item, simdjson::dom::element entry, const Path &at) {
    const Fields<keyCount> fields(requireObject(entry, at), keys);
    auto path = [&at](Key key) {
        return at.field(keys[key]);
    };

    item.name = requiredString(fields[name], path(name));
    // Publishers spell the bundle identifier two ways; neither is worth failing a feed over.
    if (auto text = stringIfString(fields[bundleIdentifier]))
        item.bundleIdentifier = *text;
    else if (auto alternative = stringIfString(fields[bundleID]))
        item.bundleIdentifier = *alternative;
    else
        item.bundleIdentifier = u"unknown.bundle.id"_s;
    item.version = requiredString(fields[version], path(version));
    item.versionDate = optionalString(fields[versionDate], path(versionDate));
    item.size = optionalInt64(fields[size], path(size));
    item.downloadURL = requiredString(fields[downloadURL], path(downloadURL));
    if (auto text = stringIfString(fields[iconURL]))
        item.iconURL = *text;
    else
        item.iconURL = optionalString(fields[icon], path(icon));
    item.localizedDescription = optionalString(fields[localizedDescription], path(localizedDescription));
    if (auto list = stringListIfStrings(fields[screenshotURLs]))
        item.screenshotURLs = *list;
    else if (auto alternative = stringListIfStrings(fields[screenshots]))
        item.screenshotURLs = *alternative;
    item.sourceRepoName = optionalString(fields[sourceRepoName], path(sourceRepoName));
}

} // namespace

AppItem read(simdjson::dom::element entry, const Path &at) {
    AppItem item;
    readInto(item, entry, at);
    return item;
}

QList<AppItem> readList(simdjson::dom::array entries, const Path &at) {
    QList<AppItem> items;
    items.reserve(qsizetype(entries.size()));
    qsizetype index = 0;
    for (const simdjson::dom::element entry : entries)
        readInto(items.emplace_back(), entry, at.element(index++));
    return items;
}

} // namespace AppItemDecoding

#include "appitemdecoding.h"

#include "platform/parallelhalves.h"

#include <atomic>
#include <exception>

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

// The last text of each field that repeats between the versions of one app.
struct Repeated {
    RepeatedText name, bundleIdentifier, version, versionDate, iconURL, localizedDescription, sourceRepoName;
    RepeatedTextList screenshotURLs;
};

// Fills a default-constructed item in place: tens of thousands of entries per feed.
void readInto(AppItem &item, simdjson::dom::element entry, const Path &at, Repeated &repeated) {
    const Fields<keyCount> fields(requireObject(entry, at), keys);
    auto path = [&at](Key key) {
        return at.field(keys[key]);
    };

    item.name = requiredString(fields[name], path(name), &repeated.name);
    // Publishers spell the bundle identifier two ways; neither is worth failing a feed over.
    if (auto text = stringIfString(fields[bundleIdentifier], &repeated.bundleIdentifier))
        item.bundleIdentifier = *text;
    else if (auto alternative = stringIfString(fields[bundleID], &repeated.bundleIdentifier))
        item.bundleIdentifier = *alternative;
    else
        item.bundleIdentifier = u"unknown.bundle.id"_s;
    item.version = requiredString(fields[version], path(version), &repeated.version);
    item.versionDate = optionalString(fields[versionDate], path(versionDate), &repeated.versionDate);
    item.size = optionalInt64(fields[size], path(size));
    item.downloadURL = requiredString(fields[downloadURL], path(downloadURL));
    if (auto text = stringIfString(fields[iconURL], &repeated.iconURL))
        item.iconURL = *text;
    else
        item.iconURL = optionalString(fields[icon], path(icon), &repeated.iconURL);
    item.localizedDescription = optionalString(fields[localizedDescription], path(localizedDescription),
                                               &repeated.localizedDescription);
    if (auto list = stringListIfStrings(fields[screenshotURLs], &repeated.screenshotURLs))
        item.screenshotURLs = *list;
    else if (auto alternative = stringListIfStrings(fields[screenshots], &repeated.screenshotURLs))
        item.screenshotURLs = *alternative;
    item.sourceRepoName =
        optionalString(fields[sourceRepoName], path(sourceRepoName), &repeated.sourceRepoName);
}

} // namespace

QList<AppItem> readList(simdjson::dom::array entries, const Path &at) {
    // The list grows as entries are read, never sized from the element count: an array of
    // millions of zeros must fail at its first element, not after making room for millions of apps.
    const qsizetype count = qsizetype(entries.size());
    QList<AppItem> halves[2];
    // A large feed is read in two halves at once. Each half stops at its first bad entry; the
    // earlier half's failure is the one reported, as if the entries had been read in order, so
    // the later half stops too once the earlier one has failed.
    std::exception_ptr failures[2];
    std::atomic<bool> earlierHalfFailed = false;
    ParallelHalves::forBothHalves(count, [&](qsizetype begin, qsizetype end) {
        const int half = begin == 0 ? 0 : 1;
        try {
            auto entry = entries.begin();
            for (qsizetype skip = 0; skip < begin; ++skip)
                ++entry;
            Repeated repeated;
            QList<AppItem> &items = halves[half];
            for (qsizetype index = begin; index < end; ++index, ++entry) {
                if (half == 1 && earlierHalfFailed.load(std::memory_order_relaxed))
                    return;
                readInto(items.emplace_back(), *entry, at.element(index), repeated);
            }
        } catch (...) {
            failures[half] = std::current_exception();
            if (half == 0)
                earlierHalfFailed = true;
        }
    });
    for (const std::exception_ptr &failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
    halves[0].append(std::move(halves[1]));
    return std::move(halves[0]);
}

} // namespace AppItemDecoding

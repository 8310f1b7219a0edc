#include "storedform.h"

#include "model/appitemdecoding.h"
#include "model/jsonreader.h"
#include "model/urltext.h"

#include "platform/uuid.h"

using namespace Qt::StringLiterals;
using namespace JsonReader;

namespace StoredForm {
namespace {

template<typename T>
void writeOptional(JsonWriter &writer, QLatin1StringView key, const std::optional<T> &value) {
    writer.key(key);
    if (value)
        writer.value(*value);
    else
        writer.null();
}

void writeOptionalUrl(JsonWriter &writer, QLatin1StringView key, const std::optional<QUrl> &url) {
    writer.key(key);
    if (url)
        writer.value(UrlText::fromUrl(*url));
    else
        writer.null();
}

enum Key { id, name, url, iconURL, isEnabled, children, appCount, cachedApps, childrenUrl, keyCount };
constexpr KeySet<keyCount> keys({"id", "name", "url", "iconURL", "isEnabled", "children", "appCount",
                                 "cachedApps", "childrenUrl"});

SavedRepo readNode(simdjson::dom::element element, const Path &at) {
    const Fields<keyCount> fields(requireObject(element, at), keys);
    auto path = [&at](Key key) {
        return at.field(keys[key]);
    };

    SavedRepo repo;
    repo.url = optionalUrl(fields[url], path(url));
    // Older files may lack an id or hold one of another type; the address, or failing that a
    // fresh UUID, stands in rather than losing the node.
    if (auto text = stringIfString(fields[id]))
        repo.id = *text;
    else if (repo.url)
        repo.id = UrlText::fromUrl(*repo.url);
    else
        repo.id = newUuidString();
    repo.name = optionalString(fields[name], path(name)).value_or(u"Unknown"_s);
    repo.iconURL = optionalString(fields[iconURL], path(iconURL));
    repo.isEnabled = optionalBool(fields[isEnabled], path(isEnabled)).value_or(true);
    if (auto array = optionalArray(fields[children], path(children))) {
        const Path childrenPath = path(children);
        QList<SavedRepo> nodes;
        qsizetype index = 0;
        for (const simdjson::dom::element child : *array)
            nodes.append(readNode(child, childrenPath.element(index++)));
        repo.children = std::move(nodes);
    }
    repo.appCount = optionalInt64(fields[appCount], path(appCount)).value_or(0);
    if (auto array = optionalArray(fields[cachedApps], path(cachedApps)))
        repo.cachedApps = AppItemDecoding::readList(*array, path(cachedApps));
    repo.repoListURL = optionalUrl(fields[childrenUrl], path(childrenUrl));
    return repo;
}

QList<SavedRepo> readTree(simdjson::dom::element root, const Path &at) {
    const simdjson::dom::array array = requireArray(root, at);
    QList<SavedRepo> nodes;
    qsizetype index = 0;
    for (const simdjson::dom::element element : array)
        nodes.append(readNode(element, at.element(index++)));
    return nodes;
}

QList<AppItem> readApps(simdjson::dom::element root, const Path &at) {
    return AppItemDecoding::readList(requireArray(root, at), at);
}

} // namespace

void writeAppItem(JsonWriter &writer, const AppItem &item) {
    writer.beginObject();
    writer.key("name"_L1);
    writer.value(item.name);
    writer.key("bundleIdentifier"_L1);
    writer.value(item.bundleIdentifier);
    writer.key("version"_L1);
    writer.value(item.version);
    writeOptional(writer, "versionDate"_L1, item.versionDate);
    writeOptional(writer, "size"_L1, item.size);
    writer.key("downloadURL"_L1);
    writer.value(item.downloadURL);
    writeOptional(writer, "iconURL"_L1, item.iconURL);
    writeOptional(writer, "localizedDescription"_L1, item.localizedDescription);
    writer.key("screenshotURLs"_L1);
    writer.beginArray();
    for (const QString &screenshot : item.screenshotURLs)
        writer.value(screenshot);
    writer.endArray();
    writeOptional(writer, "sourceRepoName"_L1, item.sourceRepoName);
    writer.endObject();
}

void writeSavedRepo(JsonWriter &writer, const SavedRepo &repo) {
    writer.beginObject();
    writer.key("id"_L1);
    writer.value(repo.id);
    writer.key("name"_L1);
    writer.value(repo.name);
    writeOptionalUrl(writer, "url"_L1, repo.url);
    writeOptional(writer, "iconURL"_L1, repo.iconURL);
    writer.key("isEnabled"_L1);
    writer.value(repo.isEnabled);
    writer.key("children"_L1);
    if (repo.children) {
        writer.beginArray();
        for (const SavedRepo &child : *repo.children)
            writeSavedRepo(writer, child);
        writer.endArray();
    } else {
        writer.null();
    }
    writer.key("appCount"_L1);
    writer.value(repo.appCount);
    writer.key("cachedApps"_L1);
    if (repo.cachedApps) {
        writer.beginArray();
        for (const AppItem &item : *repo.cachedApps)
            writeAppItem(writer, item);
        writer.endArray();
    } else {
        writer.null();
    }
    writeOptionalUrl(writer, "childrenUrl"_L1, repo.repoListURL);
    writer.endObject();
}

QByteArray encodeAppItems(const QList<AppItem> &items) {
    JsonWriter writer;
    writer.beginArray();
    for (const AppItem &item : items)
        writeAppItem(writer, item);
    writer.endArray();
    return writer.takeBytes();
}

QByteArray encodeSavedRepo(const SavedRepo &repo) {
    JsonWriter writer;
    writeSavedRepo(writer, repo);
    return writer.takeBytes();
}

QByteArray encodeRepoTree(const QList<SavedRepo> &roots) {
    JsonWriter writer;
    writer.beginArray();
    for (const SavedRepo &repo : roots)
        writeSavedRepo(writer, repo);
    writer.endArray();
    return writer.takeBytes();
}

DecodeResult<QList<AppItem>> decodeAppItems(QByteArrayView json) {
    return JsonReader::decode<QList<AppItem>>(json, readApps);
}

DecodeResult<SavedRepo> decodeSavedRepo(QByteArrayView json) {
    return JsonReader::decode<SavedRepo>(json, readNode);
}

DecodeResult<QList<SavedRepo>> decodeRepoTree(QByteArrayView json) {
    return JsonReader::decode<QList<SavedRepo>>(json, readTree);
}

} // namespace StoredForm

#include "exportablerepo.h"

#include "model/jsonreader.h"

using namespace JsonReader;

namespace {

enum Key { name, url, isEnabled, children, childrenUrl, keyCount };
constexpr KeySet<keyCount> keys = KeySet<keyCount>(
    std::array<std::string_view, keyCount>{"name", "url", "isEnabled", "children", "childrenUrl"});

ExportableRepo readRecord(simdjson::dom::element element, const Path &at) {
    const Fields<keyCount> fields(requireObject(element, at), keys);
    auto path = [&at](Key key) {
        return at.field(keys[key]);
    };

    ExportableRepo record;
    record.name = requiredString(fields[name], path(name));
    record.url = optionalUrl(fields[url], path(url));
    record.isEnabled = optionalBool(fields[isEnabled], path(isEnabled));
    if (auto array = optionalArray(fields[children], path(children))) {
        const Path childrenPath = path(children);
        QList<ExportableRepo> list;
        qsizetype index = 0;
        for (const simdjson::dom::element child : *array)
            list.append(readRecord(child, childrenPath.element(index++)));
        record.children = std::move(list);
    }
    record.repoListURL = optionalUrl(fields[childrenUrl], path(childrenUrl));
    return record;
}

QList<ExportableRepo> readRecords(simdjson::dom::element root, const Path &at) {
    const simdjson::dom::array array = requireArray(root, at);
    QList<ExportableRepo> list;
    qsizetype index = 0;
    for (const simdjson::dom::element element : array)
        list.append(readRecord(element, at.element(index++)));
    return list;
}

} // namespace

DecodeResult<ExportableRepo> ExportableRepo::decode(QByteArrayView json) {
    return JsonReader::decode<ExportableRepo>(json, readRecord);
}

DecodeResult<QList<ExportableRepo>> ExportableRepo::decodeList(QByteArrayView json) {
    return JsonReader::decode<QList<ExportableRepo>>(json, readRecords);
}

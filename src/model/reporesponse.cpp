#include "reporesponse.h"

#include "model/appitemdecoding.h"
#include "model/jsonreader.h"

using namespace JsonReader;

namespace {

enum Key { name, identifier, iconURL, META, apps, keyCount };
constexpr KeySet<keyCount> keys =
    KeySet<keyCount>(std::array<std::string_view, keyCount>{"name", "identifier", "iconURL", "META", "apps"});

enum MetaKey { repoName, repoIcon, metaKeyCount };
constexpr KeySet<metaKeyCount> metaKeys =
    KeySet<metaKeyCount>(std::array<std::string_view, metaKeyCount>{"repoName", "repoIcon"});

MetaData readMetaData(simdjson::dom::object object, const Path &at) {
    const Fields<metaKeyCount> fields(object, metaKeys);
    return MetaData{optionalString(fields[repoName], at.field(metaKeys[repoName])),
                    optionalString(fields[repoIcon], at.field(metaKeys[repoIcon]))};
}

RepoResponse readResponse(simdjson::dom::element root, const Path &at) {
    const Fields<keyCount> fields(requireObject(root, at), keys);
    auto path = [&at](Key key) {
        return at.field(keys[key]);
    };

    RepoResponse response;
    response.name = requiredString(fields[name], path(name));
    response.identifier = optionalString(fields[identifier], path(identifier));
    response.iconURL = optionalString(fields[iconURL], path(iconURL));
    if (auto meta = optionalObject(fields[META], path(META)))
        response.META = readMetaData(*meta, path(META));
    const Value appsValue = fields[apps];
    if (!appsValue)
        fail(path(apps), QStringLiteral("expected an array, but the key is missing"));
    response.apps = AppItemDecoding::readList(requireArray(*appsValue, path(apps)), path(apps));
    return response;
}

} // namespace

DecodeResult<RepoResponse> RepoResponse::decode(QByteArrayView json) {
    return JsonReader::decode<RepoResponse>(json, readResponse);
}

#pragma once

#include "model/appitem.h"
#include "model/decoderesult.h"
#include "model/metadata.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// A repository's feed document as it arrives over the network.
struct RepoResponse {
    QString name{};
    std::optional<QString> identifier{};
    std::optional<QString> iconURL{};
    std::optional<MetaData> META{};
    QList<AppItem> apps{};

    // Decodes the body of a feed response, whatever its HTTP status. One faulty entry fails the
    // whole document: a half-read feed would silently hide apps.
    static DecodeResult<RepoResponse> decode(QByteArrayView json);

    friend bool operator==(const RepoResponse &, const RepoResponse &) = default;
};

#pragma once

#include "model/decoderesult.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class ExportableRepo;

// Qt's trait checks recurse through std::optional<QList<ExportableRepo>> and never finish.
template<>
struct QTypeTraits::has_operator_equal<ExportableRepo> : std::true_type {};
template<>
struct QTypeTraits::has_operator_less_than<ExportableRepo> : std::false_type {};

// One node of the repository list in the form users copy, share and paste: no identity, icon,
// counts, cached apps or status.
class ExportableRepo {
public:
    QString name{};
    std::optional<QUrl> url{};
    std::optional<bool> isEnabled{};
    std::optional<QList<ExportableRepo>> children{};
    // Written under "childrenUrl".
    std::optional<QUrl> repoListURL{};

    // A single record; unrecognised keys are ignored, wrong types fail the whole text.
    static DecodeResult<ExportableRepo> decode(QByteArrayView json);
    // A JSON array of records.
    static DecodeResult<QList<ExportableRepo>> decodeList(QByteArrayView json);

    friend bool operator==(const ExportableRepo &, const ExportableRepo &) = default;
};

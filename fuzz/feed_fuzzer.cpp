// Feeds arbitrary bytes to every decoder of the catalogue formats. Besides crashes and sanitizer
// reports it checks what callers rely on: a failure always has a description, and whatever
// decodes is written and read back unchanged.

#include "model/exportablerepo.h"
#include "model/repoexchange.h"
#include "model/reporesponse.h"
#include "model/storedform.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

template<typename T>
void requireDescription(const DecodeResult<T> &result) {
    if (!result.ok() && result.error().isEmpty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const DecodeResult<RepoResponse> feed = RepoResponse::decode(bytes);
    requireDescription(feed);
    if (feed.ok()) {
        const DecodeResult<QList<AppItem>> back =
            StoredForm::decodeAppItems(StoredForm::encodeAppItems(feed->apps));
        if (!back.ok() || back.value() != feed->apps)
            std::abort();
    }

    const DecodeResult<QList<SavedRepo>> tree = StoredForm::decodeRepoTree(bytes);
    requireDescription(tree);
    if (tree.ok()) {
        const DecodeResult<QList<SavedRepo>> back =
            StoredForm::decodeRepoTree(StoredForm::encodeRepoTree(tree.value()));
        if (!back.ok() || back.value() != tree.value())
            std::abort();
        (void)RepoExchange::exportJson(tree.value(), false);
        (void)RepoExchange::exportUrlList(tree.value(), true);
    }

    const DecodeResult<QList<ExportableRepo>> records = ExportableRepo::decodeList(bytes);
    requireDescription(records);
    if (records.ok()) {
        QList<SavedRepo> imported;
        for (const ExportableRepo &record : records.value())
            imported.append(RepoExchange::importNode(record));
        const DecodeResult<QList<ExportableRepo>> back =
            ExportableRepo::decodeList(RepoExchange::exportJson(imported, false).toUtf8());
        if (!back.ok())
            std::abort();
    }
    requireDescription(ExportableRepo::decode(bytes));

    (void)RepoExchange::readUrlList(QString::fromUtf8(bytes));
    return 0;
}

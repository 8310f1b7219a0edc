#pragma once

#include "model/appitem.h"
#include "model/decoderesult.h"
#include "model/jsonwriter.h"
#include "model/savedrepo.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The form in which the store keeps its repository tree ("repos.json"): an array of nodes, each
// with every key written in a fixed order, absent values as null, and the cached apps of each
// repository in the stored form of an app item.
namespace StoredForm {

void writeAppItem(JsonWriter &writer, const AppItem &item);
void writeSavedRepo(JsonWriter &writer, const SavedRepo &repo);

QByteArray encodeAppItems(const QList<AppItem> &items);
QByteArray encodeSavedRepo(const SavedRepo &repo);
QByteArray encodeRepoTree(const QList<SavedRepo> &roots);

// Strict on types: a present value of the wrong type fails the whole text (only "id" falls back).
DecodeResult<QList<AppItem>> decodeAppItems(QByteArrayView json);
DecodeResult<SavedRepo> decodeSavedRepo(QByteArrayView json);
DecodeResult<QList<SavedRepo>> decodeRepoTree(QByteArrayView json);

} // namespace StoredForm

#pragma once

#include "model/appitem.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Catalogues that look like real ones, for the screenshots and the start-up benchmark: varied
// names, versions, sizes and dates; some apps without icon, with a broken icon address, without
// description, or with very long texts.
namespace SampleCatalogue {

// `count` items, several versions per app; addresses under `base` ("http://127.0.0.1:port").
QList<AppItem> apps(int count, const QString &base);

// A feed document: {"name": ..., "apps": [...]}.
QByteArray feed(const QString &repoName, const QList<AppItem> &apps);

// A square PNG icon: a coloured rounded square with a letter.
QByteArray iconPng(int index, int size = 120);
// A phone-shaped PNG screenshot.
QByteArray screenshotPng(int index);

} // namespace SampleCatalogue

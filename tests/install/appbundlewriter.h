#pragma once

#include <QString>
#include <QVariantMap>

// Writes app bundles as they appear in an applications folder or an archive's "Payload":
// a folder holding "Info.plist" (XML or binary, as real bundles come) and icon files.
namespace AppBundleWriter {

enum class Format { Xml, Binary };

// The property list's bytes in the given format.
QByteArray plistBytes(const QVariantMap &dictionary, Format format);

bool writePlist(const QString &path, const QVariantMap &dictionary, Format format);

// Creates folder/name with an "Info.plist" and the given (empty but present) icon files.
bool writeApp(const QString &appFolder, const QVariantMap &info, Format format = Format::Xml,
              const QStringList &iconFiles = {});

// A typical "Info.plist" of a released app.
QVariantMap info(const QString &bundleID, const QString &name, const QString &version);

} // namespace AppBundleWriter

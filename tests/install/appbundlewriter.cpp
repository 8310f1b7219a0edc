#include "appbundlewriter.h"

#include "platform/propertylist.h"

#include <QDir>
#include <QFile>

#include <plist/plist.h>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace AppBundleWriter {

QByteArray plistBytes(const QVariantMap &dictionary, Format format) {
    const QByteArray xml = PropertyList::toXml(dictionary).value_or(QByteArray());
    if (format == Format::Xml || xml.isEmpty())
        return xml;
    plist_t root = nullptr;
    plist_from_xml(xml.constData(), uint32_t(xml.size()), &root);
    char *binary = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &binary, &length);
    const QByteArray bytes(binary, qsizetype(length));
    std::free(binary);
    plist_free(root);
    return bytes;
}

bool writePlist(const QString &path, const QVariantMap &dictionary, Format format) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(plistBytes(dictionary, format)) > 0;
}

bool writeApp(const QString &appFolder, const QVariantMap &info, Format format,
              const QStringList &iconFiles) {
    if (!QDir().mkpath(appFolder) || !writePlist(appFolder + u"/Info.plist"_s, info, format))
        return false;
    for (const QString &icon : iconFiles) {
        QFile file(appFolder + u'/' + icon);
        if (!file.open(QIODevice::WriteOnly) || file.write("\x89PNG", 4) != 4)
            return false;
    }
    return true;
}

QVariantMap info(const QString &bundleID, const QString &name, const QString &version) {
    return {{u"CFBundleIdentifier"_s, bundleID},
            {u"CFBundleName"_s, name},
            {u"CFBundleShortVersionString"_s, version},
            {u"CFBundleVersion"_s, u"1"_s},
            {u"CFBundleExecutable"_s, name},
            {u"CFBundlePackageType"_s, u"APPL"_s},
            {u"CFBundleIcons"_s,
             QVariantMap{{u"CFBundlePrimaryIcon"_s,
                          QVariantMap{{u"CFBundleIconFiles"_s, QStringList{u"AppIcon60x60"_s}}}}}}};
}

} // namespace AppBundleWriter

#include "installtestsupport.h"

#include "fixtures/zipbuilder.h"
#include "platform/propertylist.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace InstallTest {

Entries appEntries(const QString &appFolderName, const QVariantMap &info, AppBundleWriter::Format format) {
    const QString folder = u"Payload/"_s + appFolderName + u'/';
    return {{folder + u"Info.plist"_s, AppBundleWriter::plistBytes(info, format)},
            {folder + u"AppIcon60x60@2x.png"_s, QByteArray("\x89PNG\r\n\x1a\n", 8)},
            {folder + u"executable"_s, QByteArray(4096, 'x')}};
}

QByteArray ipa(const Entries &entries) {
    ZipBuilder builder;
    for (const auto &[name, data] : entries) {
        if (name.endsWith(u"->"_s))
            builder.addSymlink(name.chopped(2), data);
        else
            builder.addFile(name, data);
    }
    return builder.finish();
}

bool writeIpa(const QString &path, const Entries &entries) {
    return ZipBuilder::writeFile(path, ipa(entries));
}

bool writeAppIpa(const QString &path, const QString &bundleID, const QString &name, const QString &version) {
    return writeIpa(path, appEntries(name + u".app"_s, AppBundleWriter::info(bundleID, name, version)));
}

QVariantMap lcAppInfo(const QVariantList &containers, const QVariantMap &extra) {
    QVariantList list;
    for (const QVariant &name : containers)
        list.append(QVariantMap{{u"folderName"_s, name}, {u"name"_s, u"Default"_s}});
    QVariantMap info = extra;
    info.insert(u"LCContainers"_s, list);
    return info;
}

QStringList containerNames(const QString &appInfoPath) {
    QStringList names;
    const auto info = PropertyList::readDictionary(appInfoPath);
    for (const QVariant &element : info ? info->value(u"LCContainers"_s).toList() : QVariantList())
        names.append(element.toMap().value(u"folderName"_s).toString());
    return names;
}

QStringList entries(const QString &folder, const QString &pattern) {
    return QDir(folder).entryList({pattern}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

StdoutCapture::StdoutCapture() {
    m_file.open();
    std::fflush(stdout);
    m_saved = ::dup(STDOUT_FILENO);
    ::dup2(m_file.handle(), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
    const QStringList captured = lines();
    ::dup2(m_saved, STDOUT_FILENO);
    ::close(m_saved);
    for (const QString &line : captured)
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QStringList StdoutCapture::lines() {
    std::fflush(stdout);
    QFile reader(m_file.fileName());
    if (!reader.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(reader.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace InstallTest

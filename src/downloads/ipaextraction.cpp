#include "ipaextraction.h"

#include "downloads/installfiles.h"
#include "platform/propertylist.h"
#include "platform/uuid.h"
#include "zip/zipextractor.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

IpaExtraction::Unpacked failed(const QString &temporaryFolder, const QString &error) {
    InstallFiles::removeItem(temporaryFolder);
    IpaExtraction::Unpacked result;
    result.error = error;
    return result;
}

IpaExtraction::Unpacked nothingToInstall(const QString &temporaryFolder) {
    InstallFiles::removeItem(temporaryFolder);
    return {};
}

} // namespace

namespace IpaExtraction {

Unpacked unpack(const QString &archive, const QString &applicationsFolder) {
    // A failure here shows in the next step, which needs the folder.
    QDir().mkpath(applicationsFolder);
    const QString temporaryFolder = applicationsFolder + u"/Temp_"_s + newUuidString();
    if (!QDir().mkpath(temporaryFolder)) {
        Unpacked result;
        result.error = u"Cannot create the folder \"%1\""_s.arg(temporaryFolder);
        return result;
    }

    ZipExtractor extractor;
    if (!extractor.extractAll(archive, temporaryFolder))
        return failed(temporaryFolder, extractor.error().description());

    const QString payload = temporaryFolder + u"/Payload"_s;
    const QFileInfo payloadInfo(payload);
    if (!payloadInfo.exists() && !payloadInfo.isSymLink())
        return nothingToInstall(temporaryFolder);
    if (!payloadInfo.isDir() || payloadInfo.isSymLink())
        return failed(temporaryFolder, u"The archive's \"Payload\" is not a folder"_s);

    // The first bundle in the order the file system lists them. A link named like a bundle is
    // not one: moving it into place would install whatever it points to.
    const QDir payloadDir(payload);
    QString appFolder;
    const QStringList entries = payloadDir.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &entry : entries) {
        if (InstallFiles::pathExtension(entry) == u"app"_s &&
            !QFileInfo(payloadDir.filePath(entry)).isSymLink()) {
            appFolder = payloadDir.filePath(entry);
            break;
        }
    }
    if (appFolder.isEmpty())
        return nothingToInstall(temporaryFolder);

    Unpacked result;
    result.temporaryFolder = temporaryFolder;
    result.payloadFolder = payload;
    result.appFolder = appFolder;
    result.bundleID = u"unknown"_s;
    result.targetName = QFileInfo(appFolder).fileName();

    const auto info = PropertyList::readDictionary(appFolder + u"/Info.plist"_s);
    const QVariant identifier = info ? info->value(u"CFBundleIdentifier"_s) : QVariant();
    if (identifier.typeId() == QMetaType::QString) {
        const QString trimmed = identifier.toString().trimmed();
        // An empty identifier would name the hidden folder ".app", which no scan lists.
        if (!trimmed.isEmpty()) {
            if (trimmed.contains(u'/') || trimmed.contains(QChar(u'\0')))
                return failed(temporaryFolder,
                              u"The app's bundle identifier \"%1\" cannot name a folder"_s.arg(trimmed));
            result.bundleID = trimmed;
            result.targetName = trimmed + u".app"_s;
        }
    }
    return result;
}

Installed install(const Unpacked &unpacked, const QString &applicationsFolder, const QString &archive,
                  const QString &downloadFolder) {
    Installed result;
    QString error;
    if (const auto placed = InstallFiles::moveToFreeName(unpacked.appFolder, applicationsFolder,
                                                         unpacked.targetName, &error)) {
        result.appFolder = *placed;
        // Only an archive the app downloaded itself goes; one converted in place elsewhere stays.
        if (InstallFiles::isInsideFolder(archive, downloadFolder))
            InstallFiles::removeItem(archive);
    } else {
        result.error = error;
    }
    InstallFiles::removeItem(unpacked.temporaryFolder);
    return result;
}

} // namespace IpaExtraction

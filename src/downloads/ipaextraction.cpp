#include "ipaextraction.h"

#include "downloads/installfiles.h"
#include "platform/propertylist.h"
#include "platform/untrustedtext.h"
#include "platform/uuid.h"
#include "zip/zipextractor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

IpaExtraction::Unpacked failed(const QString &temporaryFolder, const QString &error) {
    InstallFiles::removeItem(temporaryFolder);
    IpaExtraction::Unpacked result;
    result.error = error;
    return result;
}

// Why a bundle identifier cannot name an app folder or a launch address, or nothing when it can.
std::optional<QString> unusableIdentifier(const QString &identifier) {
    const bool control = std::any_of(identifier.cbegin(), identifier.cend(),
                                     [](QChar c) { return c.category() == QChar::Other_Control; });
    if (identifier == u"."_s || identifier == u".."_s || identifier.contains(u'/') || control)
        return QCoreApplication::translate("IpaExtraction",
                                           "The app's bundle identifier \"%1\" cannot name a folder")
            .arg(UntrustedText::elided(identifier));
    return std::nullopt;
}

} // namespace

namespace IpaExtraction {

Unpacked unpack(const QString &archive, const QString &applicationsFolder) {
    // A failure here shows in the next step, which needs the folder.
    QDir().mkpath(applicationsFolder);
    const QString temporaryFolder = applicationsFolder + u"/Temp_"_s + newUuidString();
    if (!QDir().mkpath(temporaryFolder)) {
        Unpacked result;
        result.error = QCoreApplication::translate("IpaExtraction", "Cannot create the folder \"%1\"")
                           .arg(temporaryFolder);
        return result;
    }

    ZipExtractor extractor;
    // "Payload/<name>.app": each app's links stay inside it, as it leaves its siblings when moved.
    extractor.setLinkConfinement(2);
    if (!extractor.extractAll(archive, temporaryFolder))
        return failed(temporaryFolder, extractor.error().description());

    const QString payload = temporaryFolder + u"/Payload"_s;
    const QFileInfo payloadInfo(payload);
    if (!payloadInfo.exists() && !payloadInfo.isSymLink())
        return failed(temporaryFolder,
                      QCoreApplication::translate(
                          "IpaExtraction", "The archive holds no \"Payload\" folder, so no app to install"));
    if (!payloadInfo.isDir() || payloadInfo.isSymLink())
        return failed(temporaryFolder, QCoreApplication::translate(
                                           "IpaExtraction", "The archive's \"Payload\" is not a folder"));

    // The first bundle in the order the file system lists them. A bundle is a folder: a file
    // named like one is not, nor is a link, which moved into place would install whatever it
    // points to.
    const QDir payloadDir(payload);
    QString appFolder;
    const QStringList entries = payloadDir.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &entry : entries) {
        const QFileInfo bundle(payloadDir.filePath(entry));
        if (InstallFiles::pathExtension(entry) == u"app"_s && bundle.isDir() && !bundle.isSymLink()) {
            appFolder = payloadDir.filePath(entry);
            break;
        }
    }
    if (appFolder.isEmpty())
        return failed(
            temporaryFolder,
            QCoreApplication::translate(
                "IpaExtraction", "The archive's \"Payload\" holds no \".app\" folder, so no app to install"));

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
            if (const auto unusable = unusableIdentifier(trimmed))
                return failed(temporaryFolder, *unusable);
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

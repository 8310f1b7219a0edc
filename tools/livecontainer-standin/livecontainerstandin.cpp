#include "livecontainerstandin.h"

#include "downloads/installedappsscanner.h"
#include "platform/propertylist.h"
#include "platform/uuid.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

const QString kAppInfoFile = u"LCAppInfo.plist"_s;
const QString kContainersKey = u"LCContainers"_s;
const QString kFolderNameKey = u"folderName"_s;

// A name that stays inside the folder it is joined to.
bool isSingleFolderName(const QString &name) {
    return !name.isEmpty() && name != u"."_s && name != u".."_s && !name.contains(u'/') &&
           !name.contains(QChar(u'\0'));
}

LiveContainerStandIn::Outcome outcome(bool succeeded, const QString &message) {
    LiveContainerStandIn::Outcome outcome;
    outcome.succeeded = succeeded;
    outcome.message = message;
    return outcome;
}

LiveContainerStandIn::Outcome failure(const QString &message) {
    return outcome(false, message);
}

} // namespace

LiveContainerStandIn::LiveContainerStandIn(const QString &storageFolder)
    : m_storage(QDir::cleanPath(QFileInfo(storageFolder).absoluteFilePath())) {
}

QString LiveContainerStandIn::applicationsFolder() const {
    const QString applications = m_storage + u"/Applications"_s;
    return QFileInfo::exists(applications) ? applications : m_storage;
}

QString LiveContainerStandIn::dataContainersFolder() const {
    return m_storage + u"/Data/Application"_s;
}

LiveContainerStandIn::Outcome LiveContainerStandIn::open(const QUrl &url) const {
    if (url.scheme() != u"livecontainer"_s)
        return failure(u"Not a livecontainer:// URL: %1"_s.arg(url.toString()));
    if (url.host() == u"install"_s)
        return prepareStorage();
    if (url.host() == u"livecontainer-launch"_s) {
        const QUrlQuery query(url);
        if (!query.hasQueryItem(u"bundle-name"_s))
            return failure(u"The launch URL names no app: %1"_s.arg(url.toString()));
        return launch(query.queryItemValue(u"bundle-name"_s, QUrl::FullyDecoded));
    }
    return failure(u"Unsupported LiveContainer action: %1"_s.arg(url.toString()));
}

LiveContainerStandIn::Outcome LiveContainerStandIn::prepareStorage() const {
    if (!QDir().mkpath(m_storage + u"/Applications"_s) || !QDir().mkpath(dataContainersFolder()))
        return failure(u"Cannot prepare the storage folder %1"_s.arg(m_storage));
    return outcome(true, u"LiveContainer storage ready at %1"_s.arg(m_storage));
}

LiveContainerStandIn::Outcome LiveContainerStandIn::launch(const QString &folderName) const {
    if (!isSingleFolderName(folderName))
        return failure(u"Refusing to launch \"%1\": not a folder name"_s.arg(folderName));
    const QString appFolder = applicationsFolder() + u'/' + folderName;
    if (!QFileInfo(appFolder).isDir())
        return failure(u"No app named \"%1\" in %2"_s.arg(folderName, applicationsFolder()));
    // Named as LiveContainer lists it, from the bundle's own "Info.plist".
    const LocalApp bundle = InstalledAppsScanner::readApp(appFolder);
    Outcome launched{true, {}, bundle.name, bundle.bundleID, bundle.iconURL, {}, false};

    // The app's metadata survives from earlier launches; keys we do not know are carried along.
    const QString appInfoPath = appFolder + u'/' + kAppInfoFile;
    QVariantMap appInfo;
    if (QFileInfo::exists(appInfoPath)) {
        QString error;
        const auto existing = PropertyList::readDictionary(appInfoPath, &error);
        if (!existing)
            return failure(error);
        appInfo = *existing;
        for (const QVariant &element : appInfo.value(kContainersKey).toList()) {
            const QString name = element.toMap().value(kFolderNameKey).toString();
            if (element.typeId() != QMetaType::QVariantMap || !isSingleFolderName(name))
                continue;
            const QString container = dataContainersFolder() + u'/' + name;
            if (!QDir().mkpath(container))
                return failure(u"Cannot create the data container %1"_s.arg(container));
            launched.message = u"Launched %1 with data container %2"_s.arg(folderName, name);
            launched.dataContainer = name;
            return launched;
        }
    }

    // First launch: a fresh data container, laid out like an app sandbox.
    const QString uuid = newUuidString();
    const QString container = dataContainersFolder() + u'/' + uuid;
    for (const QString &sub : {u"Documents"_s, u"Library"_s, u"tmp"_s}) {
        if (!QDir().mkpath(container + u'/' + sub))
            return failure(u"Cannot create the data container %1"_s.arg(container));
    }
    const QVariantMap containerRecord{{kFolderNameKey, uuid}, {u"name"_s, u"Default"_s}};
    appInfo.insert(kContainersKey, QVariantList{containerRecord});
    appInfo.insert(u"LCDataUUID"_s, uuid);
    appInfo.insert(u"LCFirstLaunchDate"_s, QDateTime::currentDateTimeUtc());
    const auto info = PropertyList::readDictionary(appFolder + u"/Info.plist"_s);
    if (info && info->value(u"CFBundleIdentifier"_s).typeId() == QMetaType::QString)
        appInfo.insert(u"LCBundleIdentifier"_s, info->value(u"CFBundleIdentifier"_s).toString().trimmed());

    QString error;
    if (!PropertyList::writeXml(appInfoPath, appInfo, &error)) {
        QDir(container).removeRecursively();
        return failure(error);
    }
    launched.message = u"Launched %1 with new data container %2"_s.arg(folderName, uuid);
    launched.dataContainer = uuid;
    launched.isFirstLaunch = true;
    return launched;
}

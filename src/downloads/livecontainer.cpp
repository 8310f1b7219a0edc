#include "livecontainer.h"

#include "platform/urlopener.h"

#include <QFile>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace LiveContainer {

QString launchURL(const QString &folderName) {
    return u"livecontainer://livecontainer-launch?bundle-name="_s + folderName;
}

bool launchApp(const QString &folderName) {
    return UrlOpener::shared().open(launchURL(folderName));
}

bool openLiveContainer() {
    return UrlOpener::shared().open(kInstallURL.toString());
}

bool isSingleFolderName(const QString &name) {
    return !name.isEmpty() && name != u"."_s && name != u".."_s && !name.contains(u'/') &&
           !name.contains(QChar(u'\0'));
}

bool hasAppInfoFile(const QString &appFolder) {
    struct stat status {};
    return ::lstat(QFile::encodeName(appFolder).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           ::lstat(QFile::encodeName(appFolder + u'/' + kAppInfoFileName).constData(), &status) == 0 &&
           S_ISREG(status.st_mode);
}

QStringList dataContainerNames(const QVariantMap &appInfo) {
    QStringList names;
    const QVariant containers = appInfo.value(kContainersKey.toString());
    if (containers.typeId() != QMetaType::QVariantList)
        return names;
    const QVariantList elements = containers.toList();
    // A list that is not all dictionaries is not one LiveContainer wrote: honour none of it.
    for (const QVariant &element : elements) {
        if (element.typeId() != QMetaType::QVariantMap)
            return names;
    }
    for (const QVariant &element : elements) {
        const QVariant name = element.toMap().value(kFolderNameKey.toString());
        if (name.typeId() == QMetaType::QString && isSingleFolderName(name.toString()))
            names.append(name.toString());
    }
    return names;
}

} // namespace LiveContainer

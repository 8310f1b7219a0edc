#include "installedappsscanner.h"

#include "downloads/installfiles.h"
#include "platform/propertylist.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

std::optional<QString> stringValue(const QVariantMap &map, const QString &key) {
    const auto it = map.constFind(key);
    if (it == map.cend() || it->typeId() != QMetaType::QString)
        return std::nullopt;
    return it->toString();
}

// An array whose elements are all strings; anything else contributes nothing.
QStringList stringArray(const QVariant &value) {
    if (value.typeId() != QMetaType::QVariantList)
        return {};
    QStringList strings;
    for (const QVariant &element : value.toList()) {
        if (element.typeId() != QMetaType::QString)
            return {};
        strings.append(element.toString());
    }
    return strings;
}

QStringList primaryIconFiles(const QVariantMap &info, const QString &iconsKey) {
    const QVariant icons = info.value(iconsKey);
    if (icons.typeId() != QMetaType::QVariantMap)
        return {};
    const QVariant primary = icons.toMap().value(u"CFBundlePrimaryIcon"_s);
    if (primary.typeId() != QMetaType::QVariantMap)
        return {};
    return stringArray(primary.toMap().value(u"CFBundleIconFiles"_s));
}

QString nameWithoutExtension(const QString &fileName) {
    const QString extension = InstallFiles::pathExtension(fileName);
    return extension.isEmpty() ? fileName : fileName.chopped(extension.size() + 1);
}

// The candidates of one base name, in order: base, base@2x, base@3x, base60x60@2x, each as
// ".png" then ".jpg". A bundle's icons lie in its top folder, so that folder is listed once and
// candidates are looked up in the listing instead of testing up to eight paths per name; a name
// with a folder in it is tested on disk.
class IconSearch {
public:
    explicit IconSearch(const QString &appFolder)
        : m_appFolder(appFolder) {}

    std::optional<QUrl> find(const QString &base) const {
        static const QString suffixes[] = {QString(), u"@2x"_s, u"@3x"_s, u"60x60@2x"_s};
        static const QString extensions[] = {u".png"_s, u".jpg"_s};
        const bool listed = !base.contains(u'/');
        for (const QString &suffix : suffixes) {
            for (const QString &extension : extensions) {
                const QString name = base + suffix + extension;
                if (listed && !entries().contains(name))
                    continue;
                // A listed link may lead nowhere: only what exists counts.
                const QString path = m_appFolder + u'/' + name;
                if (QFileInfo::exists(path))
                    return QUrl::fromLocalFile(path);
            }
        }
        return std::nullopt;
    }

private:
    const QSet<QString> &entries() const {
        if (!m_entries) {
            const QStringList names =
                QDir(m_appFolder)
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Unsorted);
            m_entries = QSet<QString>(names.cbegin(), names.cend());
        }
        return *m_entries;
    }

    QString m_appFolder;
    mutable std::optional<QSet<QString>> m_entries;
};

} // namespace

namespace InstalledAppsScanner {

QList<LocalApp> scan(const QString &applicationsFolder) {
    QList<LocalApp> apps;
    const QDir folder(applicationsFolder);
    const QStringList entries = folder.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &entry : entries) {
        if (InstallFiles::pathExtension(entry) == u"app"_s)
            apps.append(readApp(folder.filePath(entry)));
    }
    return apps;
}

LocalApp readApp(const QString &appFolder) {
    LocalApp app;
    app.url = QUrl::fromLocalFile(appFolder);
    const QString folderName = QFileInfo(appFolder).fileName();

    // A linked bundle would be listed under whatever app it leads to.
    const auto info = QFileInfo(appFolder).isSymLink()
                          ? std::nullopt
                          : PropertyList::readDictionary(appFolder + u"/Info.plist"_s);
    if (!info) {
        app.name = nameWithoutExtension(folderName);
        app.bundleID = u"unknown"_s;
        return app;
    }

    // A blank identifier identifies nothing, as extraction treats it.
    app.bundleID = stringValue(*info, u"CFBundleIdentifier"_s).value_or(QString()).trimmed();
    if (app.bundleID.isEmpty())
        app.bundleID = u"unknown"_s;
    if (const auto displayName = stringValue(*info, u"CFBundleDisplayName"_s))
        app.name = displayName->trimmed();
    else if (const auto bundleName = stringValue(*info, u"CFBundleName"_s))
        app.name = bundleName->trimmed();
    else
        app.name = nameWithoutExtension(folderName);
    app.version = stringValue(*info, u"CFBundleShortVersionString"_s);
    if (!app.version)
        app.version = stringValue(*info, u"CFBundleVersion"_s);

    // Later names are the larger icons, so the search walks the list backwards.
    QStringList iconNames = primaryIconFiles(*info, u"CFBundleIcons"_s);
    iconNames += primaryIconFiles(*info, u"CFBundleIcons~ipad"_s);
    iconNames += stringArray(info->value(u"CFBundleIconFiles"_s));
    const IconSearch search(appFolder);
    for (auto it = iconNames.crbegin(); it != iconNames.crend() && !app.iconURL; ++it)
        app.iconURL = search.find(*it);
    if (!app.iconURL)
        app.iconURL = search.find(u"AppIcon60x60"_s);
    if (!app.iconURL)
        app.iconURL = search.find(u"AppIcon"_s);
    return app;
}

std::optional<QUrl> findIconFile(const QString &appFolder, const QString &base) {
    return IconSearch(appFolder).find(base);
}

} // namespace InstalledAppsScanner

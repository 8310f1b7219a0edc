#include "appbundlewriter.h"
#include "downloads/installedappsscanner.h"
#include "downloads/installfiles.h"
#include "downloads/livecontainer.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using AppBundleWriter::Format;

namespace {

bool makeFolderWithFile(const QString &folder) {
    QFile file(folder + u"/payload"_s);
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

ino_t inodeOf(const QString &path) {
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status.st_ino;
}

QVariantMap iconsUnder(const QString &iconsKey, const QStringList &files) {
    return {
        {iconsKey, QVariantMap{{u"CFBundlePrimaryIcon"_s, QVariantMap{{u"CFBundleIconFiles"_s, files}}}}}};
}

QVariantMap with(QVariantMap a, const QVariantMap &b) {
    a.insert(b);
    return a;
}

} // namespace

class TestInstallPieces : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void insideFolderComparesWholeComponents() {
        const QString folder = u"/home/u/Documents"_s;
        QVERIFY(InstallFiles::isInsideFolder(u"/home/u/Documents/sub/App.ipa"_s, folder + u'/'));
        QVERIFY(!InstallFiles::isInsideFolder(u"/home/u/Documents2/App.ipa"_s, folder));
        QVERIFY(!InstallFiles::isInsideFolder(u"/home/u/Documents/../App.ipa"_s, folder));
    }

    // Moving into place is a rename (the folder keeps its inode) that never replaces anything,
    // not even an empty folder.
    void movesToTheFirstFreeNameByRenaming() {
        QTemporaryDir dir;
        QVERIFY(makeFolderWithFile(dir.filePath(u"apps/com.a.b.app"_s)));
        QVERIFY(makeFolderWithFile(dir.filePath(u"apps/com.a.b_1.app"_s)));
        QVERIFY(QDir().mkpath(dir.filePath(u"apps/com.a.b_2.app"_s)));
        const QString source = dir.filePath(u"Temp_X/Payload/Game.app"_s);
        QVERIFY(makeFolderWithFile(source));
        const ino_t inode = inodeOf(source);

        QString error;
        const auto placed =
            InstallFiles::moveToFreeName(source, dir.filePath(u"apps"_s), u"com.a.b.app"_s, &error);
        QCOMPARE(placed, std::optional<QString>(dir.filePath(u"apps/com.a.b_3.app"_s)));
        QCOMPARE(inodeOf(*placed), inode);
        QVERIFY(QDir(dir.filePath(u"apps/com.a.b_2.app"_s)).isEmpty());

        QVERIFY(!InstallFiles::moveToFreeName(source, dir.path(), u"a.app"_s, &error));
        QVERIFY2(error.contains(source), qPrintable(error));
    }

    void removingALinkKeepsItsTarget() {
        QTemporaryDir dir;
        QVERIFY(makeFolderWithFile(dir.filePath(u"precious"_s)));
        QVERIFY(QFile::link(dir.filePath(u"precious"_s), dir.filePath(u"link.app"_s)));
        QVERIFY(InstallFiles::removeItem(dir.filePath(u"link.app"_s)));
        QVERIFY(QFile::exists(dir.filePath(u"precious/payload"_s)));
        QVERIFY(!QFileInfo(dir.filePath(u"link.app"_s)).isSymLink());
    }

    void honoursOnlySingleFolderNames_data() {
        QTest::addColumn<QVariant>("containers");
        QTest::addColumn<QStringList>("names");
        const auto entry = [](const QVariant &name) {
            return QVariant(QVariantMap{{u"folderName"_s, name}});
        };
        QTest::newRow("leaving names and non-strings skipped")
            << QVariant(QVariantList{entry(u"../../etc"_s), entry(u"/abs"_s), entry(u"a/b"_s), entry(u".."_s),
                                     entry(u"."_s), entry(QString()), entry(7), entry(u"A-1"_s),
                                     entry(u"B"_s)})
            << QStringList{u"A-1"_s, u"B"_s};
        QTest::newRow("element not a dictionary")
            << QVariant(QVariantList{entry(u"ok"_s), u"loose"_s}) << QStringList();
        QTest::newRow("not an array") << QVariant(QVariantMap{{u"folderName"_s, u"x"_s}}) << QStringList();
    }

    void honoursOnlySingleFolderNames() {
        QFETCH(QVariant, containers);
        QFETCH(QStringList, names);
        QCOMPARE(LiveContainer::dataContainerNames({{u"LCContainers"_s, containers}}), names);
    }

    void readsNamesVersionsAndIdentifiers_data() {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<QStringList>("expected"); // name, bundle identifier, version ("-": none)
        const QVariantMap id{{u"CFBundleIdentifier"_s, u" com.a.b\n"_s}};
        QTest::newRow("display name trimmed, identifier trimmed")
            << with(id, {{u"CFBundleDisplayName"_s, u"  Game "_s}, {u"CFBundleName"_s, u"Other"_s}})
            << QStringList{u"Game"_s, u"com.a.b"_s, u"-"_s};
        QTest::newRow("display name of another type, version kept untrimmed")
            << with(id, {{u"CFBundleDisplayName"_s, 5},
                         {u"CFBundleName"_s, u"Named"_s},
                         {u"CFBundleShortVersionString"_s, u"2.0 "_s},
                         {u"CFBundleVersion"_s, u"42"_s}})
            << QStringList{u"Named"_s, u"com.a.b"_s, u"2.0 "_s};
        QTest::newRow("folder name, bundle version only") << with(id, {{u"CFBundleVersion"_s, u"42"_s}})
                                                          << QStringList{u"My.Tool"_s, u"com.a.b"_s, u"42"_s};
        QTest::newRow("no identifier") << QVariantMap{{u"CFBundleShortVersionString"_s, 3}}
                                       << QStringList{u"My.Tool"_s, u"unknown"_s, u"-"_s};
        QTest::newRow("blank identifier") << QVariantMap{{u"CFBundleIdentifier"_s, u" \n"_s}}
                                          << QStringList{u"My.Tool"_s, u"unknown"_s, u"-"_s};
    }

    void readsNamesVersionsAndIdentifiers() {
        QFETCH(QVariantMap, info);
        QFETCH(QStringList, expected);
        for (const Format format : {Format::Xml, Format::Binary}) {
            QTemporaryDir dir;
            const QString folder = dir.filePath(u"My.Tool.app"_s);
            QVERIFY(AppBundleWriter::writeApp(folder, info, format));
            const LocalApp app = InstalledAppsScanner::readApp(folder);
            QCOMPARE((QStringList{app.name, app.bundleID, app.version.value_or(u"-"_s)}), expected);
        }
    }

    void unreadableInfoGivesAnUnknownAppWithoutIcon() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"Broken.app"_s);
        for (const QByteArray &contents :
             {QByteArray("not a plist"), QByteArray("<plist><array/></plist>")}) {
            QVERIFY(AppBundleWriter::writeApp(folder, {}, Format::Xml, {u"AppIcon.png"_s}));
            QFile file(folder + u"/Info.plist"_s);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) > 0);
            file.close();
            const LocalApp app = InstalledAppsScanner::readApp(folder);
            QCOMPARE(app.name, u"Broken"_s);
            QCOMPARE(app.bundleID, u"unknown"_s);
            QVERIFY(!app.version && !app.iconURL);
        }
    }

    // The lists are walked from the last name back; per name: base, @2x, @3x, 60x60@2x, each as
    // png then jpg; then the fallbacks AppIcon60x60 and AppIcon.
    void searchesIconsInTheirOrder_data() {
        QTest::addColumn<QVariantMap>("icons");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");
        const QVariantMap twenty60 = iconsUnder(u"CFBundleIcons"_s, {u"Icon-20"_s, u"Icon-60"_s});
        QTest::newRow("last name first")
            << twenty60 << QStringList{u"Icon-20.png"_s, u"Icon-60@3x.png"_s} << u"Icon-60@3x.png"_s;
        QTest::newRow("jpg before @2x")
            << twenty60 << QStringList{u"Icon-60@2x.png"_s, u"Icon-60.jpg"_s} << u"Icon-60.jpg"_s;
        QTest::newRow("60x60@2x suffix")
            << twenty60 << QStringList{u"Icon-20.png"_s, u"Icon-6060x60@2x.jpg"_s}
            << u"Icon-6060x60@2x.jpg"_s;
        QTest::newRow("fallbacks in order")
            << twenty60 << QStringList{u"AppIcon.png"_s, u"AppIcon60x60@2x.png"_s}
            << u"AppIcon60x60@2x.png"_s;
        QTest::newRow("top level, then ipad, then primary")
            << with(with(iconsUnder(u"CFBundleIcons"_s, {u"A"_s}),
                         iconsUnder(u"CFBundleIcons~ipad"_s, {u"B"_s})),
                    {{u"CFBundleIconFiles"_s, QStringList{u"C"_s}}})
            << QStringList{u"A.png"_s, u"B.png"_s, u"C.png"_s} << u"C.png"_s;
        QTest::newRow("list with a non-string adds nothing")
            << QVariantMap{{u"CFBundleIconFiles"_s, QVariantList{u"X"_s, 5}}} << QStringList{u"X.png"_s}
            << QString();
    }

    void searchesIconsInTheirOrder() {
        QFETCH(QVariantMap, icons);
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"a.app"_s);
        QVERIFY(AppBundleWriter::writeApp(folder, icons, Format::Binary, files));
        const auto icon = InstalledAppsScanner::readApp(folder).iconURL;
        QCOMPARE(icon ? icon->fileName() : QString(), expected);
    }

    void listsOnlyAppFoldersInListingOrder() {
        QTemporaryDir dir;
        QVERIFY(InstalledAppsScanner::scan(dir.filePath(u"absent"_s)).isEmpty());
        for (const QString &name : {u"b.app"_s, u"a.app"_s, u"Temp_1234"_s, u"x.APP"_s, u".app"_s})
            QVERIFY(AppBundleWriter::writeApp(dir.filePath(name), {}));
        QStringList expected;
        for (const QString &entry :
             QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted)) {
            if (entry == u"a.app"_s || entry == u"b.app"_s)
                expected.append(entry);
        }
        QStringList listed;
        for (const LocalApp &app : InstalledAppsScanner::scan(dir.path()))
            listed.append(app.url.fileName());
        QCOMPARE(listed, expected);
    }
};

KIVO_TEST_MAIN(TestInstallPieces)
#include "tst_installfiles.moc"

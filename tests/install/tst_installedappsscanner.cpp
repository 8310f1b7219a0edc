#include "appbundlewriter.h"
#include "downloads/installedappsscanner.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using AppBundleWriter::Format;

namespace {

QVariantMap primaryIcons(const QString &iconsKey, const QStringList &files) {
    return {
        {iconsKey, QVariantMap{{u"CFBundlePrimaryIcon"_s, QVariantMap{{u"CFBundleIconFiles"_s, files}}}}}};
}

QVariantMap merged(QVariantMap a, const QVariantMap &b) {
    a.insert(b);
    return a;
}

QString fileNameOf(const std::optional<QUrl> &url) {
    return url ? url->fileName() : QString();
}

} // namespace

class TestInstalledAppsScanner : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsNamesVersionsAndIdentifiers_data() {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("version"); // "-" for none

        const QVariantMap id{{u"CFBundleIdentifier"_s, u"com.a.b"_s}};
        QTest::newRow("display name trimmed, preferred")
            << merged(id, {{u"CFBundleDisplayName"_s, u"  Game \n"_s}, {u"CFBundleName"_s, u"Other"_s}})
            << int(Format::Xml) << u"Game"_s << u"com.a.b"_s << u"-"_s;
        QTest::newRow("bundle name, binary")
            << merged(id, {{u"CFBundleName"_s, u" Tool "_s}, {u"CFBundleShortVersionString"_s, u"2.0 "_s}})
            << int(Format::Binary) << u"Tool"_s << u"com.a.b"_s << u"2.0 "_s;
        QTest::newRow("display name of another type")
            << merged(id, {{u"CFBundleDisplayName"_s, 5}, {u"CFBundleName"_s, u"Named"_s}})
            << int(Format::Xml) << u"Named"_s << u"com.a.b"_s << u"-"_s;
        QTest::newRow("folder name when unnamed")
            << id << int(Format::Binary) << u"My.Tool"_s << u"com.a.b"_s << u"-"_s;
        QTest::newRow("bundle version only") << merged(id, {{u"CFBundleVersion"_s, u"42"_s}})
                                             << int(Format::Xml) << u"My.Tool"_s << u"com.a.b"_s << u"42"_s;
        QTest::newRow("short version preferred")
            << merged(id, {{u"CFBundleVersion"_s, u"42"_s}, {u"CFBundleShortVersionString"_s, u"1.2"_s}})
            << int(Format::Binary) << u"My.Tool"_s << u"com.a.b"_s << u"1.2"_s;
        QTest::newRow("version of another type")
            << merged(id, {{u"CFBundleShortVersionString"_s, 3}}) << int(Format::Xml) << u"My.Tool"_s
            << u"com.a.b"_s << u"-"_s;
        QTest::newRow("identifier trimmed") << QVariantMap{{u"CFBundleIdentifier"_s, u" com.a.b\n"_s}}
                                            << int(Format::Xml) << u"My.Tool"_s << u"com.a.b"_s << u"-"_s;
        QTest::newRow("blank identifier") << QVariantMap{{u"CFBundleIdentifier"_s, u" \n"_s}}
                                          << int(Format::Xml) << u"My.Tool"_s << u"unknown"_s << u"-"_s;
        QTest::newRow("no identifier") << QVariantMap{{u"CFBundleName"_s, u"X"_s}} << int(Format::Binary)
                                       << u"X"_s << u"unknown"_s << u"-"_s;
    }

    void readsNamesVersionsAndIdentifiers() {
        QFETCH(QVariantMap, info);
        QFETCH(int, format);
        QFETCH(QString, name);
        QFETCH(QString, bundleID);
        QFETCH(QString, version);
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"My.Tool.app"_s);
        QVERIFY(AppBundleWriter::writeApp(folder, info, Format(format)));

        const LocalApp app = InstalledAppsScanner::readApp(folder);
        QCOMPARE(app.name, name);
        QCOMPARE(app.bundleID, bundleID);
        QCOMPARE(app.version.value_or(u"-"_s), version);
        QCOMPARE(app.url, QUrl::fromLocalFile(folder));
    }

    void unreadableInfoGivesAnUnknownAppWithoutIcon_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("garbage") << QByteArray("not a plist at all");
        QTest::newRow("array root")
            << AppBundleWriter::plistBytes({}, Format::Xml).replace("<dict/>", "<array/>");
        QTest::newRow("missing") << QByteArray();
    }

    void unreadableInfoGivesAnUnknownAppWithoutIcon() {
        QFETCH(QByteArray, contents);
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"Broken.app"_s);
        QVERIFY(AppBundleWriter::writeApp(folder, {}, Format::Xml, {u"AppIcon.png"_s}));
        QFile::remove(folder + u"/Info.plist"_s);
        if (!contents.isEmpty()) {
            QFile file(folder + u"/Info.plist"_s);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        const LocalApp app = InstalledAppsScanner::readApp(folder);
        QCOMPARE(app.name, u"Broken"_s);
        QCOMPARE(app.bundleID, u"unknown"_s);
        QVERIFY(!app.version);
        QVERIFY(!app.iconURL);
    }

    // The icon lists are walked from their last name back to their first; within a name the
    // candidates go base, @2x, @3x, 60x60@2x, each as png then jpg.
    void searchesIconsInTheirOrder_data() {
        QTest::addColumn<QVariantMap>("icons");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");

        const QVariantMap twenty60 = primaryIcons(u"CFBundleIcons"_s, {u"Icon-20"_s, u"Icon-60"_s});
        QTest::newRow("last name first")
            << twenty60 << QStringList{u"Icon-20.png"_s, u"Icon-60@3x.png"_s} << u"Icon-60@3x.png"_s;
        QTest::newRow("jpg before @2x")
            << twenty60 << QStringList{u"Icon-60@2x.png"_s, u"Icon-60.jpg"_s} << u"Icon-60.jpg"_s;
        QTest::newRow("60x60@2x suffix")
            << twenty60 << QStringList{u"Icon-20.png"_s, u"Icon-6060x60@2x.jpg"_s}
            << u"Icon-6060x60@2x.jpg"_s;
        QTest::newRow("earlier name when later missing")
            << twenty60 << QStringList{u"Icon-20@2x.png"_s} << u"Icon-20@2x.png"_s;
        QTest::newRow("no keys, AppIcon60x60@2x")
            << QVariantMap() << QStringList{u"AppIcon60x60@2x.png"_s} << u"AppIcon60x60@2x.png"_s;
        QTest::newRow("AppIcon60x60 before AppIcon")
            << QVariantMap() << QStringList{u"AppIcon.png"_s, u"AppIcon60x60.jpg"_s} << u"AppIcon60x60.jpg"_s;
        QTest::newRow("fallback after listed names miss")
            << twenty60 << QStringList{u"AppIcon.png"_s} << u"AppIcon.png"_s;
        QTest::newRow("top-level list is searched before ipad and primary")
            << merged(merged(primaryIcons(u"CFBundleIcons"_s, {u"A"_s}),
                             primaryIcons(u"CFBundleIcons~ipad"_s, {u"B"_s})),
                      {{u"CFBundleIconFiles"_s, QStringList{u"C"_s}}})
            << QStringList{u"A.png"_s, u"B.png"_s, u"C.png"_s} << u"C.png"_s;
        QTest::newRow("ipad before primary") << merged(primaryIcons(u"CFBundleIcons"_s, {u"A"_s}),
                                                       primaryIcons(u"CFBundleIcons~ipad"_s, {u"B"_s}))
                                             << QStringList{u"A.png"_s, u"B.png"_s} << u"B.png"_s;
        QTest::newRow("list with a non-string adds nothing")
            << QVariantMap{{u"CFBundleIconFiles"_s, QVariantList{u"X"_s, 5}}}
            << QStringList{u"X.png"_s, u"AppIcon.png"_s} << u"AppIcon.png"_s;
        QTest::newRow("primary icon of another type")
            << QVariantMap{{u"CFBundleIcons"_s, QVariantMap{{u"CFBundlePrimaryIcon"_s, u"X"_s}}}}
            << QStringList{u"X.png"_s} << QString();
        QTest::newRow("no icon at all") << twenty60 << QStringList{u"Other.png"_s} << QString();
    }

    void searchesIconsInTheirOrder() {
        QFETCH(QVariantMap, icons);
        QFETCH(QStringList, files);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"a.app"_s);
        QVariantMap info = icons;
        info.insert(u"CFBundleIdentifier"_s, u"a"_s);
        QVERIFY(AppBundleWriter::writeApp(folder, info, Format::Binary, files));
        QCOMPARE(fileNameOf(InstalledAppsScanner::readApp(folder).iconURL), expected);
    }

    void listsOnlyAppFoldersInListingOrder() {
        QTemporaryDir dir;
        for (const QString &name :
             {u"b.app"_s, u"a.app"_s, u"c.app"_s, u"Temp_1234"_s, u"x.APP"_s, u".app"_s, u"app"_s})
            QVERIFY(AppBundleWriter::writeApp(dir.filePath(name), {{u"CFBundleIdentifier"_s, name}}));
        QFile notes(dir.filePath(u"notes.txt"_s));
        QVERIFY(notes.open(QIODevice::WriteOnly));

        QStringList expected;
        for (const QString &entry :
             QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted)) {
            if (entry.endsWith(u".app"_s) && entry != u".app"_s)
                expected.append(entry);
        }
        QStringList listed;
        for (const LocalApp &app : InstalledAppsScanner::scan(dir.path()))
            listed.append(app.url.fileName());
        QCOMPARE(listed, expected);
        QCOMPARE(listed.size(), 3);
    }

    void missingFolderGivesNoApps() {
        QTemporaryDir dir;
        QVERIFY(InstalledAppsScanner::scan(dir.filePath(u"absent"_s)).isEmpty());
        QVERIFY(InstalledAppsScanner::scan(dir.path()).isEmpty());
    }
};

KIVO_TEST_MAIN(TestInstalledAppsScanner)
#include "tst_installedappsscanner.moc"

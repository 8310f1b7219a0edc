#include "downloads/installfiles.h"
#include "downloads/livecontainer.h"
#include "platform/urlopener.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

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

} // namespace

class TestInstallFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { UrlOpener::shared().setForwardToDesktop(false); }

    void pathExtensionIsTheTextAfterTheLastDot_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::newRow("bundle") << u"com.a.b.app"_s << u"app"_s;
        QTest::newRow("capitals kept") << u"X.APP"_s << u"APP"_s;
        QTest::newRow("hidden") << u".app"_s << QString();
        QTest::newRow("trailing dot") << u"app."_s << QString();
        QTest::newRow("none") << u"Temp_1"_s << QString();
    }

    void pathExtensionIsTheTextAfterTheLastDot() {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QCOMPARE(InstallFiles::pathExtension(name), extension);
    }

    void insideFolderComparesWholeComponents_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("inside");
        QTest::newRow("child") << u"/home/u/Documents/App.ipa"_s << true;
        QTest::newRow("deeper") << u"/home/u/Documents/sub/App.ipa"_s << true;
        QTest::newRow("sibling with the same prefix") << u"/home/u/Documents2/App.ipa"_s << false;
        QTest::newRow("dot-dot out") << u"/home/u/Documents/../App.ipa"_s << false;
        QTest::newRow("elsewhere") << u"/tmp/App.ipa"_s << false;
    }

    void insideFolderComparesWholeComponents() {
        QFETCH(QString, path);
        QFETCH(bool, inside);
        QCOMPARE(InstallFiles::isInsideFolder(path, u"/home/u/Documents"_s), inside);
        QCOMPARE(InstallFiles::isInsideFolder(path, u"/home/u/Documents/"_s), inside);
    }

    // Moving into place must be a rename: the folder keeps its inode, nothing is copied.
    void movesToTheFirstFreeNameByRenaming() {
        QTemporaryDir dir;
        QVERIFY(makeFolderWithFile(dir.filePath(u"apps/com.a.b.app"_s)));
        QVERIFY(makeFolderWithFile(dir.filePath(u"apps/com.a.b_1.app"_s)));
        QVERIFY(QDir().mkpath(dir.filePath(u"apps/com.a.b_2.app"_s))); // empty, still taken
        QVERIFY(makeFolderWithFile(dir.filePath(u"Temp_X/Payload/Game.app"_s)));
        const QString source = dir.filePath(u"Temp_X/Payload/Game.app"_s);
        const ino_t inode = inodeOf(source);

        QString error;
        const auto placed =
            InstallFiles::moveToFreeName(source, dir.filePath(u"apps"_s), u"com.a.b.app"_s, &error);
        QVERIFY2(placed, qPrintable(error));
        QCOMPARE(*placed, dir.filePath(u"apps/com.a.b_3.app"_s));
        QCOMPARE(inodeOf(*placed), inode);
        QVERIFY(QFile::exists(*placed + u"/payload"_s));
        QVERIFY(QDir(dir.filePath(u"apps/com.a.b_2.app"_s)).isEmpty());
        QVERIFY(!QFile::exists(source));
    }

    void moveFailureSaysWhy() {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!InstallFiles::moveToFreeName(dir.filePath(u"absent.app"_s), dir.path(), u"a.app"_s, &error));
        QVERIFY2(error.contains(u"absent.app"_s), qPrintable(error));
    }

    void removingALinkKeepsItsTarget() {
        QTemporaryDir dir;
        QVERIFY(makeFolderWithFile(dir.filePath(u"precious"_s)));
        QVERIFY(QFile::link(dir.filePath(u"precious"_s), dir.filePath(u"link.app"_s)));
        QVERIFY(InstallFiles::removeItem(dir.filePath(u"link.app"_s)));
        QVERIFY(QFile::exists(dir.filePath(u"precious/payload"_s)));
        QVERIFY(!QFileInfo(dir.filePath(u"link.app"_s)).isSymLink());

        QVERIFY(makeFolderWithFile(dir.filePath(u"tree/sub"_s)));
        QVERIFY(InstallFiles::removeItem(dir.filePath(u"tree"_s)));
        QVERIFY(!QFile::exists(dir.filePath(u"tree"_s)));
        QVERIFY(InstallFiles::removeItem(dir.filePath(u"never-there"_s)));
    }

    void honoursOnlySingleFolderNames_data() {
        QTest::addColumn<QVariant>("containers");
        QTest::addColumn<QStringList>("names");
        const auto entry = [](const QVariant &name) {
            return QVariant(QVariantMap{{u"folderName"_s, name}});
        };
        QTest::newRow("plain") << QVariant(QVariantList{entry(u"A-1"_s), entry(u"B"_s)})
                               << QStringList{u"A-1"_s, u"B"_s};
        QTest::newRow("traversal and absolute skipped")
            << QVariant(QVariantList{entry(u"../../etc"_s), entry(u"/abs"_s), entry(u"a/b"_s), entry(u".."_s),
                                     entry(u"."_s), entry(QString()), entry(u"ok"_s)})
            << QStringList{u"ok"_s};
        QTest::newRow("non-string name skipped")
            << QVariant(QVariantList{entry(7), entry(u"ok"_s)}) << QStringList{u"ok"_s};
        QTest::newRow("element not a dictionary")
            << QVariant(QVariantList{entry(u"ok"_s), u"loose"_s}) << QStringList();
        QTest::newRow("not an array") << QVariant(QVariantMap{{u"folderName"_s, u"x"_s}}) << QStringList();
    }

    void honoursOnlySingleFolderNames() {
        QFETCH(QVariant, containers);
        QFETCH(QStringList, names);
        QCOMPARE(LiveContainer::dataContainerNames({{u"LCContainers"_s, containers}}), names);
    }

    void opensTheTwoActions() {
        QSignalSpy opened(&UrlOpener::shared(), &UrlOpener::urlOpened);
        QVERIFY(LiveContainer::launchApp(u"com.example.game_1.app"_s));
        QVERIFY(LiveContainer::openLiveContainer());
        QVERIFY(!LiveContainer::launchApp(u"My Game.app"_s)); // not a valid URL: nothing opens
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(0).at(0).toUrl().toString(),
                 u"livecontainer://livecontainer-launch?bundle-name=com.example.game_1.app"_s);
        QCOMPARE(opened.at(1).at(0).toUrl().toString(), u"livecontainer://install"_s);
    }
};

KIVO_TEST_MAIN(TestInstallFiles)
#include "tst_installfiles.moc"

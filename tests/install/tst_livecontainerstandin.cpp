#include "platform/propertylist.h"
#include "support/testmain.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

// Runs the stand-in as a process of its own; the exit code, or -1 when it did not finish.
int runStandIn(const QStringList &arguments, const QString &storageFromEnvironment = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!storageFromEnvironment.isEmpty())
        environment.insert(u"LIVECONTAINER_STORAGE"_s, storageFromEnvironment);
    process.setProcessEnvironment(environment);
    process.start(QString::fromUtf8(KIVO_LIVECONTAINER_STANDIN), arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode()
                                                                                          : -1;
}

QString launchURL(const QString &folder) {
    return u"livecontainer://livecontainer-launch?bundle-name="_s + folder;
}

void makeApp(const QString &folder, const QVariantMap &appInfo = {}) {
    QDir().mkpath(folder);
    PropertyList::writeXml(folder + u"/Info.plist"_s, {{u"CFBundleIdentifier"_s, u"com.example.game"_s}});
    if (!appInfo.isEmpty())
        PropertyList::writeXml(folder + u"/LCAppInfo.plist"_s, appInfo);
}

QStringList containers(const QString &storage) {
    return QDir(storage + u"/Data/Application"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

QString firstContainerName(const QString &appInfoPath) {
    const auto info = PropertyList::readDictionary(appInfoPath);
    return info ? info->value(u"LCContainers"_s).toList().value(0).toMap().value(u"folderName"_s).toString()
                : QString();
}

} // namespace

class TestLiveContainerStandIn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The first launch creates a container and names it in "LCAppInfo.plist"; later launches
    // reuse it and leave the file as it is, since its creation date marks a version's first run.
    void firstLaunchCreatesAContainerLaterLaunchesReuseIt() {
        QTemporaryDir storage;
        const QString app = storage.filePath(u"Applications/com.example.game.app"_s);
        makeApp(app);
        QCOMPARE(runStandIn({u"--storage"_s, storage.path(), launchURL(u"com.example.game.app"_s)}), 0);
        const QStringList created = containers(storage.path());
        QCOMPARE(created.size(), 1);
        QVERIFY(
            QFileInfo(storage.filePath(u"Data/Application/"_s + created.first() + u"/Documents"_s)).isDir());
        QCOMPARE(firstContainerName(app + u"/LCAppInfo.plist"_s), created.first());

        const QDateTime written = QFileInfo(app + u"/LCAppInfo.plist"_s).lastModified();
        QCOMPARE(runStandIn({launchURL(u"com.example.game.app"_s)}, storage.path()), 0);
        QCOMPARE(containers(storage.path()), created);
        QCOMPARE(QFileInfo(app + u"/LCAppInfo.plist"_s).lastModified(), written);
    }

    // Without "Applications" the storage folder holds the apps; "install" creates the layout.
    void followsTheStorageLayout() {
        QTemporaryDir storage;
        makeApp(storage.filePath(u"a.b.app"_s));
        QCOMPARE(runStandIn({u"--storage"_s, storage.path(), launchURL(u"a.b.app"_s)}), 0);
        QVERIFY(QFileInfo::exists(storage.filePath(u"a.b.app/LCAppInfo.plist"_s)));
        QCOMPARE(runStandIn({u"--storage"_s, storage.path(), u"livecontainer://install"_s}), 0);
        QVERIFY(QFileInfo(storage.filePath(u"Applications"_s)).isDir());
    }

    void refusesWhatItCannotAnswer_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("missing app") << launchURL(u"absent.app"_s);
        QTest::newRow("parent folder") << launchURL(u".."_s);
        QTest::newRow("path") << launchURL(u"../Applications/a.app"_s);
        QTest::newRow("no name") << u"livecontainer://livecontainer-launch"_s;
        QTest::newRow("unknown action") << u"livecontainer://settings"_s;
        QTest::newRow("other scheme") << u"https://example.com/a.app"_s;
    }

    void refusesWhatItCannotAnswer() {
        QFETCH(QString, url);
        QTemporaryDir storage;
        makeApp(storage.filePath(u"Applications/a.app"_s));
        QCOMPARE(runStandIn({u"--storage"_s, storage.path(), url}), 1);
        QVERIFY(containers(storage.path()).isEmpty());
    }

    // Metadata that came with an archive must not point the container outside "Data/Application".
    void ignoresContainerNamesThatLeaveTheDataFolder() {
        QTemporaryDir storage;
        const QString app = storage.filePath(u"Applications/a.app"_s);
        const QVariantList hostile{QVariantMap{{u"folderName"_s, u"../../escape"_s}}};
        makeApp(app, {{u"LCContainers"_s, hostile}, {u"keep"_s, 7}});
        QCOMPARE(runStandIn({u"--storage"_s, storage.path(), launchURL(u"a.app"_s)}), 0);
        QVERIFY(!QFileInfo::exists(storage.filePath(u"escape"_s)));
        QCOMPARE(QStringList{firstContainerName(app + u"/LCAppInfo.plist"_s)}, containers(storage.path()));
        QCOMPARE(PropertyList::readDictionary(app + u"/LCAppInfo.plist"_s)->value(u"keep"_s),
                 QVariant(qint64(7)));
    }
};

KIVO_TEST_MAIN(TestLiveContainerStandIn)
#include "tst_livecontainerstandin.moc"

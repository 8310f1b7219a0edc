#include "platform/propertylist.h"
#include "support/testmain.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runStandIn(const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QString::fromUtf8(KIVO_LIVECONTAINER_STANDIN), arguments);
    if (!process.waitForFinished(30000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

Run launch(const QString &storage, const QString &folder) {
    return runStandIn(
        {u"--storage"_s, storage, u"livecontainer://livecontainer-launch?bundle-name="_s + folder});
}

void makeApp(const QString &appsFolder, const QString &folder, const QString &bundleID) {
    QDir().mkpath(appsFolder + u'/' + folder);
    PropertyList::writeXml(appsFolder + u'/' + folder + u"/Info.plist"_s,
                           {{u"CFBundleIdentifier"_s, bundleID}});
}

QStringList containers(const QString &storage) {
    return QDir(storage + u"/Data/Application"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

class TestLiveContainerStandIn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstLaunchCreatesAContainerLaterLaunchesReuseIt() {
        QTemporaryDir storage;
        makeApp(storage.filePath(u"Applications"_s), u"com.example.game.app"_s, u"com.example.game"_s);

        const Run first = launch(storage.path(), u"com.example.game.app"_s);
        QCOMPARE(first.exitCode, 0);
        const QStringList created = containers(storage.path());
        QCOMPARE(created.size(), 1);
        for (const QString &sub : {u"Documents"_s, u"Library"_s, u"tmp"_s})
            QVERIFY(
                QFileInfo(storage.path() + u"/Data/Application/"_s + created.first() + u'/' + sub).isDir());

        const QString infoPath = storage.filePath(u"Applications/com.example.game.app/LCAppInfo.plist"_s);
        const auto info = PropertyList::readDictionary(infoPath);
        QVERIFY(info);
        const QVariantList listed = info->value(u"LCContainers"_s).toList();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().toMap().value(u"folderName"_s).toString(), created.first());
        QCOMPARE(info->value(u"LCBundleIdentifier"_s).toString(), u"com.example.game"_s);

        // The metadata file keeps its identity across launches: its creation date tells Kivo
        // that a new version has run.
        const QDateTime written = QFileInfo(infoPath).lastModified();
        const QByteArray bytes = [&] {
            QFile f(infoPath);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        const Run second = launch(storage.path(), u"com.example.game.app"_s);
        QCOMPARE(second.exitCode, 0);
        QVERIFY2(second.out.contains(created.first()), qPrintable(second.out));
        QCOMPARE(containers(storage.path()), created);
        QCOMPARE(QFileInfo(infoPath).lastModified(), written);
        QFile again(infoPath);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), bytes);
    }

    void storageWithoutApplicationsIsItsOwnApplicationsFolder() {
        QTemporaryDir storage;
        makeApp(storage.path(), u"a.b.app"_s, u"a.b"_s);
        QCOMPARE(launch(storage.path(), u"a.b.app"_s).exitCode, 0);
        QVERIFY(QFileInfo::exists(storage.filePath(u"a.b.app/LCAppInfo.plist"_s)));
        QCOMPARE(containers(storage.path()).size(), 1);
    }

    void takesTheStorageFromTheEnvironment() {
        QTemporaryDir storage;
        makeApp(storage.filePath(u"Applications"_s), u"x.app"_s, u"x"_s);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LIVECONTAINER_STORAGE"_s, storage.path());
        const Run run =
            runStandIn({u"livecontainer://livecontainer-launch?bundle-name=x.app"_s}, environment);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(containers(storage.path()).size(), 1);
    }

    void installPreparesTheStorageLayout() {
        QTemporaryDir storage;
        const Run run = runStandIn({u"--storage"_s, storage.path(), u"livecontainer://install"_s});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QFileInfo(storage.filePath(u"Applications"_s)).isDir());
        QVERIFY(QFileInfo(storage.filePath(u"Data/Application"_s)).isDir());
    }

    void refusesWhatItCannotAnswer_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("missing app") << u"livecontainer://livecontainer-launch?bundle-name=absent.app"_s;
        QTest::newRow("parent folder") << u"livecontainer://livecontainer-launch?bundle-name=.."_s;
        QTest::newRow("path") << u"livecontainer://livecontainer-launch?bundle-name=../Applications/a.app"_s;
        QTest::newRow("no name") << u"livecontainer://livecontainer-launch"_s;
        QTest::newRow("unknown action") << u"livecontainer://settings"_s;
        QTest::newRow("other scheme") << u"https://example.com/a.app"_s;
    }

    void refusesWhatItCannotAnswer() {
        QFETCH(QString, url);
        QTemporaryDir storage;
        makeApp(storage.filePath(u"Applications"_s), u"a.app"_s, u"a"_s);
        const Run run = runStandIn({u"--storage"_s, storage.path(), url});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!run.err.trimmed().isEmpty());
        QVERIFY(containers(storage.path()).isEmpty());
        QVERIFY(!QFileInfo::exists(storage.filePath(u"Applications/a.app/LCAppInfo.plist"_s)));
    }

    // Metadata that came with an archive must not point the container outside "Data/Application".
    void ignoresContainerNamesThatLeaveTheDataFolder() {
        QTemporaryDir storage;
        const QString app = storage.filePath(u"Applications/a.app"_s);
        makeApp(storage.filePath(u"Applications"_s), u"a.app"_s, u"a"_s);
        const QVariantList hostile{QVariantMap{{u"folderName"_s, u"../../escape"_s}},
                                   QVariantMap{{u"folderName"_s, u"/tmp/abs"_s}}};
        QVERIFY(PropertyList::writeXml(app + u"/LCAppInfo.plist"_s,
                                       {{u"LCContainers"_s, hostile}, {u"keep"_s, 7}}));

        QCOMPARE(launch(storage.path(), u"a.app"_s).exitCode, 0);
        QVERIFY(!QFileInfo::exists(storage.filePath(u"escape"_s)));
        const QStringList created = containers(storage.path());
        QCOMPARE(created.size(), 1);
        const auto info = PropertyList::readDictionary(app + u"/LCAppInfo.plist"_s);
        QCOMPARE(info->value(u"LCContainers"_s).toList().first().toMap().value(u"folderName"_s).toString(),
                 created.first());
        QCOMPARE(info->value(u"keep"_s).toLongLong(), 7);
    }
};

KIVO_TEST_MAIN(TestLiveContainerStandIn)
#include "tst_livecontainerstandin.moc"

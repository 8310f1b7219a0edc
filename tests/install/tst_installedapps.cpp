#include "appbundlewriter.h"
#include "downloads/downloadmanager.h"
#include "platform/defaultsstore.h"
#include "platform/propertylist.h"
#include "platform/urlopener.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QVariantMap appInfoNaming(const QStringList &containers) {
    QVariantList list;
    for (const QString &name : containers)
        list.append(QVariantMap{{u"folderName"_s, name}, {u"name"_s, u"Default"_s}});
    return {{u"LCContainers"_s, list}, {u"LCDataUUID"_s, containers.value(0)}};
}

bool makeContainer(const QString &path) {
    QFile file(path + u"/Documents/save.dat"_s);
    return QDir().mkpath(path + u"/Documents"_s) && file.open(QIODevice::WriteOnly) &&
           file.write("save") == 4;
}

} // namespace

class TestInstalledApps : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<DownloadManager> m_engine;
    std::unique_ptr<QTemporaryDir> m_storage;

    QString apps() const { return m_storage->filePath(u"Applications"_s); }
    QString containers() const { return m_storage->filePath(u"Data/Application"_s); }

    QString installApp(const QString &folder, const QString &bundleID, const QString &version) {
        const QString path = apps() + u'/' + folder;
        AppBundleWriter::writeApp(path, AppBundleWriter::info(bundleID, u"App"_s, version));
        return path;
    }

private Q_SLOTS:
    void initTestCase() { UrlOpener::shared().setForwardToDesktop(false); }

    void init() {
        m_storage = std::make_unique<QTemporaryDir>();
        QDir().mkpath(apps());
        QDir().mkpath(containers());
        m_engine = std::make_unique<DownloadManager>();
        m_engine->setCustomFolder(QUrl::fromLocalFile(m_storage->path()), true);
    }

    void cleanup() {
        m_engine.reset();
        DefaultsStore().remove(DownloadManager::kCustomLiveContainerFolderKey);
    }

    // The lookups answer from the list as published: a bundle on disk counts only after a scan.
    void lookupsReadThePublishedList() {
        const QString app = installApp(u"com.a.b.app"_s, u"com.a.b"_s, u"3.1"_s);
        QVERIFY(PropertyList::writeXml(app + u"/LCAppInfo.plist"_s, appInfoNaming({u"C1"_s})));
        installApp(u"com.c.d_1.app"_s, u"com.c.d"_s, u"1"_s);

        QVERIFY(!m_engine->hasLCAppInfo(u"com.a.b"_s));
        QVERIFY(!m_engine->installedVersion(u"com.a.b"_s));
        QVERIFY(!m_engine->installedFolderName(u"com.a.b"_s));

        QSignalSpy changed(m_engine.get(), &DownloadManager::installedAppsChanged);
        m_engine->scanInstalledApps();
        QCOMPARE(changed.size(), 1);
        QVERIFY(m_engine->hasLCAppInfo(u"com.a.b"_s));
        QVERIFY(!m_engine->hasLCAppInfo(u"com.c.d"_s));
        QVERIFY(!m_engine->hasLCAppInfo(u"com.absent"_s));
        QCOMPARE(m_engine->installedVersion(u"com.a.b"_s), std::optional<QString>(u"3.1"_s));
        QCOMPARE(m_engine->installedFolderName(u"com.c.d"_s), std::optional<QString>(u"com.c.d_1.app"_s));
        QCOMPARE(m_engine->installedFolderNameValue(u"com.absent"_s), QVariant());
        QCOMPARE(m_engine->findIconFile(QUrl::fromLocalFile(app), u"AppIcon"_s), std::optional<QUrl>());

        // A rescan of an unchanged folder changes nothing.
        m_engine->scanInstalledApps();
        QCOMPARE(changed.size(), 1);
    }

    void launchesByFolderName() {
        installApp(u"com.c.d_1.app"_s, u"com.c.d"_s, u"1"_s);
        m_engine->scanInstalledApps();
        QSignalSpy opened(&UrlOpener::shared(), &UrlOpener::urlOpened);
        QVERIFY(m_engine->launchApp(*m_engine->installedFolderName(u"com.c.d"_s)));
        QVERIFY(m_engine->openLiveContainer());
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(0).at(0).toUrl().toString(),
                 u"livecontainer://livecontainer-launch?bundle-name=com.c.d_1.app"_s);
        QCOMPARE(opened.at(1).at(0).toUrl().toString(), u"livecontainer://install"_s);
    }

    void deletingAnAppRemovesTheContainersItNames() {
        const QString app = installApp(u"com.a.b.app"_s, u"com.a.b"_s, u"1"_s);
        for (const QString &name : {u"C1"_s, u"C2"_s, u"Other"_s})
            QVERIFY(makeContainer(containers() + u'/' + name));
        QVERIFY(PropertyList::writeXml(app + u"/LCAppInfo.plist"_s, appInfoNaming({u"C1"_s, u"C2"_s})));
        installApp(u"com.keep.app"_s, u"com.keep"_s, u"1"_s);
        m_engine->scanInstalledApps();
        QCOMPARE(m_engine->installedApps().size(), 2);

        const LocalApp doomed =
            *std::find_if(m_engine->installedApps().cbegin(), m_engine->installedApps().cend(),
                          [](const LocalApp &a) { return a.bundleID == u"com.a.b"_s; });
        m_engine->deleteInstalledApp(doomed);

        QVERIFY(!QFile::exists(app));
        QVERIFY(!QFile::exists(containers() + u"/C1"_s));
        QVERIFY(!QFile::exists(containers() + u"/C2"_s));
        QVERIFY(QFile::exists(containers() + u"/Other/Documents/save.dat"_s));
        QCOMPARE(m_engine->installedApps().size(), 1);
        QCOMPARE(m_engine->installedApps().first().bundleID, u"com.keep"_s);
    }

    // "LCAppInfo.plist" can come inside an archive: names that lead out of the data containers
    // folder must not delete anything there.
    void deletingHonoursOnlySingleFolderNames() {
        QTemporaryDir outside;
        QVERIFY(makeContainer(outside.path()));
        QVERIFY(makeContainer(m_storage->filePath(u"victim"_s)));
        QVERIFY(makeContainer(m_storage->filePath(u"Data/Sibling"_s)));
        QVERIFY(makeContainer(containers() + u"/Mine"_s));
        const QString app = installApp(u"evil.app"_s, u"evil"_s, u"1"_s);
        QVERIFY(PropertyList::writeXml(
            app + u"/LCAppInfo.plist"_s,
            appInfoNaming({u"../../victim"_s, outside.path(), u"../Sibling"_s, u".."_s, u"."_s, u"Mine"_s})));
        m_engine->scanInstalledApps();
        m_engine->deleteInstalledApp(m_engine->installedApps().first());

        QVERIFY(QFile::exists(outside.filePath(u"Documents/save.dat"_s)));
        QVERIFY(QFile::exists(m_storage->filePath(u"victim/Documents/save.dat"_s)));
        QVERIFY(QFile::exists(m_storage->filePath(u"Data/Sibling/Documents/save.dat"_s)));
        QVERIFY(QFileInfo(containers()).isDir());
        QVERIFY(!QFile::exists(containers() + u"/Mine"_s));
        QVERIFY(!QFile::exists(app));
        QVERIFY(m_engine->installedApps().isEmpty());
    }

    void deletingWithoutLiveContainerFolderKeepsContainers() {
        QVERIFY(makeContainer(containers() + u"/C1"_s));
        m_engine->resetCustomFolder(true);
        const QString app = m_engine->applicationsFolder().toLocalFile() + u"/com.a.b.app"_s;
        QVERIFY(AppBundleWriter::writeApp(app, AppBundleWriter::info(u"com.a.b"_s, u"A"_s, u"1"_s)));
        QVERIFY(PropertyList::writeXml(app + u"/LCAppInfo.plist"_s, appInfoNaming({u"C1"_s})));
        m_engine->scanInstalledApps();
        m_engine->deleteInstalledApp(m_engine->installedApps().first());
        QVERIFY(!QFile::exists(app));
        QVERIFY(QFile::exists(containers() + u"/C1/Documents/save.dat"_s));
    }
};

KIVO_TEST_MAIN(TestInstalledApps)
#include "tst_installedapps.moc"

// The road scripts/demo offers a person, driven headless: the same sample source, server, seeded
// home and LiveContainer stand-in, the app's own window.

#include "demofixture.h"
#include "downloads/downloadmanager.h"
#include "platform/propertylist.h"
#include "samplesource.h"
#include "services/notificationmanager.h"
#include "store/appstoreviewmodel.h"
#include "support/testmain.h"
#include "ui/appshell.h"
#include "ui/cataloguelistmodel.h"
#include "ui/contentcontroller.h"
#include "walkthrough.h"

#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

namespace {

const QString kNotesID = u"org.example.notes"_s;

// The "LCContainers" folder names in the app's "LCAppInfo.plist".
QStringList containerNames(const QString &appFolder) {
    QStringList names;
    const auto info = PropertyList::readDictionary(appFolder + u"/LCAppInfo.plist"_s);
    for (const QVariant &container : info.value_or(QVariantMap()).value(u"LCContainers"_s).toList())
        names.append(container.toMap().value(u"folderName"_s).toString());
    return names;
}

} // namespace

class DemoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        AppShell::setUpApplication();
        QString error;
        QVERIFY2(m_demo.start(&error), qPrintable(error));
    }

    // Store → GET → converted → Apps tab → launch → the newer version with "Update Existing" →
    // "Complete Update" runs it: the app's data container is the one its first launch made.
    void getLaunchUpdateKeepsData() {
        AppShell shell;
        QQuickWindow *window = shell.load();
        QVERIFY(window);
        window->resize(1280, 800);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        Walkthrough walk(window);
        auto *store = window->findChild<AppStoreViewModel *>();
        auto *downloads = window->findChild<DownloadManager *>();
        auto *catalogue = window->findChild<CatalogueListModel *>();
        auto *controller = walk.find<ContentController>(u"contentController"_s);
        QObject *storeView = walk.find(u"storeView"_s);
        QVERIFY(store && downloads && catalogue && controller && storeView);

        // The detail of one Notes version, and its GET button.
        const auto getFromDetail = [&](const QString &version) {
            const QList<AppItem> rows = store->displayApps();
            const auto row = std::find_if(rows.cbegin(), rows.cend(), [](const AppItem &candidate) {
                return candidate.bundleIdentifier == kNotesID;
            });
            QVERIFY(row != rows.cend());
            const QList<AppItem> versions = store->versionsOfApp(*row);
            const auto item = std::find_if(versions.cbegin(), versions.cend(), [&](const AppItem &candidate) {
                return candidate.version == version;
            });
            QVERIFY(item != versions.cend());
            QMetaObject::invokeMethod(storeView, "openApp", Q_ARG(QVariant, QVariant::fromValue(*item)));
            QQuickItem *get = nullptr;
            QTRY_VERIFY((get = walk.findShownItem(u"getButton"_s, walk.findShownItem(u"headerDownload"_s))));
            walk.click(get);
        };
        // The first button of the alert on screen, when it says the text.
        const auto alertButton = [&](const QString &text) -> QQuickItem * {
            QQuickItem *button = walk.findShownItem(u"alertButton0"_s);
            return button && button->property("text").toString() == text ? button : nullptr;
        };
        const auto launchFromAppsTab = [&] {
            walk.click(walk.findShownItem(u"tab1"_s));
            // The "Download Complete" banner covers the first row of tiles while it shows.
            QTRY_VERIFY_WITH_TIMEOUT(!NotificationManager::shared().currentNotification(), 10000);
            QQuickItem *tile = nullptr;
            QTRY_VERIFY((tile = walk.findShownItem(u"appTile0"_s)));
            const qsizetype before = m_demo.launches().size();
            walk.click(tile);
            // A version LiveContainer has not run yet is set up by opening LiveContainer.
            QQuickItem *openLiveContainer = nullptr;
            QTRY_VERIFY((openLiveContainer = alertButton(u"Open LiveContainer"_s)));
            walk.click(openLiveContainer);
            QTRY_COMPARE(m_demo.launches().size(), before + 1);
            QVERIFY(m_demo.launches().constLast());
            walk.click(walk.findShownItem(u"tab0"_s));
        };
        const auto installedNotes = [&]() -> std::optional<LocalApp> {
            const QList<LocalApp> apps = downloads->installedApps();
            const auto found = std::find_if(apps.cbegin(), apps.cend(),
                                            [](const LocalApp &app) { return app.bundleID == kNotesID; });
            return found == apps.cend() ? std::nullopt : std::optional(*found);
        };
        const auto installedVersion = [&] {
            const auto notes = installedNotes();
            return notes ? notes->version.value_or(QString()) : QString();
        };

        // Every sample app from the served feed, Notes once for its two versions.
        QTRY_COMPARE_WITH_TIMEOUT(catalogue->rowCount(), SampleSource::apps().size() - 1, 15000);

        getFromDetail(u"1.0"_s);
        QVERIFY(!QTest::currentTestFailed());
        QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), u"1.0"_s, 15000);
        const QString appFolder = installedNotes()->url.toLocalFile();
        launchFromAppsTab();
        QVERIFY(!QTest::currentTestFailed());
        const QStringList firstContainers = containerNames(appFolder);
        QCOMPARE(firstContainers.size(), 1);
        // What the app keeps of its user's.
        QFile note(m_demo.liveContainerFolder() + u"/Data/Application/"_s + firstContainers.constFirst() +
                   u"/Documents/note.txt"_s);
        QVERIFY(note.open(QIODevice::WriteOnly) && note.write("kept") == 4);
        note.close();

        getFromDetail(u"1.1"_s);
        QVERIFY(!QTest::currentTestFailed());
        QTRY_VERIFY_WITH_TIMEOUT(controller->showConflictAlert(), 15000);
        QQuickItem *updateExisting = nullptr;
        QTRY_VERIFY((updateExisting = alertButton(u"Update Existing"_s)));
        walk.click(updateExisting);
        QTRY_COMPARE_WITH_TIMEOUT(installedVersion(), u"1.1"_s, 15000);
        QCOMPARE(downloads->pendingBackups().size(), 1);

        // Kivo asks to run the new version in LiveContainer, whose metadata must be younger than
        // the backup by a second.
        QTRY_VERIFY_WITH_TIMEOUT(controller->showsCompleteUpdate(), 10000);
        QQuickItem *runNewVersion = nullptr;
        QTRY_VERIFY((runNewVersion = alertButton(u"Open LiveContainer"_s)));
        QTest::qWait(1100);
        walk.click(runNewVersion);
        QTRY_COMPARE(m_demo.launches().size(), 2);
        QVERIFY(m_demo.launches().constLast());
        // Back from LiveContainer: the update is finished with the first launch's data.
        controller->setSceneActive(false);
        controller->setSceneActive(true);
        QTRY_VERIFY(downloads->pendingBackups().isEmpty());
        QCOMPARE(installedVersion(), u"1.1"_s);
        QCOMPARE(containerNames(installedNotes()->url.toLocalFile()), firstContainers);
        QVERIFY(note.open(QIODevice::ReadOnly));
        QCOMPARE(note.readAll(), QByteArray("kept"));
    }

private:
    DemoFixture m_demo;
};

int main(int argc, char **argv) {
    return runKivoTest<QGuiApplication, DemoTest>(argc, argv);
}

#include "tst_demo.moc"

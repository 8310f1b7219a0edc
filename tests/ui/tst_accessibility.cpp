// The main window as a screen reader meets it: each screen, sheet, alert and menu is opened in
// the real window against a loopback feed server, and the accessibility tree is walked for
// controls without a name and for icon glyphs read out as their ligature ("swap_vert").

#include "downloads/downloadmanager.h"
#include "fixtures/httpserver.h"
#include "install/appbundlewriter.h"
#include "install/installtestsupport.h"
#include "platform/urlopener.h"
#include "samplecatalogue.h"
#include "store/appstoreviewmodel.h"
#include "support/testmain.h"
#include "ui/appshell.h"
#include "ui/cataloguelistmodel.h"
#include "ui/contentcontroller.h"
#include "ui/keyboardshortcuts.h"
#include "ui/symbolicons.h"
#include "walkthrough.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

namespace {

// What a walk of one screen found.
struct Walk {
    int controls = 0;
    QStringList faults;
};

bool isControl(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::MenuItem:
    case QAccessible::PageTab:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
    case QAccessible::ListItem:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Link:
        return true;
    default:
        return false;
    }
}

// The object and the names of its ancestors, so that a fault can be found in the QML files.
QString describe(QObject *object) {
    QStringList path;
    for (auto *item = qobject_cast<QQuickItem *>(object); item && path.size() < 4;
         item = item->parentItem()) {
        if (!item->objectName().isEmpty() || path.isEmpty())
            path.prepend(QString::fromLatin1(item->metaObject()->className()) +
                         (item->objectName().isEmpty() ? QString() : u" \""_s + item->objectName() + u'"'));
    }
    return path.join(u" > "_s);
}

void walk(QAccessibleInterface *node, const QString &iconFont, Walk &found) {
    if (!node || !node->isValid() || node->state().invisible)
        return;
    QObject *object = node->object();
    QString name = node->text(QAccessible::Name).trimmed();
    // A button's text is its name: Qt Quick Controls hand it over only while a platform reader
    // listens (QAccessible::isActive()), which the offscreen platform never has.
    if (name.isEmpty() && object && object->inherits("QQuickAbstractButton"))
        name = object->property("text").toString().trimmed();
    // A page announces itself as a tab; only a tab button is one.
    const bool isPage =
        node->role() == QAccessible::PageTab && object && !object->inherits("QQuickAbstractButton");
    if (isControl(node->role()) && !isPage) {
        ++found.controls;
        if (name.isEmpty())
            found.faults.append(u"unnamed role "_s + QString::number(node->role()) + u": "_s +
                                describe(object));
    }
    if (!name.isEmpty() && object && name == object->property("text").toString() &&
        object->property("font").value<QFont>().family() == iconFont)
        found.faults.append(u"icon read out as \""_s + name + u"\": "_s + describe(object));
    // A combo box shows its choice in a text field of its own.
    if (node->role() == QAccessible::ComboBox)
        return;
    for (int i = 0; i < node->childCount(); ++i)
        walk(node->child(i), iconFont, found);
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyControlIsNamed();
    void readmeListsTheShortcuts();
    void cleanupTestCase();

private:
    // The walk of what the window shows now, its faults headed by the screen's name.
    Walk check(const QString &screen);
    // Items made by loaders and repeaters have no object parent: search the visual tree, and
    // only what is on screen.
    QQuickItem *shown(const QString &objectName, QQuickItem *from = nullptr) const;
    void click(QQuickItem *item, Qt::MouseButton button = Qt::LeftButton);
    bool popupOpen(const QString &objectName, QObject *under = nullptr) const;

    HttpServer m_server;
    QTemporaryDir m_archives;
    QTemporaryDir m_liveContainer;
    QList<AppItem> m_apps;
    std::unique_ptr<AppShell> m_shell;
    QQuickWindow *m_window = nullptr;
    QString m_iconFont;
};

void AccessibilityTest::initTestCase() {
    AppShell::setUpApplication();
    UrlOpener::shared().setForwardToDesktop(false);
    std::unique_ptr<SymbolIcons> icons(SymbolIcons::create(nullptr, nullptr));
    m_iconFont = icons->fontFamily();

    QVERIFY(m_server.start());
    const QString base = m_server.url(u""_s).toString(QUrl::StripTrailingSlash);
    m_apps = SampleCatalogue::apps(12, base);
    m_server.serveBytes(u"/Kivo/default_repos.csv"_s, (base + u"/feed.json\n"_s).toUtf8(), "text/plain");
    m_server.serveBytes(u"/feed.json"_s, SampleCatalogue::feed(u"Sample Apps"_s, m_apps), "application/json");
    m_server.serveBytes(u"/list.txt"_s, (base + u"/feed.json\n"_s).toUtf8(), "text/plain");
    for (int i = 0; i < 12; ++i)
        m_server.serveBytes(u"/screens/"_s + QString::number(i) + u".png"_s,
                            SampleCatalogue::screenshotPng(i), "image/png");
    for (int i = 0; i < 24; ++i)
        m_server.serveBytes(u"/icons/"_s + QString::number(i) + u".png"_s, SampleCatalogue::iconPng(i),
                            "image/png");
    // The first app downloads whole; the fourth runs slowly, to be seen with its ring.
    const QString archive = m_archives.path() + u"/first.ipa"_s;
    QVERIFY(InstallTest::writeAppIpa(archive, m_apps.at(0).bundleIdentifier, m_apps.at(0).name,
                                     m_apps.at(0).version));
    m_server.serveFile(QUrl(m_apps.at(0).downloadURL).path(), archive);
    m_server.setRoute(QUrl(m_apps.at(3).downloadURL).path(),
                      RouteResponse::bytes(QByteArray(40'000'000, 'x')).throttled(200'000).withEtag("v1"));
    {
        QNetworkAccessManager network;
        AppStoreViewModel seed(m_server.url(u"/Kivo/default_repos.csv"_s), &network);
        seed.waitForPendingSaves();
    }
    QVERIFY(QDir().mkpath(m_liveContainer.path() + u"/Applications"_s));

    m_shell = std::make_unique<AppShell>();
    m_window = m_shell->load();
    QVERIFY(m_window);
    m_window->resize(390, 844);
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void AccessibilityTest::cleanupTestCase() {
    m_shell.reset();
}

Walk AccessibilityTest::check(const QString &screen) {
    // Let transitions end and bindings settle.
    QTest::qWait(400);
    // Controls made since the last walk take their roles.
    QAccessible::setActive(true);
    Walk found;
    walk(QAccessible::queryAccessibleInterface(m_window), m_iconFont, found);
    for (QString &fault : found.faults)
        fault.prepend(screen + u": "_s);
    return found;
}

QQuickItem *AccessibilityTest::shown(const QString &objectName, QQuickItem *from) const {
    return Walkthrough(m_window).findShownItem(objectName, from);
}

void AccessibilityTest::click(QQuickItem *item, Qt::MouseButton button) {
    QVERIFY2(item, "nothing to click");
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(m_window, button, {}, centre.toPoint());
}

bool AccessibilityTest::popupOpen(const QString &objectName, QObject *under) const {
    auto *popup = (under ? under : m_window)->findChild<QObject *>(objectName);
    return popup && QTest::qWaitFor([&] { return popup->property("opened").toBool(); }, 5000);
}

void AccessibilityTest::everyControlIsNamed() {
    auto *store = m_window->findChild<AppStoreViewModel *>();
    auto *downloads = m_window->findChild<DownloadManager *>();
    auto *controller = m_window->findChild<ContentController *>(u"contentController"_s);
    auto *catalogue = m_window->findChild<CatalogueListModel *>();
    QObject *storeView = m_window->findChild<QObject *>(u"storeView"_s);
    QVERIFY(store && downloads && controller && catalogue && storeView);
    QStringList faults;
    // Each screen counts its controls: a screen that did not open would pass with none.
    const auto expect = [&](const QString &screen, int atLeast) {
        const Walk found = check(screen);
        faults += found.faults;
        return found.controls >= atLeast;
    };
    const auto escape = [&] {
        QTest::keyClick(m_window, Qt::Key_Escape);
        QTest::qWait(300);
    };

    // Prompts of the main window.
    QVERIFY(QTest::qWaitFor([&] { return controller->showSetupAlert(); }, 10000));
    QVERIFY(popupOpen(u"setupAlert"_s));
    QVERIFY(expect(u"setup alert"_s, 3));
    controller->later();
    controller->setShowFilePickerHelp(true);
    QVERIFY(popupOpen(u"filePickerHelpAlert"_s));
    QVERIFY(expect(u"file picker help"_s, 2));
    controller->setShowFilePickerHelp(false);
    controller->setShowConflictAlert(true);
    QVERIFY(popupOpen(u"conflictAlert"_s));
    QVERIFY(expect(u"conflict alert"_s, 3));
    controller->setShowConflictAlert(false);
    AppBackup backup;
    backup.bundleID = m_apps.at(0).bundleIdentifier;
    backup.appName = m_apps.at(0).name;
    backup.originalInstallPath = m_apps.at(0).bundleIdentifier + u".app"_s;
    controller->setVerificationBackup(backup);
    QVERIFY(popupOpen(u"completeUpdateAlert"_s));
    QVERIFY(expect(u"complete update alert"_s, 3));
    controller->dismissCompleteUpdate();

    // The store, its sort menu, and an app: downloaded and installed, then one downloading.
    downloads->setCustomFolder(QUrl::fromLocalFile(m_liveContainer.path()), true);
    QVERIFY(QTest::qWaitFor([&] { return catalogue->rowCount() > 0; }, 10000));
    QVERIFY(expect(u"store"_s, 6));
    click(m_window->findChild<QQuickItem *>(u"sortButton"_s));
    QVERIFY(popupOpen(u"sortMenu"_s));
    QVERIFY(expect(u"sort menu"_s, 4));
    escape();
    downloads->startDownload(QUrl(m_apps.at(0).downloadURL));
    QVERIFY(QTest::qWaitFor([&] { return !downloads->installedApps().isEmpty(); }, 15000));
    downloads->startDownload(QUrl(m_apps.at(3).downloadURL));
    // An archive of the second version lies in the downloads folder: its row offers the file.
    QFile archive(downloads->downloadFolder().toLocalFile() + u'/' +
                  QUrl(m_apps.at(1).downloadURL).fileName());
    QVERIFY(archive.open(QIODevice::WriteOnly) && archive.write("sample") == 6);
    archive.close();
    downloads->refreshFileList();
    const auto openApp = [&](const QString &bundleID) {
        for (const AppItem &row : catalogue->apps()) {
            if (row.bundleIdentifier == bundleID)
                return QMetaObject::invokeMethod(storeView, "openApp",
                                                 Q_ARG(QVariant, QVariant::fromValue(row)));
        }
        return false;
    };
    QVERIFY(openApp(m_apps.at(3).bundleIdentifier));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"ringButton"_s) != nullptr; }, 10000));
    QVERIFY(expect(u"detail while downloading"_s, 3));
    QMetaObject::invokeMethod(storeView, "closeApp");
    QVERIFY(openApp(m_apps.at(0).bundleIdentifier));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"openButton"_s) != nullptr; }, 10000));
    QVERIFY(expect(u"detail"_s, 5));
    // The version rows come last.
    auto *flick = m_window->findChild<QQuickItem *>(u"detailFlick"_s);
    flick->setProperty("contentY", qMax(0.0, flick->property("contentHeight").toDouble() - flick->height()));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"fileButton"_s) != nullptr; }, 10000));
    click(shown(u"fileButton"_s));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"shareAction0"_s) != nullptr; }, 5000));
    QVERIFY(expect(u"share sheet"_s, 4));
    escape();
    flick->setProperty("contentY", 0);
    click(shown(u"openButton"_s));
    QVERIFY(popupOpen(u"setupRequiredAlert"_s, storeView));
    QVERIFY(expect(u"setup required alert"_s, 2));
    escape();
    QMetaObject::invokeMethod(storeView, "closeApp");

    // Apps: the installed app, and an older version of another with its "Update".
    const QString applications = m_liveContainer.path() + u"/Applications/"_s;
    const AppItem &older = m_apps.at(6);
    QVERIFY(AppBundleWriter::writeApp(applications + older.bundleIdentifier + u".app"_s,
                                      AppBundleWriter::info(older.bundleIdentifier, older.name, u"0.1"_s)));
    click(shown(u"tab1"_s));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"updateButton"_s) != nullptr; }, 10000));
    QVERIFY(expect(u"apps"_s, 7));
    click(shown(u"appTile0"_s), Qt::RightButton);
    QVERIFY(popupOpen(u"appMenu"_s));
    QVERIFY(expect(u"app menu"_s, 6));
    escape();

    // Download: a transfer running, files, a file's menu and its rename alert.
    click(shown(u"tab2"_s));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"downloadRow0"_s) && shown(u"fileRow0"_s); }, 10000));
    QVERIFY(expect(u"download"_s, 8));
    click(shown(u"fileRow0"_s), Qt::RightButton);
    QVERIFY(popupOpen(u"fileMenu"_s));
    QVERIFY(expect(u"file menu"_s, 3));
    click(shown(u"renameItem"_s));
    QVERIFY(popupOpen(u"renameAlert"_s));
    QVERIFY(expect(u"rename alert"_s, 3));
    escape();
    downloads->cancelDownload(QUrl(m_apps.at(3).downloadURL));

    // Settings and its prompts.
    click(shown(u"tab3"_s));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"manageSources"_s) != nullptr; }, 5000));
    QVERIFY(expect(u"settings"_s, 9));
    click(shown(u"exportRepos"_s));
    QVERIFY(popupOpen(u"exportMenu"_s));
    QVERIFY(expect(u"export menu"_s, 3));
    escape();
    click(shown(u"importRepos"_s));
    QVERIFY(popupOpen(u"importSheet"_s));
    QVERIFY(expect(u"import sheet"_s, 3));
    escape();
    click(shown(u"resetToDefaults"_s));
    QVERIFY(popupOpen(u"resetAlert"_s));
    QVERIFY(expect(u"reset alert"_s, 2));
    escape();

    // Repos: a feed and a linked folder, their menu and prompts, edit mode, one level down.
    store->addFolder(u"Team List"_s, {}, QUrl(m_server.url(u"/list.txt"_s)));
    click(shown(u"manageSources"_s));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"reposList"_s) != nullptr; }, 5000));
    QVERIFY(expect(u"repos"_s, 5));
    click(shown(u"editButton"_s));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"rowDeleteButton"_s) != nullptr; }, 5000));
    QVERIFY(expect(u"repos editing"_s, 7));
    click(shown(u"editButton"_s));
    QQuickItem *folderRow = nullptr;
    QQuickItem *list = shown(u"reposList"_s);
    for (QQuickItem *row : list->property("contentItem").value<QQuickItem *>()->childItems()) {
        if (row->isVisible() && row->property("name").toString() == u"Team List"_s)
            folderRow = row;
    }
    QVERIFY(folderRow);
    click(folderRow, Qt::RightButton);
    QVERIFY(popupOpen(u"repoMenu"_s));
    QVERIFY(expect(u"repo menu"_s, 6));
    click(shown(u"renameItem"_s));
    QVERIFY(QTest::qWaitFor([&] { return shown(u"renameField"_s) != nullptr; }, 5000));
    QVERIFY(expect(u"rename folder"_s, 3));
    escape();
    click(folderRow, Qt::RightButton);
    QVERIFY(popupOpen(u"repoMenu"_s));
    click(shown(u"moveItem"_s));
    QVERIFY(popupOpen(u"moveSheet"_s));
    QVERIFY(expect(u"move sheet"_s, 2));
    escape();
    click(shown(u"addButton"_s));
    QVERIFY(popupOpen(u"addSheet"_s));
    QVERIFY(expect(u"add sources"_s, 5));
    click(shown(u"folderMode"_s));
    QVERIFY(expect(u"add folder"_s, 6));
    escape();
    click(folderRow);
    QVERIFY(QTest::qWaitFor([&] { return shown(u"emptyLevel"_s) || shown(u"rowSwitch"_s); }, 5000));
    QVERIFY(expect(u"repo folder"_s, 2));

    // Each fault once, on the first screen that shows it.
    QStringList seen;
    for (const QString &fault : std::as_const(faults)) {
        const QString what = fault.section(u": "_s, 1);
        if (!seen.contains(what)) {
            seen.append(what);
            qWarning("%s", qPrintable(fault));
        }
    }
    QVERIFY2(seen.isEmpty(), qPrintable(QString::number(seen.size()) + u" faults, listed above"_s));
}

// README's "Keyboard shortcuts" table is the table the screens bind, row for row.
void AccessibilityTest::readmeListsTheShortcuts() {
    QFile readme(QStringLiteral(KIVO_README));
    QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype start = text.indexOf(u"\n## Keyboard shortcuts\n"_s);
    QVERIFY(start >= 0);
    const qsizetype end = text.indexOf(u"\n## "_s, start + 1);
    const QString section = text.mid(start, end < 0 ? -1 : end - start);
    QStringList documented;
    static const QRegularExpression row(u"^\\| ([^|]+) \\| ([^|]+) \\|$"_s,
                                        QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch &match : row.globalMatch(section))
        documented.append(match.captured(1) + u" = "_s + match.captured(2));
    documented.removeFirst(); // the heading
    QStringList bound;
    for (const KeyboardShortcuts::Entry &entry : KeyboardShortcuts::all())
        bound.append(entry.sequence + u" = "_s + entry.description);
    QCOMPARE(documented, bound);
}

int main(int argc, char **argv) {
    TestHome home;
    QGuiApplication app(argc, argv);
    AccessibilityTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessibility.moc"

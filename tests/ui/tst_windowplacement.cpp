#include "platform/defaultsstore.h"
#include "support/testmain.h"
#include "ui/windowplacement.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Two screens side by side, the second smaller and lower: a place can be on either, or on neither
// while still inside the box around both.
const QRect kPrimary(0, 0, 1920, 1080);
const QRect kSecondary(1920, 0, 1280, 1024);
// The store shows the list and an app's detail side by side from this width on.
constexpr int kSplitViewWidth = 840;

// Main.qml's root as far as placement goes: a phone-sized window that shows itself.
const QByteArray kWindowQml = "import QtQuick\nWindow { visible: true; width: 420; height: 820 }\n";

// One start of the app: its window made with this start's initial properties, followed by a
// placement, as main() does.
struct Start {
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
    std::unique_ptr<WindowPlacement> placement;
    bool exposed = false;

    Start() {
        QQmlComponent component(&engine);
        component.setData(kWindowQml, QUrl());
        window.reset(qobject_cast<QQuickWindow *>(
            component.createWithInitialProperties(WindowPlacement::initialProperties())));
        if (!window)
            return;
        placement = std::make_unique<WindowPlacement>(window.get());
        exposed = QTest::qWaitForWindowExposed(window.get());
    }
    void close() {
        window->close();
        QCoreApplication::processEvents();
    }
};

void saveGeometry(const QRect &geometry, bool maximized = false) {
    DefaultsStore().setStringMap(WindowPlacement::kMainWindowGeometryKey,
                                 {{u"x"_s, QString::number(geometry.x())},
                                  {u"y"_s, QString::number(geometry.y())},
                                  {u"width"_s, QString::number(geometry.width())},
                                  {u"height"_s, QString::number(geometry.height())},
                                  {u"maximized"_s, maximized ? u"true"_s : u"false"_s}});
}

QRect geometryIn(const QVariantMap &properties) {
    return QRect(properties.value(u"x"_s).toInt(), properties.value(u"y"_s).toInt(),
                 properties.value(u"width"_s).toInt(), properties.value(u"height"_s).toInt());
}

} // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QCOMPARE(QGuiApplication::primaryScreen()->geometry(), kPrimary);
    }

    void init() { DefaultsStore().remove(WindowPlacement::kMainWindowGeometryKey); }

    // A first start opens wide enough for the split layout, centred on the primary screen; later
    // starts come back where the window was moved to, on either screen, and maximised when it was
    // left so; a maximised window keeps the place it returns to.
    void laterStartsRestoreThePlace() {
        QRect moved;
        {
            Start first;
            QVERIFY(first.exposed);
            const QRect opened = first.window->geometry();
            QVERIFY(opened.width() >= kSplitViewWidth);
            QVERIFY(kPrimary.contains(opened));
            QVERIFY(qAbs(opened.center().x() - kPrimary.center().x()) <= 1);
            QVERIFY(qAbs(opened.center().y() - kPrimary.center().y()) <= 1);

            moved = QRect(kSecondary.x() + 100, 150, 900, 640);
            first.window->setGeometry(moved);
            first.close();
        }
        {
            Start second;
            QCOMPARE(second.window->geometry(), moved);
            second.window->showMaximized();
            QTRY_COMPARE(second.window->visibility(), QWindow::Maximized);
            second.placement->save();
            second.close();
        }
        Start third;
        QTRY_COMPARE(third.window->visibility(), QWindow::Maximized);
        QCOMPARE(geometryIn(WindowPlacement::initialProperties()), moved);
    }

    // A place on no current screen (a screen unplugged since) gives the first start's place.
    void unreachablePlacesFallBack_data() {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<bool>("kept");
        QTest::newRow("on the second screen") << QRect(2000, 40, 800, 600) << true;
        QTest::newRow("its top edge 120 px on the first screen") << QRect(1800, 1030, 800, 600) << true;
        QTest::newRow("right of both screens") << QRect(4000, 100, 800, 600) << false;
        QTest::newRow("below the smaller screen") << QRect(2000, 1040, 800, 600) << false;
        QTest::newRow("its top edge above the screens") << QRect(100, -700, 800, 600) << false;
        QTest::newRow("its top edge 60 px on the first screen") << QRect(1860, 1030, 800, 600) << false;
    }

    void unreachablePlacesFallBack() {
        QFETCH(QRect, saved);
        QFETCH(bool, kept);
        QRect centred(QPoint(), WindowPlacement::kDefaultSize);
        centred.moveCenter(kPrimary.center());
        saveGeometry(saved, true);
        const QVariantMap properties = WindowPlacement::initialProperties();
        QCOMPARE(geometryIn(properties), kept ? saved : centred);
        QCOMPARE(properties.contains(u"visibility"_s), kept);
    }
};

int main(int argc, char **argv) {
    TestHome home;
    const QString config = home.path() + u"/screens.json"_s;
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(R"({"synchronousWindowSystemEvents": true, "screens": [
            {"name": "primary", "x": 0, "y": 0, "width": 1920, "height": 1080},
            {"name": "secondary", "x": 1920, "y": 0, "width": 1280, "height": 1024}]})") < 0)
        return 1;
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toUtf8());
    QGuiApplication app(argc, argv);
    app.setApplicationName(u"Kivo"_s);
    WindowPlacementTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowplacement.moc"

#include "platform/colorschemepreference.h"
#include "support/testmain.h"

#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

using ColorScheme = ColorSchemePreference::ColorScheme;

namespace {

QPalette paletteWithWindow(const QColor &window) {
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::Window, window);
    return palette;
}

void setEnvironment(const char *name, const QString &value) {
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, value.toUtf8());
}

} // namespace

class TestColorScheme : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // The desktop running the tests must not decide them: no portal can answer.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    }

    void cleanup() {
        qunsetenv(ColorSchemePreference::kOverrideVariable);
        qunsetenv("GTK_THEME");
    }

    // The first source that states a preference wins: the override, the GTK theme, the palette.
    void firstSourceWithAPreferenceWins_data() {
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("gtkTheme");
        QTest::addColumn<QColor>("window");
        QTest::addColumn<ColorScheme>("expected");
        const QColor light(0xF0, 0xF0, 0xF0);
        const QColor dark(0x20, 0x20, 0x24);
        QTest::newRow("override dark, light desktop")
            << u"dark"_s << u"Adwaita"_s << light << ColorScheme::Dark;
        QTest::newRow("override light, dark desktop")
            << u"Light"_s << u"Adwaita:dark"_s << dark << ColorScheme::Light;
        QTest::newRow("unknown override ignored") << u"dim"_s << QString() << dark << ColorScheme::Dark;
        QTest::newRow("GTK dark variant") << QString() << u"Adwaita:dark"_s << light << ColorScheme::Dark;
        QTest::newRow("GTK dark theme") << QString() << u"Arc-Dark"_s << light << ColorScheme::Dark;
        QTest::newRow("GTK light theme, dark palette")
            << QString() << u"Adwaita"_s << dark << ColorScheme::Dark;
        QTest::newRow("GTK name with dark inside")
            << QString() << u"Darkness-blue"_s << light << ColorScheme::Light;
        QTest::newRow("palette only, light") << QString() << QString() << light << ColorScheme::Light;
        QTest::newRow("palette only, mid grey")
            << QString() << QString() << QColor(0x70, 0x70, 0x70) << ColorScheme::Dark;
    }

    void firstSourceWithAPreferenceWins() {
        QFETCH(QString, override);
        QFETCH(QString, gtkTheme);
        QFETCH(QColor, window);
        QFETCH(ColorScheme, expected);
        setEnvironment(ColorSchemePreference::kOverrideVariable, override);
        setEnvironment("GTK_THEME", gtkTheme);
        QGuiApplication::setPalette(paletteWithWindow(window));
        const ColorSchemePreference preference;
        QCOMPARE(preference.colorScheme(), expected);
        QCOMPARE(preference.isDark(), expected == ColorScheme::Dark);
    }

    // A desktop that switches while the app runs switches the app, once per change; an override
    // holds.
    void followsThePaletteUnlessOverridden() {
        QGuiApplication::setPalette(paletteWithWindow(Qt::white));
        const ColorSchemePreference following;
        qputenv(ColorSchemePreference::kOverrideVariable, "light");
        const ColorSchemePreference overridden;
        QSignalSpy followingChanged(&following, &ColorSchemePreference::colorSchemeChanged);
        QSignalSpy overriddenChanged(&overridden, &ColorSchemePreference::colorSchemeChanged);

        QGuiApplication::setPalette(paletteWithWindow(QColor(0x12, 0x12, 0x12)));
        QCOMPARE(following.colorScheme(), ColorScheme::Dark);
        QGuiApplication::setPalette(paletteWithWindow(QColor(0x18, 0x18, 0x18)));
        QCOMPARE(followingChanged.size(), 1);
        QGuiApplication::setPalette(paletteWithWindow(Qt::white));
        QCOMPARE(following.colorScheme(), ColorScheme::Light);
        QCOMPARE(followingChanged.size(), 2);
        QCOMPARE(overridden.colorScheme(), ColorScheme::Light);
        QCOMPARE(overriddenChanged.size(), 0);
    }

    // The portal answers Read with the value wrapped once (newer) or twice (older portals).
    void readsThePortalsValue_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<std::optional<ColorScheme>>("expected");
        const auto wrapped = [](const QVariant &inner) {
            return QVariant::fromValue(QDBusVariant(inner));
        };
        QTest::newRow("prefers dark") << wrapped(1u) << std::optional(ColorScheme::Dark);
        QTest::newRow("prefers light") << wrapped(2u) << std::optional(ColorScheme::Light);
        QTest::newRow("no preference") << wrapped(0u) << std::optional<ColorScheme>();
        QTest::newRow("wrapped twice") << wrapped(wrapped(1u)) << std::optional(ColorScheme::Dark);
        QTest::newRow("not a number") << wrapped(u"dark"_s) << std::optional<ColorScheme>();
        QTest::newRow("unknown number") << wrapped(7u) << std::optional<ColorScheme>();
    }

    void readsThePortalsValue() {
        QFETCH(QVariant, value);
        QFETCH(std::optional<ColorScheme>, expected);
        QCOMPARE(ColorSchemePreference::fromPortalValue(value), expected);
    }
};

int main(int argc, char **argv) {
    return runKivoTest<QGuiApplication, TestColorScheme>(argc, argv);
}
#include "tst_colorscheme.moc"

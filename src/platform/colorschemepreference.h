#pragma once

#include <QObject>
#include <QStringView>
#include <QVariant>

#include <optional>

class QDBusVariant;
class QPalette;

// Whether the desktop wants light or dark windows. The first source that states a preference
// wins: KIVO_COLOR_SCHEME ("light" or "dark"), the desktop portal's "color-scheme" setting, a
// GTK_THEME naming a dark variant, and last the lightness of the palette's window colour. The
// portal and the palette are followed while the app runs.
class ColorSchemePreference : public QObject {
    Q_OBJECT
    Q_PROPERTY(ColorScheme colorScheme READ colorScheme NOTIFY colorSchemeChanged)
    Q_PROPERTY(bool dark READ isDark NOTIFY colorSchemeChanged)

public:
    // Capitalised because QML reads only capitalised enumerators.
    enum class ColorScheme { Light, Dark };
    Q_ENUM(ColorScheme)

    static inline const char *const kOverrideVariable = "KIVO_COLOR_SCHEME";

    explicit ColorSchemePreference(QObject *parent = nullptr);

    ColorScheme colorScheme() const { return m_colorScheme; }
    bool isDark() const { return m_colorScheme == ColorScheme::Dark; }

    // What each source says; nothing when it states no preference.
    static std::optional<ColorScheme> fromOverride(QStringView value);
    // The portal's answer: 1 prefers dark, 2 prefers light, 0 has no preference.
    static std::optional<ColorScheme> fromPortalValue(const QVariant &value);
    static std::optional<ColorScheme> fromGtkThemeName(QStringView name);
    static ColorScheme fromPalette(const QPalette &palette);

Q_SIGNALS:
    void colorSchemeChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    // Old-style slot: QDBusConnection::connect takes no function pointers.
    void portalSettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void readPortal();
    void setPortalValue(const QVariant &value);
    void update();

    std::optional<ColorScheme> m_override;
    std::optional<ColorScheme> m_portal;
    ColorScheme m_colorScheme = ColorScheme::Light;
};

#include "colorschemepreference.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

using namespace Qt::StringLiterals;

namespace {

const QString kPortalService = u"org.freedesktop.portal.Desktop"_s;
const QString kPortalPath = u"/org/freedesktop/portal/desktop"_s;
const QString kSettingsInterface = u"org.freedesktop.portal.Settings"_s;
const QString kAppearance = u"org.freedesktop.appearance"_s;
const QString kColorScheme = u"color-scheme"_s;

} // namespace

ColorSchemePreference::ColorSchemePreference(QObject *parent)
    : QObject(parent)
    , m_override(fromOverride(qEnvironmentVariable(kOverrideVariable))) {
    if (!m_override) {
        if (qGuiApp)
            qGuiApp->installEventFilter(this);
        readPortal();
    }
    update();
}

std::optional<ColorSchemePreference::ColorScheme> ColorSchemePreference::fromOverride(QStringView value) {
    if (value.compare(u"dark"_s, Qt::CaseInsensitive) == 0)
        return ColorScheme::Dark;
    if (value.compare(u"light"_s, Qt::CaseInsensitive) == 0)
        return ColorScheme::Light;
    return std::nullopt;
}

std::optional<ColorSchemePreference::ColorScheme>
ColorSchemePreference::fromPortalValue(const QVariant &value) {
    // Older portals wrap the answer of Read in a second variant.
    QVariant unwrapped = value;
    while (unwrapped.metaType() == QMetaType::fromType<QDBusVariant>())
        unwrapped = unwrapped.value<QDBusVariant>().variant();
    if (unwrapped.metaType() != QMetaType::fromType<uint>())
        return std::nullopt;
    switch (unwrapped.toUInt()) {
    case 1:
        return ColorScheme::Dark;
    case 2:
        return ColorScheme::Light;
    default:
        return std::nullopt;
    }
}

std::optional<ColorSchemePreference::ColorScheme> ColorSchemePreference::fromGtkThemeName(QStringView name) {
    // "Adwaita:dark" picks the dark variant of a theme; "Adwaita-dark" is a dark theme of its own.
    if (name.endsWith(u":dark"_s, Qt::CaseInsensitive) || name.endsWith(u"-dark"_s, Qt::CaseInsensitive))
        return ColorScheme::Dark;
    return std::nullopt;
}

ColorSchemePreference::ColorScheme ColorSchemePreference::fromPalette(const QPalette &palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5 ? ColorScheme::Dark : ColorScheme::Light;
}

bool ColorSchemePreference::eventFilter(QObject *watched, QEvent *event) {
    if (watched == qGuiApp && event->type() == QEvent::ApplicationPaletteChange)
        update();
    return QObject::eventFilter(watched, event);
}

void ColorSchemePreference::readPortal() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Many machines run no session bus; the other sources then decide.
    if (!bus.isConnected())
        return;
    bus.connect(kPortalService, kPortalPath, kSettingsInterface, u"SettingChanged"_s, this,
                SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface, u"Read"_s);
    read << kAppearance << kColorScheme;
    // Asynchronous: a portal that is slow to start must not hold up the first frame.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<QVariant> reply = *call;
        if (!reply.isError())
            setPortalValue(reply.value());
        call->deleteLater();
    });
}

void ColorSchemePreference::portalSettingChanged(const QString &group, const QString &key,
                                                 const QDBusVariant &value) {
    if (group == kAppearance && key == kColorScheme)
        setPortalValue(QVariant::fromValue(value));
}

void ColorSchemePreference::setPortalValue(const QVariant &value) {
    m_portal = fromPortalValue(value);
    update();
}

void ColorSchemePreference::update() {
    std::optional<ColorScheme> scheme = m_override;
    if (!scheme)
        scheme = m_portal;
    if (!scheme)
        scheme = fromGtkThemeName(qEnvironmentVariable("GTK_THEME"));
    if (!scheme)
        scheme = qGuiApp ? fromPalette(QGuiApplication::palette()) : ColorScheme::Light;
    if (*scheme == m_colorScheme)
        return;
    m_colorScheme = *scheme;
    Q_EMIT colorSchemeChanged();
}

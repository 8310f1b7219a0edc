#include "windowplacement.h"

#include "platform/defaultsstore.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QScreen>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// A window whose top edge shows less than this on every screen cannot be grabbed and moved back.
constexpr int kReachableWidth = 100;
constexpr int kReachableHeight = 24;
// Changes come in bursts while the user drags an edge: one write when they stop.
constexpr int kSaveDelayMs = 500;

QScreen *screenReaching(const QRect &geometry) {
    const QRect topBand(geometry.topLeft(), QSize(geometry.width(), kReachableHeight));
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect shown = screen->availableGeometry().intersected(topBand);
        if (shown.width() >= std::min(kReachableWidth, geometry.width()) &&
            shown.height() >= kReachableHeight)
            return screen;
    }
    return nullptr;
}

QRect defaultGeometry() {
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QRect(QPoint(), WindowPlacement::kDefaultSize);
    const QRect available = screen->availableGeometry();
    QRect geometry(QPoint(), WindowPlacement::kDefaultSize.boundedTo(available.size()));
    geometry.moveCenter(available.center());
    return geometry;
}

} // namespace

std::optional<WindowPlacement::Placement> WindowPlacement::savedPlacement() {
    const std::optional<QMap<QString, QString>> saved = DefaultsStore().stringMap(kMainWindowGeometryKey);
    if (!saved)
        return std::nullopt;
    bool ok[4] = {};
    const QRect geometry(saved->value(u"x"_s).toInt(&ok[0]), saved->value(u"y"_s).toInt(&ok[1]),
                         saved->value(u"width"_s).toInt(&ok[2]), saved->value(u"height"_s).toInt(&ok[3]));
    if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }) || geometry.isEmpty())
        return std::nullopt;
    return Placement{geometry, saved->value(u"maximized"_s) == u"true"_s};
}

WindowPlacement::Placement WindowPlacement::placementForThisStart() {
    const std::optional<Placement> saved = savedPlacement();
    QScreen *screen = saved ? screenReaching(saved->geometry) : nullptr;
    if (!screen)
        return {defaultGeometry(), false};
    // A screen smaller than the one the window was left on: keep the place, shrink to fit.
    return {QRect(saved->geometry.topLeft(),
                  saved->geometry.size().boundedTo(screen->availableGeometry().size())),
            saved->maximized};
}

QVariantMap WindowPlacement::initialProperties() {
    const Placement placement = placementForThisStart();
    QVariantMap properties{
        {u"x"_s, placement.geometry.x()},
        {u"y"_s, placement.geometry.y()},
        {u"width"_s, placement.geometry.width()},
        {u"height"_s, placement.geometry.height()},
    };
    if (placement.maximized)
        properties.insert(u"visibility"_s, QVariant::fromValue(QWindow::Maximized));
    return properties;
}

WindowPlacement::WindowPlacement(QQuickWindow *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_normalGeometry(window->geometry()) {
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &WindowPlacement::save);
    for (const auto changed :
         {&QWindow::xChanged, &QWindow::yChanged, &QWindow::widthChanged, &QWindow::heightChanged})
        connect(window, changed, &m_saveTimer, qOverload<>(&QTimer::start));
    connect(window, &QWindow::visibilityChanged, &m_saveTimer, qOverload<>(&QTimer::start));
    // The window's closing signal carries a type Qt keeps private: watch its close event instead.
    window->installEventFilter(this);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (m_saveTimer.isActive())
            save();
    });
}

bool WindowPlacement::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_window && event->type() == QEvent::Close)
        save();
    return QObject::eventFilter(watched, event);
}

void WindowPlacement::save() {
    m_saveTimer.stop();
    if (!m_window)
        return;
    bool maximized = false;
    switch (m_window->visibility()) {
    case QWindow::Windowed:
        m_normalGeometry = m_window->geometry();
        break;
    case QWindow::Maximized:
    case QWindow::FullScreen:
        maximized = true;
        break;
    default:
        // Hidden or minimised: where it was last shown still holds.
        return;
    }
    const QMap<QString, QString> placement{
        {u"x"_s, QString::number(m_normalGeometry.x())},
        {u"y"_s, QString::number(m_normalGeometry.y())},
        {u"width"_s, QString::number(m_normalGeometry.width())},
        {u"height"_s, QString::number(m_normalGeometry.height())},
        {u"maximized"_s, maximized ? u"true"_s : u"false"_s},
    };
    DefaultsStore defaults;
    if (defaults.stringMap(kMainWindowGeometryKey) != placement)
        defaults.setStringMap(kMainWindowGeometryKey, placement);
}

#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <optional>

class QQuickWindow;

// Where the main window opens, and where the user left it. A first start opens centred on the
// primary screen at a size that shows the store's list and an app's detail side by side; later
// starts restore the last size, position and maximised state, unless the window would be out of
// reach on today's screens. The place is saved a moment after each change and when the window
// closes, in the defaults store.
class WindowPlacement : public QObject {
    Q_OBJECT

public:
    static inline const QString kMainWindowGeometryKey = QStringLiteral("kMainWindowGeometry");
    // Wider than the store's split threshold (840), with room for the detail pane.
    static constexpr QSize kDefaultSize{1180, 780};

    // The root object's initial properties for this start: its geometry, and its visibility when
    // it was left maximised. Needs the screens, so call once the QGuiApplication exists.
    static QVariantMap initialProperties();

    // Follows the window's place from now on.
    explicit WindowPlacement(QQuickWindow *window, QObject *parent = nullptr);

    // Saves the window's place now.
    void save();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Placement {
        QRect geometry;
        bool maximized = false;
    };
    static std::optional<Placement> savedPlacement();
    static Placement placementForThisStart();

    QPointer<QQuickWindow> m_window;
    QTimer m_saveTimer;
    // The last size and position while neither maximised nor minimised: what a maximised window
    // returns to.
    QRect m_normalGeometry;
};

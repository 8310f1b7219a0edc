#pragma once

#include <QObject>
#include <QQuickWindow>
#include <QString>

#include <functional>

class QQuickItem;

// Drives the app's window as a person would, for the walkthroughs that photograph it and the
// demo's test: finds what is shown, clicks it, waits, and saves a picture of the window.
class Walkthrough {
public:
    // Pictures go into the output folder; none is needed by a walk that takes none.
    explicit Walkthrough(QQuickWindow *window, QString outputFolder = {});

    void settle(int ms);
    // Saves "<name>.png", scaled to the width when one is given, and prints its path.
    void grab(const QString &name, int width = 0);

    template<typename T = QObject>
    T *find(const QString &objectName) const {
        return m_window->findChild<T *>(objectName);
    }

    // Items made by loaders and repeaters have no object parent: search the visual tree, and
    // only what is on screen.
    QQuickItem *findShownItem(const QString &objectName, QQuickItem *from = nullptr) const;

    void click(QQuickItem *item);
    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 15000);

private:
    QQuickWindow *m_window;
    QString m_output;
};

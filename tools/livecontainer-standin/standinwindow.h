#pragma once

#include "livecontainerstandin.h"

class QQmlApplicationEngine;
class QQuickWindow;

// The stand-in's window: the app an outcome ran, or why it ran none, and the storage folder used.
namespace StandInWindow {

// Shows the window on the caller's engine; null when QML could not make it (the engine prints why).
QQuickWindow *show(QQmlApplicationEngine &engine, const LiveContainerStandIn::Outcome &outcome,
                   const QString &storageFolder);

} // namespace StandInWindow

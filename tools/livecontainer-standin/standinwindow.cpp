#include "standinwindow.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>

using namespace Qt::StringLiterals;

namespace StandInWindow {

QQuickWindow *show(QQmlApplicationEngine &engine, const LiveContainerStandIn::Outcome &outcome,
                   const QString &storageFolder) {
    engine.setInitialProperties({
        {u"succeeded"_s, outcome.succeeded},
        {u"appName"_s, outcome.appName},
        {u"bundleIdentifier"_s, outcome.bundleIdentifier},
        {u"iconSource"_s, outcome.iconURL.value_or(QUrl())},
        {u"dataContainer"_s, outcome.dataContainer},
        {u"isFirstLaunch"_s, outcome.isFirstLaunch},
        {u"message"_s, outcome.message},
        {u"storageFolder"_s, storageFolder},
    });
    engine.load(QUrl(u"qrc:/KivoStandIn/StandInWindow.qml"_s));
    return engine.rootObjects().isEmpty() ? nullptr
                                          : qobject_cast<QQuickWindow *>(engine.rootObjects().constLast());
}

} // namespace StandInWindow

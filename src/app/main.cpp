#include "ui/cachingnetworkaccessmanagerfactory.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

// The shell: one application, one window (Main.qml), the Material style. On the desktop nothing
// asks for permission to post notifications: the freedesktop service shows them or is absent,
// and the notification service copes with both.
int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(u"Kivo"_s);
    QQuickStyle::setStyle(u"Material"_s);

    // Declared first: the engine uses the factory until it is destroyed.
    CachingNetworkAccessManagerFactory networkFactory;
    QQmlApplicationEngine engine;
    engine.setNetworkAccessManagerFactory(&networkFactory);
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app, [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    engine.load(QUrl(u"qrc:/Kivo/Main.qml"_s));
    return app.exec();
}

#pragma once

#include "ui/cachingnetworkaccessmanagerfactory.h"

#include <QQmlApplicationEngine>

class QLocale;
class QQuickWindow;

// The main window as the app shows it, for the app itself and for the programs that measure or
// photograph it: they must see the same style, image cache and window.
class AppShell {
public:
    // The application's name and style; call once the QGuiApplication exists, before any folder
    // of the app is looked up.
    static void setUpApplication();

    // Shows the app's texts, and those of Qt's standard dialogs where the system has them, in the
    // language of the locale (the system's when the app starts), replacing any language installed
    // before. False when the app has no catalogue for it: its texts stay in English.
    static bool installTranslations(const QLocale &locale);

    // Loads Main.qml; null when it could not be made, the reasons printed by the QML engine.
    QQuickWindow *load();

private:
    // Declared first: the engine uses the factory until it is destroyed.
    CachingNetworkAccessManagerFactory m_networkFactory;
    QQmlApplicationEngine m_engine;
};

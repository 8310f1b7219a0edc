#include "platform/singleinstance.h"
#include "ui/appshell.h"

#include <QGuiApplication>
#include <QLocale>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(KivoPlugin)

// The shell: one application, one window (Main.qml), the Material style. On the desktop nothing
// asks for permission to post notifications: the freedesktop service shows them or is absent,
// and the notification service copes with both. A second launch brings the running Kivo to the
// front and leaves.
int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    AppShell::setUpApplication();
    AppShell::installTranslations(QLocale::system());
    SingleInstance instance;
    if (!instance.claim())
        return 0;
    AppShell shell;
    QQuickWindow *window = shell.load();
    if (!window)
        return 1;
    QObject::connect(&instance, &SingleInstance::activationRequested, window, [window] {
        window->show();
        window->raise();
        window->requestActivate();
    });
    return app.exec();
}

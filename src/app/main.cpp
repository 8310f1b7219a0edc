#include "ui/appshell.h"

#include <QGuiApplication>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(KivoPlugin)

// The shell: one application, one window (Main.qml), the Material style. On the desktop nothing
// asks for permission to post notifications: the freedesktop service shows them or is absent,
// and the notification service copes with both.
int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    AppShell::setUpApplication();
    AppShell shell;
    if (!shell.load())
        return 1;
    return app.exec();
}

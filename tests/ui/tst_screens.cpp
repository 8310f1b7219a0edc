#include "platform/urlopener.h"
#include "support/testmain.h"

#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <memory>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(KivoPlugin)

// The screens' rules, driven through QML in a fresh temporary home with the app's style.
class ScreensSetup : public QObject {
    Q_OBJECT

public Q_SLOTS:
    void applicationAvailable() {
        m_home = std::make_unique<TestHome>();
        QCoreApplication::setApplicationName(u"Kivo"_s);
        QQuickStyle::setStyle(u"Material"_s);
        // Nothing leaves the test: launch URLs are only announced.
        UrlOpener::shared().setForwardToDesktop(false);
    }
    void qmlEngineAvailable(QQmlEngine *engine) { engine->addImportPath(u"qrc:/"_s); }
    void cleanupTestCase() { m_home.reset(); }

private:
    std::unique_ptr<TestHome> m_home;
};

QUICK_TEST_MAIN_WITH_SETUP(screens, ScreensSetup)

#include "tst_screens.moc"

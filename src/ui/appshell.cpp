#include "appshell.h"

#include <QGuiApplication>
#include <QQuickStyle>
#include <QQuickWindow>

using namespace Qt::StringLiterals;

void AppShell::setUpApplication() {
    QGuiApplication::setApplicationName(u"Kivo"_s);
    QQuickStyle::setStyle(u"Material"_s);
}

QQuickWindow *AppShell::load(const QVariantMap &initialProperties) {
    m_engine.setNetworkAccessManagerFactory(&m_networkFactory);
    m_engine.setInitialProperties(initialProperties);
    // The module's qmldir lies at qrc:/Kivo; files in its feature folders find the module's
    // types through it.
    m_engine.addImportPath(u"qrc:/"_s);
    m_engine.load(QUrl(u"qrc:/Kivo/Main.qml"_s));
    return m_engine.rootObjects().isEmpty()
               ? nullptr
               : qobject_cast<QQuickWindow *>(m_engine.rootObjects().constFirst());
}

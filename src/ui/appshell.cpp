#include "appshell.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {

// Puts a translator for the locale in the slot's place; false when there is no catalogue for it.
// The application owns the translators, and a translator removes itself from it when deleted.
bool replaceTranslator(QPointer<QTranslator> &slot, const QLocale &locale, const QString &name,
                       const QString &folder) {
    delete slot.data();
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(locale, name, u"_"_s, folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    slot = translator;
    return true;
}

} // namespace

void AppShell::setUpApplication() {
    QGuiApplication::setApplicationName(u"Kivo"_s);
    QQuickStyle::setStyle(u"Material"_s);
}

bool AppShell::installTranslations(const QLocale &locale) {
    static QPointer<QTranslator> qt;
    static QPointer<QTranslator> app;
    replaceTranslator(qt, locale, u"qt"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return replaceTranslator(app, locale, u"kivo"_s, u":/i18n"_s);
}

QQuickWindow *AppShell::load() {
    m_engine.setNetworkAccessManagerFactory(&m_networkFactory);
    // The module's qmldir lies at qrc:/Kivo; files in its feature folders find the module's
    // types through it.
    m_engine.addImportPath(u"qrc:/"_s);
    m_engine.load(QUrl(u"qrc:/Kivo/Main.qml"_s));
    return m_engine.rootObjects().isEmpty()
               ? nullptr
               : qobject_cast<QQuickWindow *>(m_engine.rootObjects().constFirst());
}

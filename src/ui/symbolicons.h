#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

// The platform's symbol names ("gear", "pause.fill", ...) drawn with the Material Icons font. The
// screens name icons as the platform does; this is the one place that knows the font's glyphs.
class SymbolIcons : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString fontFamily READ fontFamily CONSTANT)

public:
    static SymbolIcons *create(QQmlEngine *, QJSEngine *);

    // The font's family name, once the font compiled into the app's resources is loaded.
    QString fontFamily() const { return m_fontFamily; }

    // The Material Icons ligature for a symbol name; a neutral square for a name we do not know,
    // so a missing entry shows as a glyph rather than as the name's letters.
    Q_INVOKABLE static QString glyph(const QString &symbolName);
    static bool knows(const QString &symbolName);

private:
    SymbolIcons();

    QString m_fontFamily;
};

#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// Every key the window answers beyond what its controls do by themselves, with what it does:
// the Shortcut items of the screens take their sequences from here, and README lists this table.
class KeyboardShortcuts : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    enum Action {
        Search,
        Refresh,
        StoreTab,
        AppsTab,
        DownloadTab,
        SettingsTab,
        Back,
        ContextMenu,
        AlternateContextMenu,
        DeleteRow,
        Activate,
    };
    Q_ENUM(Action)

    struct Entry {
        Action action;
        // QKeySequence's portable text, as Shortcut items accept it.
        QString sequence;
        QString description;
    };

    static const QList<Entry> &all();

    Q_INVOKABLE static QString sequence(KeyboardShortcuts::Action action);
};

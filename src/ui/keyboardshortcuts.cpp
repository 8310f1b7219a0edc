#include "ui/keyboardshortcuts.h"

using namespace Qt::StringLiterals;

const QList<KeyboardShortcuts::Entry> &KeyboardShortcuts::all() {
    static const QList<Entry> table = {
        {Search, u"Ctrl+F"_s, u"Search the store (switches to the Store tab)"_s},
        {Refresh, u"F5"_s, u"Refresh the current tab"_s},
        {StoreTab, u"Ctrl+1"_s, u"Show the Store tab"_s},
        {AppsTab, u"Ctrl+2"_s, u"Show the Apps tab"_s},
        {DownloadTab, u"Ctrl+3"_s, u"Show the Download tab"_s},
        {SettingsTab, u"Ctrl+4"_s, u"Show the Settings tab"_s},
        {Back, u"Esc"_s, u"Close a sheet, alert or menu; go back from an app or a repository folder"_s},
        {ContextMenu, u"Menu"_s, u"Open the context menu of the current tile or row"_s},
        {AlternateContextMenu, u"Shift+F10"_s, u"Open the context menu of the current tile or row"_s},
        {DeleteRow, u"Del"_s, u"Delete the current file or repository"_s},
        {Activate, u"Return"_s, u"Press the focused button, row or tile, as Space does"_s},
    };
    return table;
}

QString KeyboardShortcuts::sequence(Action action) {
    for (const Entry &entry : all()) {
        if (entry.action == action)
            return entry.sequence;
    }
    return {};
}

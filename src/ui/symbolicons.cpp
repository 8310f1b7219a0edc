#include "ui/symbolicons.h"

#include <QFontDatabase>
#include <QHash>

using namespace Qt::StringLiterals;

namespace {

const QHash<QString, QString> &ligatures() {
    static const QHash<QString, QString> table = {
        // Tabs.
        {u"bag"_s, u"shopping_bag"_s},
        {u"square.grid.2x2"_s, u"apps"_s},
        {u"arrow.down.circle"_s, u"arrow_circle_down"_s},
        {u"gear"_s, u"settings"_s},
        // Banners.
        {u"checkmark.circle.fill"_s, u"check_circle"_s},
        {u"info.circle.fill"_s, u"info"_s},
        {u"exclamationmark.circle.fill"_s, u"error"_s},
        // Download control.
        {u"doc.fill"_s, u"description"_s},
        {u"pause.fill"_s, u"pause"_s},
        {u"play.fill"_s, u"play_arrow"_s},
        {u"wifi.slash"_s, u"wifi_off"_s},
        // Toolbars, sheets and placeholders.
        {u"arrow.up.arrow.down"_s, u"swap_vert"_s},
        {u"magnifyingglass"_s, u"search"_s},
        {u"xmark.circle.fill"_s, u"cancel"_s},
        {u"chevron.left"_s, u"arrow_back"_s},
        {u"chevron.right"_s, u"chevron_right"_s},
        {u"square.and.arrow.up"_s, u"ios_share"_s},
        {u"square.and.arrow.down"_s, u"save_alt"_s},
        {u"doc.on.doc"_s, u"content_copy"_s},
        {u"folder"_s, u"folder"_s},
        {u"photo"_s, u"image"_s},
        {u"app.dashed"_s, u"apps_outage"_s},
        {u"exclamationmark.triangle"_s, u"warning_amber"_s},
        {u"arrow.clockwise"_s, u"refresh"_s},
        {u"checkmark"_s, u"check"_s},
        // Apps tab.
        {u"square.dashed"_s, u"crop_free"_s},
        {u"trash"_s, u"delete"_s},
        {u"barcode.viewfinder"_s, u"qr_code_scanner"_s},
        // Settings and the repository screens.
        {u"clock.fill"_s, u"schedule"_s},
        {u"exclamationmark.triangle.fill"_s, u"warning"_s},
        {u"server.rack"_s, u"dns"_s},
        {u"folder.fill"_s, u"folder"_s},
        {u"folder.badge.gear"_s, u"folder_special"_s},
        {u"house.fill"_s, u"home"_s},
        {u"plus"_s, u"add"_s},
        {u"pencil"_s, u"edit"_s},
        {u"link"_s, u"link"_s},
        {u"arrow.triangle.2.circlepath"_s, u"sync"_s},
        // The Download tab.
        {u"arrow.down.doc.fill"_s, u"file_download"_s},
        {u"archivebox.fill"_s, u"inventory_2"_s},
        {u"cube"_s, u"view_in_ar"_s},
    };
    return table;
}

} // namespace

SymbolIcons::SymbolIcons() {
    const int id = QFontDatabase::addApplicationFont(u":/Kivo/fonts/MaterialIcons-Regular.ttf"_s);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    m_fontFamily = families.isEmpty() ? u"Material Icons"_s : families.first();
}

SymbolIcons *SymbolIcons::create(QQmlEngine *, QJSEngine *) {
    return new SymbolIcons;
}

QString SymbolIcons::glyph(const QString &symbolName) {
    return ligatures().value(symbolName, u"check_box_outline_blank"_s);
}

bool SymbolIcons::knows(const QString &symbolName) {
    return ligatures().contains(symbolName);
}

import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import Kivo

// A menu entry with its text and, at the trailing end, a platform symbol. Hidden entries take no
// room.
MenuItem {
    id: root

    property string symbol
    property color symbolColor: Theme.secondaryText

    height: visible ? implicitHeight : 0
    font.capitalization: Font.MixedCase
    Accessible.name: text

    // Room for the symbol at the trailing end.
    contentItem: Text {
        rightPadding: root.symbol.length > 0 ? 36 : 0
        text: root.text
        textFormat: Text.PlainText
        elide: Text.ElideMiddle
        verticalAlignment: Text.AlignVCenter
        font: root.font
        color: !root.enabled ? Theme.secondaryText : root.Material.foreground
    }

    // A plain child rather than part of the contentItem, whose ids Qt could not defer.
    SymbolIcon {
        anchors.right: parent.right
        anchors.rightMargin: root.rightPadding
        anchors.verticalCenter: parent.verticalCenter
        visible: root.symbol.length > 0
        name: root.symbol
        size: 20
        color: root.symbolColor
    }
}

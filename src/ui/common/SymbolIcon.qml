import QtQuick
import Kivo

// One icon, named by its platform symbol name ("gear", "pause.fill").
Text {
    property string name
    property int size: 20

    font.family: SymbolIcons.fontFamily
    font.pixelSize: size
    text: SymbolIcons.glyph(name)
    textFormat: Text.PlainText
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    renderType: Text.QtRendering
    // Decoration: the control around it carries the words.
    Accessible.ignored: true
}

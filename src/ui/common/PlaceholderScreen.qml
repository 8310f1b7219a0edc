import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import Kivo

// A tab whose screen arrives later: its title and nothing else.
Page {
    id: root
    required property string screenTitle

    header: ToolBar {
        Material.foreground: Theme.onBar
        Label {
            anchors.centerIn: parent
            text: root.screenTitle
            font.pixelSize: Theme.headlineSize + 2
            font.weight: Font.DemiBold
        }
    }
}

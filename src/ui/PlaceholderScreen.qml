import QtQuick
import QtQuick.Controls
import Kivo

// A tab whose screen arrives later: its title and nothing else.
Page {
    id: root
    required property string screenTitle

    header: ToolBar {
        Label {
            anchors.centerIn: parent
            text: root.screenTitle
            font.pixelSize: Theme.headlineSize + 2
            font.weight: Font.DemiBold
        }
    }
}

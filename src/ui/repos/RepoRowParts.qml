import QtQuick
import QtQuick.Controls
import Kivo

// The parts a "Repos" row makes only when they are shown, one set for every row of a level. Kept
// out of RepoRow.qml, whose components are bound: loaders and the swipe make their items in
// contexts of their own, which Qt 6.4 refuses for bound components.
QtObject {
    // The edit mode's delete button at the leading end; the row handles its click.
    readonly property Component deleteButton: ToolButton {
        property string accessibleName: qsTr("Delete")

        objectName: "rowDeleteButton"
        Accessible.name: accessibleName
        ToolTip.visible: hovered || visualFocus
        ToolTip.text: accessibleName
        contentItem: SymbolIcon { name: "trash"; size: 20; color: Theme.red }
    }

    readonly property Component spinner: BusyIndicator {
        objectName: "loadingIndicator"
        running: true
    }

    // Behind the row while it is swiped leftwards.
    readonly property Component deleteBackground: Rectangle {
        objectName: "swipeDeleteBackground"
        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        color: Theme.red

        Row {
            anchors.right: parent.right
            anchors.rightMargin: 20
            anchors.verticalCenter: parent.verticalCenter
            spacing: 6
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "trash"
                size: 20
                color: Theme.onAccent
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Delete")
                color: Theme.onAccent
                font.pixelSize: Theme.bodySize
            }
        }
    }
}

pragma Singleton
import QtQuick
import Kivo

// What a "Repos" row shows behind itself while it is swiped leftwards. Kept out of RepoRow.qml,
// whose components are bound: the swipe makes its item in a context of its own, which Qt 6.4
// refuses for bound components.
QtObject {
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
                color: "white"
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("Delete")
                color: "white"
                font.pixelSize: Theme.bodySize
            }
        }
    }
}

import QtQuick
import QtQuick.Controls
import Kivo

// "Update" under a tile whose app has a newer version in the store.
AbstractButton {
    property string appName

    objectName: "updateButton"
    focusPolicy: Qt.NoFocus
    leftPadding: 8; rightPadding: 8; topPadding: 4; bottomPadding: 4
    Accessible.name: qsTr("Update %1").arg(appName)
    contentItem: Text {
        text: qsTr("Update")
        color: Theme.onAccent
        font.pixelSize: 10
        font.bold: true
        horizontalAlignment: Text.AlignHCenter
    }
    background: Rectangle { radius: height / 2; color: Theme.blue }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Kivo

// One installed app: its icon (or the app symbol), its name on at most two lines, and, when the
// store knows a newer version, a red dot and "Update". A tap launches the app; a long press, a
// right click or the menu key ask for its context menu.
AbstractButton {
    id: root

    required property var app
    required property string name
    required property string bundleID
    required property string version
    required property string folderName
    required property url iconSource
    required property bool hasUpdate
    required property int index
    // The column's width; the tile is centred in the cell it is given.
    property real tileWidth: 80
    // Whether the keyboard is on this tile.
    property bool showsFocus: false

    signal launchRequested()
    signal menuRequested(real x, real y)
    signal updateRequested()

    // The icon, the name's two lines and the "Update" button, always: rows stay aligned.
    readonly property real tileHeight: 70 + 6 + 35 + 6 + 22

    focusPolicy: Qt.NoFocus
    padding: 0
    Accessible.name: root.hasUpdate ? qsTr("%1, update available").arg(root.name) : root.name
    Accessible.role: Accessible.Button
    onClicked: root.launchRequested()
    onPressAndHold: root.menuRequested(width / 2, 70)

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: (eventPoint) => root.menuRequested(eventPoint.position.x, eventPoint.position.y)
    }

    background: null

    contentItem: Item { implicitHeight: root.tileHeight }

    // Plain children rather than the contentItem's, whose ids Qt could not defer.
    Item {
        y: root.topPadding
        width: root.tileWidth
        height: root.tileHeight
        anchors.horizontalCenter: parent.horizontalCenter

        Rectangle {
            visible: root.showsFocus
            anchors.fill: parent
            anchors.margins: -6
            radius: 12
            color: "transparent"
            border.width: 2
            border.color: Theme.blue
        }

        Item {
            id: iconBox
            width: 70
            height: 70
            anchors.horizontalCenter: parent.horizontalCenter

            RoundedImage {
                id: image
                anchors.fill: parent
                radius: 14
                source: root.iconSource
                placeholderColor: "transparent"
                // A file that is missing or does not decode arrives as a single transparent pixel.
                visible: status === Image.Ready && implicitImageWidth > 1
            }
            SymbolIcon {
                objectName: "fallbackIcon"
                anchors.centerIn: parent
                visible: !image.visible
                name: "app.fill"
                // The glyph's square fills about five sixths of its box.
                size: 84
                color: Theme.gray
            }
            Rectangle {
                objectName: "updateDot"
                visible: root.hasUpdate
                width: 12
                height: 12
                radius: 6
                x: parent.width - 9
                y: -3
                color: Theme.red
            }
        }

        Text {
            id: nameText
            objectName: "tileName"
            anchors.top: iconBox.bottom
            anchors.topMargin: 6
            width: parent.width
            height: 35
            text: root.name
            textFormat: Text.PlainText
            font.pixelSize: Theme.captionSize
            color: Theme.primaryText
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignTop
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }

        AbstractButton {
            objectName: "updateButton"
            visible: root.hasUpdate
            anchors.top: nameText.bottom
            anchors.topMargin: 6
            anchors.horizontalCenter: parent.horizontalCenter
            focusPolicy: Qt.NoFocus
            leftPadding: 8; rightPadding: 8; topPadding: 4; bottomPadding: 4
            Accessible.name: qsTr("Update %1").arg(root.name)
            onClicked: root.updateRequested()
            contentItem: Text {
                text: qsTr("Update")
                color: "white"
                font.pixelSize: 10
                font.bold: true
                horizontalAlignment: Text.AlignHCenter
            }
            background: Rectangle { radius: height / 2; color: Theme.blue }
        }
    }
}

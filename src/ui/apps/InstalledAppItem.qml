pragma ComponentBehavior: Bound
import QtQuick
import Kivo

// One installed app: its icon (or the app symbol), its name on at most two lines, and, when the
// store knows a newer version, a red dot and "Update". A tap launches the app; a long press, a
// right click or the menu key ask for its context menu.
Item {
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

    signal launchRequested()
    signal menuRequested(real x, real y)
    signal updateRequested()
    // A finger or pointer went down on the tile.
    signal touched()

    // The icon, the name's two lines and the "Update" button, always: rows stay aligned.
    readonly property real tileHeight: 70 + 6 + 35 + 6 + 22

    implicitHeight: tileHeight
    // Plain items and handlers rather than a control: a screenful of tiles is made at once.
    Accessible.role: Accessible.Button
    Accessible.name: root.hasUpdate ? qsTr("%1, update available").arg(root.name) : root.name
    Accessible.onPressAction: root.launchRequested()

    TapHandler {
        onPressedChanged: if (pressed) root.touched()
        onTapped: root.launchRequested()
        onLongPressed: root.menuRequested(root.width / 2, 70)
    }
    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: (eventPoint) => root.menuRequested(eventPoint.position.x, eventPoint.position.y)
    }

    Item {
        width: root.tileWidth
        height: root.tileHeight
        anchors.horizontalCenter: parent.horizontalCenter

        Item {
            id: iconBox
            width: 70
            height: 70
            anchors.horizontalCenter: parent.horizontalCenter

            // Rounded by the icon provider.
            Image {
                id: image
                anchors.fill: parent
                source: root.iconSource
                asynchronous: true
                sourceSize.width: 140
                sourceSize.height: 140
                fillMode: Image.PreserveAspectFit
                // A file that is missing or does not decode arrives as a single transparent pixel.
                visible: status === Image.Ready && implicitWidth > 1
            }
            // The app symbol: a gray rounded square of the icon's size.
            Rectangle {
                objectName: "fallbackIcon"
                anchors.fill: parent
                visible: !image.visible
                radius: 14
                color: Theme.gray
                opacity: 0.55
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

        // Made only for apps with an update: most tiles never show it. Loaded from its file
        // rather than from an inline component, which Qt 6.4's Loader cannot create here.
        Loader {
            id: update
            anchors.top: nameText.bottom
            anchors.topMargin: 6
            anchors.horizontalCenter: parent.horizontalCenter
            active: root.hasUpdate
            source: "UpdateButton.qml"
            onLoaded: (update.item as UpdateButton).clicked.connect(root.updateRequested)
            Binding {
                target: update.item
                property: "appName"
                value: root.name
                when: update.item !== null
            }
        }
    }
}

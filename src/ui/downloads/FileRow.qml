pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// One file of the downloads folder: an archive or a document, "Extracting..." with a spinner
// while it converts, otherwise a share button. Swiping it to the left offers "Delete"; a right
// click or a long press asks for the context menu.
SwipeDelegate {
    id: root

    required property int index
    required property url url
    required property string fileName
    required property bool isArchive
    required property bool isExtracting
    property bool current: false

    signal shareRequested()
    signal deleteRequested()
    signal menuRequested(real x, real y)

    implicitHeight: 56
    padding: 0
    text: fileName
    Accessible.name: fileName
    onPressAndHold: root.menuRequested(width / 2, height / 2)

    background: Rectangle {
        color: root.current ? Theme.blueTint : Theme.windowBackground
    }

    // Laid out without ids: Qt defers the contentItem, and an id inside would undo that.
    contentItem: RowLayout {
        spacing: 12
        SymbolIcon {
            Layout.leftMargin: 16
            name: root.isArchive ? "archivebox.fill" : "doc.fill"
            size: 24
            color: Theme.blue
        }
        Column {
            Layout.fillWidth: true
            spacing: 2
            Text {
                objectName: "fileName"
                width: parent.width
                text: root.fileName
                textFormat: Text.PlainText
                elide: Text.ElideMiddle
                font.pixelSize: Theme.bodySize
                color: Theme.primaryText
            }
            Text {
                objectName: "extractingText"
                visible: root.isExtracting
                text: qsTr("Extracting...")
                font.pixelSize: Theme.caption2Size
                color: Theme.secondaryText
            }
        }
        BusyIndicator {
            objectName: "extractingSpinner"
            visible: root.isExtracting
            running: visible
            Layout.rightMargin: 16
            Layout.preferredWidth: 32
            Layout.preferredHeight: 32
            Accessible.name: qsTr("Extracting %1").arg(root.fileName)
        }
        AbstractButton {
            objectName: "shareButton"
            visible: !root.isExtracting
            Layout.rightMargin: 16
            implicitWidth: 32
            implicitHeight: 32
            Accessible.name: qsTr("Share %1").arg(root.fileName)
            ToolTip.visible: hovered || visualFocus
            ToolTip.text: Accessible.name
            onClicked: root.shareRequested()
            contentItem: SymbolIcon { name: "square.and.arrow.up"; size: 22; color: Theme.blue }
            background: Item {}
        }
    }

    Rectangle {
        x: 52
        width: parent.width - x
        anchors.bottom: parent.bottom
        height: 1
        color: Theme.separator
    }
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.RightButton
        onClicked: (mouse) => root.menuRequested(mouse.x, mouse.y)
    }

    swipe.right: AbstractButton {
        objectName: "swipeDeleteButton"
        height: root.height
        width: 88
        anchors.right: parent.right
        Accessible.name: qsTr("Delete %1").arg(root.fileName)
        onClicked: root.deleteRequested()
        contentItem: Text {
            text: qsTr("Delete")
            color: Theme.onAccent
            font.pixelSize: Theme.bodySize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle { color: Theme.red }
    }
}

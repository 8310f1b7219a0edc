pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// One node of a "Repos" level: a folder (tap to open) or a repository with its fetch status, and
// the switch that turns it on or off. Swiped leftwards past half its width, it is deleted.
SwipeDelegate {
    id: root

    required property int index
    required property var repo
    required property string repoID
    required property string name
    required property bool isFolder
    required property bool isLinked
    required property bool isEnabled
    required property int status
    required property string errorText
    required property string iconURL
    required property string address
    required property int appCount
    required property string countsText

    // Delete mode: a delete button at the leading end.
    property bool editing: false
    // Inside a linked folder the list decides its children: no delete button, no swipe.
    property bool deletable: true
    required property RepoRowParts parts

    signal openFolder()
    signal toggled(bool enabled)
    signal menuRequested(real x, real y)
    signal deleteRequested()

    width: ListView.view ? ListView.view.width : implicitWidth
    implicitHeight: Math.max(56, content.implicitHeight + topPadding + bottomPadding)
    padding: 12
    Accessible.name: name
    onClicked: if (isFolder) openFolder()
    onPressAndHold: menuRequested(width / 2, height / 2)

    swipe.enabled: deletable
    swipe.right: root.parts.deleteBackground
    // Released past half the row's width the swipe opens fully: that deletes the node.
    swipe.onCompleted: deleteRequested()

    // Takes the right button for itself: the delegate would take a right click for a tap and
    // open the folder under the menu.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.RightButton
        onClicked: (mouse) => root.menuRequested(mouse.x, mouse.y)
    }

    // A plain child rather than the contentItem, whose ids Qt could not defer; it follows the
    // contentItem, which the swipe moves.
    contentItem: Item {}
    RowLayout {
        id: content
        anchors.fill: root.contentItem
        spacing: 12

        // Made only in delete mode: a hundred rows of idle buttons would slow the first frame.
        Loader {
            id: deleteButton
            active: root.editing && root.deletable
            visible: active
            sourceComponent: root.parts.deleteButton
        }
        Connections {
            target: deleteButton.item
            function onClicked() { root.deleteRequested() }
        }
        Binding {
            target: deleteButton.item
            property: "accessibleName"
            value: qsTr("Delete %1").arg(root.name)
            when: deleteButton.item !== null
        }

        // Status or folder icon, 30 by 30.
        Item {
            Layout.preferredWidth: 30
            Layout.preferredHeight: 30

            SymbolIcon {
                objectName: "folderIcon"
                anchors.centerIn: parent
                visible: root.isFolder
                name: root.isLinked ? "folder.badge.gear" : "folder.fill"
                size: 28
                color: root.isLinked ? Theme.purple : Theme.blue
            }
            SymbolIcon {
                objectName: "waitingIcon"
                anchors.centerIn: parent
                visible: !root.isFolder && root.status === RepoLevelModel.Waiting
                name: "clock.fill"
                size: 24
                color: Theme.gray
            }
            Loader {
                anchors.fill: parent
                active: !root.isFolder && root.status === RepoLevelModel.Loading
                sourceComponent: root.parts.spinner
            }
            SymbolIcon {
                objectName: "errorIcon"
                anchors.centerIn: parent
                visible: !root.isFolder && root.status === RepoLevelModel.Error
                name: "exclamationmark.triangle.fill"
                size: 24
                color: Theme.red
                Accessible.name: root.errorText
                HoverHandler { id: errorHover }
                ToolTip.visible: errorHover.hovered && root.errorText.length > 0
                ToolTip.text: root.errorText
            }
            Item {
                anchors.fill: parent
                visible: !root.isFolder && (root.status === RepoLevelModel.Idle || root.status === RepoLevelModel.Success)
                SymbolIcon {
                    objectName: "serverIcon"
                    anchors.centerIn: parent
                    visible: feedIcon.status !== Image.Ready
                    name: "server.rack"
                    size: 24
                    color: Theme.secondaryText
                }
                RoundedImage {
                    id: feedIcon
                    anchors.fill: parent
                    radius: 6
                    visible: status === Image.Ready
                    source: parent.visible ? root.iconURL : ""
                }
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2
            Label {
                objectName: "rowName"
                Layout.fillWidth: true
                text: root.name
                textFormat: Text.PlainText
                elide: Text.ElideRight
                font.pixelSize: Theme.bodySize
                color: root.isEnabled ? Theme.primaryText : Theme.secondaryText
            }
            Label {
                objectName: "rowDetail"
                Layout.fillWidth: true
                text: root.isFolder ? root.countsText : root.address
                textFormat: Text.PlainText
                elide: Text.ElideMiddle
                font.pixelSize: Theme.captionSize
                color: Theme.secondaryText
            }
            Label {
                objectName: "rowError"
                Layout.fillWidth: true
                visible: !root.isFolder && root.status === RepoLevelModel.Error && root.errorText.length > 0
                text: root.errorText
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                maximumLineCount: 3
                elide: Text.ElideRight
                font.pixelSize: Theme.captionSize
                color: Theme.red
            }
        }

        Label {
            objectName: "rowAppCount"
            visible: !root.isFolder
            text: root.appCount
            font.pixelSize: Theme.captionSize
            color: Theme.secondaryText
        }

        Switch {
            objectName: "rowSwitch"
            checked: root.isEnabled
            Accessible.name: qsTr("Enable %1").arg(root.name)
            onToggled: {
                root.toggled(checked)
                checked = Qt.binding(() => root.isEnabled)
            }
        }
    }
}

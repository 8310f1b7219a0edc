pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// "Move to...": the top level, then every folder the node may go into.
Dialog {
    id: root

    Material.background: Theme.raisedBackground

    required property AppStoreViewModel store
    property var itemToMove: null
    property var targets: []

    function openFor(repo) {
        itemToMove = repo
        targets = store.moveTargets(repo.id)
        open()
    }

    function moveTo(targetID: string) {
        store.moveRepo(itemToMove.id, targetID)
        close()
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 24 : 360, 420)
    height: Math.min(parent ? parent.height - 48 : 480, 560)
    modal: true
    title: qsTr("Move to...")

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        ItemDelegate {
            id: rootTarget
            objectName: "moveToRoot"
            Layout.fillWidth: true
            text: qsTr("Root")
            Accessible.name: text
            contentItem: RowLayout {
                spacing: 16
                SymbolIcon { name: "house.fill"; size: 22; color: Theme.blue }
                Label { text: rootTarget.text; font.pixelSize: Theme.bodySize; Layout.fillWidth: true }
            }
            onClicked: root.moveTo("")
        }
        Label {
            Layout.topMargin: 12
            Layout.leftMargin: 16
            text: qsTr("Folders")
            font.pixelSize: Theme.captionSize
            color: Theme.secondaryText
        }
        ListView {
            id: list
            objectName: "moveTargets"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: root.targets
            delegate: ItemDelegate {
                id: target
                required property var modelData
                required property int index
                objectName: "moveTarget" + index
                width: list.width
                text: modelData.name
                Accessible.name: text
                contentItem: RowLayout {
                    spacing: 16
                    SymbolIcon { name: "folder"; size: 22; color: Theme.blue }
                    Label {
                        text: target.modelData.name
                        textFormat: Text.PlainText
                        elide: Text.ElideRight
                        font.pixelSize: Theme.bodySize
                        Layout.fillWidth: true
                    }
                }
                onClicked: root.moveTo(modelData.id)
            }
        }
    }

    footer: RowLayout {
        spacing: 0
        Item { Layout.fillWidth: true }
        Button {
            objectName: "moveCancel"
            text: qsTr("Cancel")
            flat: true
            font.capitalization: Font.MixedCase
            Accessible.name: text
            onClicked: root.reject()
        }
        Item { Layout.preferredWidth: 8 }
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Dialogs
import QtQuick.Layouts
import Kivo

// The share sheet for one downloaded file: save a copy elsewhere, copy its path, show its folder.
Dialog {
    id: root

    Material.background: Theme.raisedBackground

    property url file
    // Why the last copy could not be saved; empty when it was.
    property string failure

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 32 : 360, 420)
    modal: true
    padding: 8
    title: actions.fileName(root.file)

    FileShareActions { id: actions }

    FileDialog {
        id: saveDialog
        objectName: "saveCopyDialog"
        fileMode: FileDialog.SaveFile
        title: qsTr("Save a Copy…")
        selectedFile: actions.fileName(root.file)
        onAccepted: {
            root.failure = actions.saveCopy(root.file, saveDialog.selectedFile)
            if (root.failure.length === 0)
                root.close()
        }
    }

    onOpened: root.failure = ""

    // A plain child rather than the contentItem, so that ids inside it are not deferred.
    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Repeater {
            model: [
                { text: qsTr("Save a Copy…"), symbol: "square.and.arrow.down" },
                { text: qsTr("Copy Path"), symbol: "doc.on.doc" },
                { text: qsTr("Show in Folder"), symbol: "folder" },
            ]
            delegate: ItemDelegate {
                id: action
                required property var modelData
                required property int index
                Layout.fillWidth: true
                objectName: "shareAction" + index
                text: modelData.text
                icon.width: 0
                contentItem: RowLayout {
                    spacing: 16
                    SymbolIcon { name: action.modelData.symbol; size: 20; color: Theme.blue }
                    Label { text: action.modelData.text; font.pixelSize: Theme.bodySize; Layout.fillWidth: true }
                }
                onClicked: {
                    switch (index) {
                    case 0: saveDialog.open(); break
                    case 1: actions.copyPath(root.file); root.close(); break
                    case 2: actions.showInFolder(root.file); root.close(); break
                    }
                }
            }
        }
        Label {
            Layout.fillWidth: true
            Layout.margins: 12
            visible: text.length > 0
            text: root.failure
            wrapMode: Text.Wrap
            color: Theme.red
            font.pixelSize: Theme.captionSize
        }
    }

    footer: Item {
        implicitHeight: closeButton.implicitHeight + 8
        Button {
            id: closeButton
            anchors.right: parent.right
            anchors.rightMargin: 8
            text: qsTr("Close")
            flat: true
            font.capitalization: Font.MixedCase
            onClicked: root.close()
        }
    }
}

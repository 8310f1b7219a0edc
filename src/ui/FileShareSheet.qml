import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Kivo

// The share sheet for one downloaded file: save a copy elsewhere, copy its path, show its folder.
Dialog {
    id: root

    property url file

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 32 : 360, 420)
    modal: true
    padding: 8
    title: actions.fileName(root.file)

    FileShareActions { id: actions }

    FileDialog {
        id: saveDialog
        fileMode: FileDialog.SaveFile
        title: "Save a Copy…"
        selectedFile: actions.fileName(root.file)
        onAccepted: {
            const failure = actions.saveCopy(root.file, saveDialog.selectedFile)
            failureLabel.text = failure
            if (failure.length === 0)
                root.close()
        }
    }

    onOpened: failureLabel.text = ""

    contentItem: ColumnLayout {
        spacing: 0

        Repeater {
            model: [
                { text: "Save a Copy…", symbol: "square.and.arrow.down" },
                { text: "Copy Path", symbol: "doc.on.doc" },
                { text: "Show in Folder", symbol: "folder" },
            ]
            delegate: ItemDelegate {
                required property var modelData
                required property int index
                Layout.fillWidth: true
                objectName: "shareAction" + index
                text: modelData.text
                icon.width: 0
                contentItem: RowLayout {
                    spacing: 16
                    SymbolIcon { name: modelData.symbol; size: 20; color: Theme.blue }
                    Label { text: modelData.text; font.pixelSize: Theme.bodySize; Layout.fillWidth: true }
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
            id: failureLabel
            Layout.fillWidth: true
            Layout.margins: 12
            visible: text.length > 0
            wrapMode: Text.Wrap
            color: Theme.red
            font.pixelSize: Theme.captionSize
        }
    }

    footer: DialogButtonBox {
        Button { text: "Close"; flat: true; font.capitalization: Font.MixedCase; DialogButtonBox.buttonRole: DialogButtonBox.RejectRole }
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// "Add": repositories by address, one per line, or a folder, optionally filled from a linked
// list. "Save" closes the sheet whatever it added; a banner says what that was.
Dialog {
    id: root

    Material.background: Theme.raisedBackground

    required property RepoActions actions
    property string parentID: ""
    // 0: "Sources", 1: "Folder".
    property int mode: 0

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 24 : 360, 480)
    modal: true
    title: qsTr("Add")

    onAboutToShow: {
        mode = 0
        sourcesEditor.text = ""
        folderName.text = ""
        folderLink.text = ""
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        TabBar {
            id: modePicker
            objectName: "addModePicker"
            Layout.fillWidth: true
            currentIndex: root.mode
            onCurrentIndexChanged: root.mode = currentIndex
            TabButton {
                objectName: "sourcesMode"
                text: qsTr("Sources")
                font.capitalization: Font.MixedCase
                Accessible.name: text
            }
            TabButton {
                objectName: "folderMode"
                text: qsTr("Folder")
                font.capitalization: Font.MixedCase
                Accessible.name: text
            }
        }

        Label {
            visible: root.mode === 0
            text: qsTr("URLs (One per line)")
            font.pixelSize: Theme.captionSize
            color: Theme.secondaryText
        }
        ScrollView {
            visible: root.mode === 0
            Layout.fillWidth: true
            Layout.preferredHeight: 150
            TextArea {
                id: sourcesEditor
                objectName: "sourcesEditor"
                wrapMode: TextEdit.WrapAnywhere
                inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText | Qt.ImhUrlCharactersOnly
                Accessible.name: qsTr("URLs (One per line)")
            }
        }
        Button {
            objectName: "pasteButton"
            visible: root.mode === 0
            text: qsTr("Paste from Clipboard")
            flat: true
            font.capitalization: Font.MixedCase
            Accessible.name: text
            onClicked: {
                const pasted = root.actions.clipboardText()
                if (pasted.length > 0)
                    sourcesEditor.text = pasted
            }
        }

        Label {
            visible: root.mode === 1
            text: qsTr("New Folder")
            font.pixelSize: Theme.captionSize
            color: Theme.secondaryText
        }
        TextField {
            id: folderName
            objectName: "folderNameField"
            visible: root.mode === 1
            Layout.fillWidth: true
            placeholderText: qsTr("Name")
            Accessible.name: qsTr("Name")
        }
        TextField {
            id: folderLink
            objectName: "folderLinkField"
            visible: root.mode === 1
            Layout.fillWidth: true
            placeholderText: qsTr("Link URL (Optional)")
            inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText | Qt.ImhUrlCharactersOnly
            Accessible.name: qsTr("Link URL (Optional)")
        }
        Label {
            visible: root.mode === 1
            Layout.fillWidth: true
            text: qsTr("If a link is provided, this folder will automatically populate with repositories from that URL (one per line).")
            wrapMode: Text.Wrap
            font.pixelSize: Theme.captionSize
            color: Theme.secondaryText
        }
    }

    footer: RowLayout {
        spacing: 0
        Item { Layout.fillWidth: true }
        Button {
            objectName: "addCancel"
            text: qsTr("Cancel")
            flat: true
            font.capitalization: Font.MixedCase
            Accessible.name: text
            onClicked: root.reject()
        }
        Button {
            objectName: "addSave"
            text: qsTr("Save")
            flat: true
            font.capitalization: Font.MixedCase
            Accessible.name: text
            onClicked: root.accept()
        }
        Item { Layout.preferredWidth: 8 }
    }

    onAccepted: {
        if (mode === 0)
            actions.addSources(sourcesEditor.text, parentID)
        else
            actions.addFolder(folderName.text, folderLink.text, parentID)
    }
}

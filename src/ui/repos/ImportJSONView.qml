pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// "Import JSON": repositories from pasted exchange JSON, appended to the tree. A banner says how
// many came in, or why none did.
Dialog {
    id: root

    Material.background: Theme.raisedBackground

    required property RepoActions actions

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 24 : 360, 480)
    modal: true
    title: qsTr("Import JSON")

    onAboutToShow: editor.text = ""

    ColumnLayout {
        anchors.fill: parent
        spacing: 8
        ScrollView {
            Layout.fillWidth: true
            Layout.preferredHeight: 300
            TextArea {
                id: editor
                objectName: "importEditor"
                wrapMode: TextEdit.WrapAnywhere
                font.family: "monospace"
                font.pixelSize: Theme.captionSize
                inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
                Accessible.name: qsTr("JSON")
            }
        }
        Button {
            objectName: "importPaste"
            text: qsTr("Paste")
            flat: true
            font.capitalization: Font.MixedCase
            Accessible.name: text
            onClicked: {
                const pasted = root.actions.clipboardText()
                if (pasted.length > 0)
                    editor.text = pasted
            }
        }
    }

    footer: RowLayout {
        spacing: 0
        Item { Layout.fillWidth: true }
        Button {
            objectName: "importCancel"
            text: qsTr("Cancel")
            flat: true
            font.capitalization: Font.MixedCase
            Accessible.name: text
            onClicked: root.reject()
        }
        Button {
            objectName: "importButton"
            text: qsTr("Import")
            flat: true
            font.capitalization: Font.MixedCase
            Accessible.name: text
            onClicked: root.accept()
        }
        Item { Layout.preferredWidth: 8 }
    }

    onAccepted: actions.importJson(editor.text)
}

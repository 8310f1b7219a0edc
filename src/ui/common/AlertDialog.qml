pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// A prompt with a title, a message and buttons in the given order, on screen while `shown` is
// true. Each button closes the alert and then reports its index through `triggered`;
// `cancelIndex` is the button that Escape stands for (-1: none). When `shown` turns false by
// itself, the alert closes without reporting anything.
Dialog {
    id: root

    Material.background: Theme.raisedBackground

    property string message
    // [{ text, style }] with style "default", "cancel" or "destructive".
    property var buttons: []
    property int cancelIndex: -1
    property bool shown: false
    signal triggered(int index)
    // Closed by a button or Escape, after `triggered`.
    signal dismissed()

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 48 : 320, 400)
    modal: true
    closePolicy: cancelIndex >= 0 ? Popup.CloseOnEscape : Popup.NoAutoClose

    property int pressedIndex: -1
    property bool closingQuietly: false
    onShownChanged: {
        if (shown) {
            open()
        } else if (opened || visible) {
            closingQuietly = true
            close()
        }
    }
    Component.onCompleted: if (shown) open()
    onAboutToShow: {
        pressedIndex = -1
        closingQuietly = false
    }
    onClosed: {
        if (closingQuietly)
            return
        const index = pressedIndex >= 0 ? pressedIndex : cancelIndex
        if (index >= 0)
            triggered(index)
        dismissed()
    }

    // Without a message the buttons follow the title directly.
    readonly property bool hasMessage: message.length > 0
    topPadding: hasMessage ? 20 : 8
    bottomPadding: hasMessage ? 24 : 0
    contentHeight: hasMessage ? contentItem.implicitHeight : 0

    contentItem: Label {
        objectName: "alertMessage"
        visible: root.hasMessage
        text: root.message
        textFormat: Text.PlainText
        // A closed alert does not lay out its message: wrapping it while the alert is created
        // and moved to the overlay sizes the dialog in a binding loop (Qt 6.4).
        wrapMode: root.visible ? Text.Wrap : Text.NoWrap
        font.pixelSize: Theme.bodySize
    }

    footer: ColumnLayout {
        spacing: 0
        Repeater {
            model: root.buttons
            delegate: Button {
                required property var modelData
                required property int index
                objectName: "alertButton" + index
                Layout.fillWidth: true
                Layout.leftMargin: 8
                Layout.rightMargin: 8
                flat: true
                text: modelData.text
                // Material capitalises button labels; the prompts' answers read as written.
                font.capitalization: Font.MixedCase
                font.bold: modelData.style === "cancel"
                Material.foreground: modelData.style === "destructive" ? Theme.red : Theme.blue
                onClicked: {
                    root.pressedIndex = index
                    root.close()
                }
            }
        }
        Item { Layout.preferredHeight: 8 }
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Kivo

// One running transfer of "Active Downloads": its file name, how far it got, the ring that
// pauses and resumes it, and its cancel button. Draws what ActiveDownloadListModel gives it.
Item {
    id: root

    required property int index
    required property string fileName
    required property int kind
    required property real progress
    required property int percent
    required property string bytesText

    signal toggleRequested()
    signal cancelRequested()

    readonly property bool downloading: kind === DownloadStatus.Downloading
    readonly property bool paused: kind === DownloadStatus.Paused
    readonly property bool waiting: kind === DownloadStatus.WaitingForConnection

    implicitHeight: 60

    SymbolIcon {
        id: icon
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        name: "arrow.down.doc.fill"
        size: 24
        color: Theme.blue
    }

    Text {
        id: nameText
        objectName: "downloadName"
        anchors.left: icon.right
        anchors.leftMargin: 12
        anchors.right: ringButton.left
        anchors.rightMargin: 8
        anchors.bottom: parent.verticalCenter
        anchors.bottomMargin: 2
        text: root.fileName
        textFormat: Text.PlainText
        elide: Text.ElideMiddle
        font.pixelSize: Theme.bodySize
        font.weight: Font.Medium
        color: Theme.primaryText
    }

    // Two plain texts rather than one styled text: these change ten times a second.
    Text {
        id: statusText
        objectName: "downloadStatus"
        anchors.left: nameText.left
        anchors.top: parent.verticalCenter
        anchors.topMargin: 2
        visible: root.kind !== DownloadStatus.None
        textFormat: Text.PlainText
        font.pixelSize: Theme.captionSize
        color: root.paused ? Theme.orange : root.waiting ? Theme.red : Theme.primaryText
        text: root.paused ? qsTr("Paused") : root.waiting ? qsTr("Waiting...") : qsTr("%1% •").arg(root.percent)
    }
    Text {
        objectName: "downloadBytes"
        anchors.left: statusText.right
        anchors.leftMargin: 4
        anchors.right: nameText.right
        anchors.baseline: statusText.baseline
        visible: root.downloading
        textFormat: Text.PlainText
        elide: Text.ElideRight
        font.pixelSize: Theme.captionSize
        color: Theme.secondaryText
        text: root.bytesText
    }

    AbstractButton {
        id: ringButton
        objectName: "ringButton"
        anchors.right: cancelButton.left
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        implicitWidth: 28
        implicitHeight: 28
        Accessible.name: root.paused || root.waiting ? qsTr("Resume %1").arg(root.fileName) : qsTr("Pause %1").arg(root.fileName)
        ToolTip.visible: hovered || visualFocus
        ToolTip.text: Accessible.name
        onClicked: root.toggleRequested()
        contentItem: ProgressRing {
            progress: root.progress
            showsArc: root.downloading
            symbol: root.paused || root.waiting ? "play.fill" : "pause.fill"
            symbolSize: 10
            animatesProgress: false
        }
        background: Item {}
    }

    AbstractButton {
        id: cancelButton
        objectName: "cancelButton"
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        implicitWidth: 28
        implicitHeight: 28
        Accessible.name: qsTr("Cancel %1").arg(root.fileName)
        ToolTip.visible: hovered || visualFocus
        ToolTip.text: Accessible.name
        onClicked: root.cancelRequested()
        contentItem: SymbolIcon { name: "xmark.circle.fill"; size: Theme.title2Size - 2; color: Theme.gray }
        background: Item {}
    }
}

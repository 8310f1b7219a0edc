pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Kivo

// The download control of one item: "GET", a progress ring while downloading, play when paused,
// an orange ring while waiting for the network, and "File" once the archive is downloaded.
FocusScope {
    id: root

    required property DownloadManager downloadManager
    required property string downloadURL
    property bool compact: false
    // What the control downloads ("Clock", "Version 1.2"), for its accessible names.
    property string subject

    function named(action: string): string {
        return subject.length > 0 ? qsTr("%1 %2").arg(action).arg(subject) : action
    }
    readonly property alias face: control.face

    DownloadControl {
        id: control
        downloadManager: root.downloadManager
        downloadURL: root.downloadURL
    }

    // Made on first use: most buttons never share a file. Loaded from its file rather than from
    // an inline component, which Qt 6.4's Loader cannot create in a bound context.
    Loader {
        id: shareSheet
        onLoaded: (shareSheet.item as FileShareSheet).open()
    }

    function activate() {
        if (control.face !== DownloadControl.File) {
            control.activate()
        } else if (shareSheet.item) {
            const sheet = shareSheet.item as FileShareSheet
            sheet.file = control.fileURL
            sheet.open()
        } else {
            shareSheet.setSource(Qt.resolvedUrl("../common/FileShareSheet.qml"), { file: control.fileURL })
        }
    }

    // One face at a time; the button's size is the shown face's.
    readonly property Item shownFace: control.face === DownloadControl.File ? (compact ? compactFileFace : fileFace)
                                    : control.face === DownloadControl.Get ? getFace : ringFace

    implicitWidth: shownFace.implicitWidth
    implicitHeight: shownFace.implicitHeight

    // Where the keys are, once Tab brought them here.
    Rectangle {
        objectName: "focusRing"
        anchors.fill: root.shownFace
        anchors.margins: -3
        z: 1
        visible: fileFace.visualFocus || compactFileFace.visualFocus || ringFace.visualFocus || getFace.visualFocus
        radius: height / 2
        color: "transparent"
        border.width: 2
        border.color: Theme.blue
    }

    AbstractButton {
        id: fileFace
        focus: root.shownFace === this
        objectName: "fileButton"
        visible: root.shownFace === this
        Accessible.name: root.named(qsTr("File"))
        padding: 0
        leftPadding: 20; rightPadding: 20; topPadding: 8; bottomPadding: 8
        onClicked: root.activate()
        contentItem: RowLayout {
            spacing: 6
            SymbolIcon { name: "doc.fill"; size: Theme.headlineSize; color: Theme.primaryText }
            Label { text: qsTr("File"); font.pixelSize: Theme.headlineSize; font.weight: Font.DemiBold }
        }
        background: Rectangle { radius: height / 2; color: Theme.grayTint }
    }

    AbstractButton {
        id: compactFileFace
        focus: root.shownFace === this
        objectName: "fileButton"
        visible: root.shownFace === this
        implicitWidth: 28; implicitHeight: 28
        Accessible.name: root.named(qsTr("File"))
        ToolTip.visible: hovered || visualFocus
        ToolTip.text: Accessible.name
        onClicked: root.activate()
        contentItem: SymbolIcon { name: "doc.fill"; size: Theme.bodySize; font.bold: true; color: Theme.secondaryText }
        background: Rectangle { radius: 14; color: Theme.grayTint }
    }

    AbstractButton {
        id: ringFace
        focus: root.shownFace === this
        objectName: "ringButton"
        visible: root.shownFace === this
        implicitWidth: root.compact ? 28 : 32
        implicitHeight: implicitWidth
        Accessible.name: root.named(control.face === DownloadControl.Paused ? qsTr("Resume")
                                    : control.face === DownloadControl.WaitingForConnection ? qsTr("Waiting")
                                    : qsTr("Pause"))
        ToolTip.visible: hovered || visualFocus
        ToolTip.text: Accessible.name
        onClicked: root.activate()
        contentItem: Item {}
        // Made only while shown: most rows of a long list never download, and a ring (a painted
        // texture and a symbol) is the costliest part of a row to create. A plain child rather
        // than the contentItem, so that its id is not deferred.
        Loader {
            id: ring
            anchors.fill: parent
            active: root.shownFace === ringFace
            source: "../common/ProgressRing.qml"
            Binding { target: ring.item; property: "progress"; value: control.progress; when: ring.item !== null }
            Binding {
                target: ring.item; property: "showsArc"; when: ring.item !== null
                value: control.face === DownloadControl.Downloading
            }
            Binding {
                target: ring.item; property: "color"; when: ring.item !== null
                value: control.face === DownloadControl.WaitingForConnection ? Theme.orange : Theme.blue
            }
            Binding {
                target: ring.item; property: "symbol"; when: ring.item !== null
                value: control.face === DownloadControl.Paused ? "play.fill"
                     : control.face === DownloadControl.WaitingForConnection ? "wifi.slash" : "pause.fill"
            }
            Binding { target: ring.item; property: "symbolSize"; value: root.compact ? 10 : 14; when: ring.item !== null }
        }
        background: Item {}
    }

    AbstractButton {
        id: getFace
        focus: root.shownFace === this
        objectName: "getButton"
        visible: root.shownFace === this
        leftPadding: root.compact ? 16 : 24
        rightPadding: leftPadding
        topPadding: 6; bottomPadding: 6
        Accessible.name: root.named(qsTr("GET"))
        onClicked: root.activate()
        contentItem: Label {
            text: qsTr("GET")
            color: Theme.blue
            font.bold: true
            font.pixelSize: root.compact ? Theme.captionSize : Theme.headlineSize
            horizontalAlignment: Text.AlignHCenter
        }
        background: Rectangle { radius: height / 2; color: Theme.blueTint }
    }
}

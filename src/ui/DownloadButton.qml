import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Kivo

// The download control of one item: "GET", a progress ring while downloading, play when paused,
// an orange ring while waiting for the network, and "File" once the archive is downloaded.
Item {
    id: root

    required property DownloadManager downloadManager
    required property string downloadURL
    property bool compact: false
    readonly property alias face: control.face

    implicitWidth: faceLoader.implicitWidth
    implicitHeight: faceLoader.implicitHeight

    DownloadControl {
        id: control
        downloadManager: root.downloadManager
        downloadURL: root.downloadURL
    }

    // Made on first use: most buttons never share a file.
    Loader {
        id: shareSheet
        active: false
        sourceComponent: FileShareSheet { file: control.fileURL }
        onLoaded: item.open()
    }

    function activate() {
        if (control.face === DownloadControl.File) {
            if (shareSheet.item)
                shareSheet.item.open()
            else
                shareSheet.active = true
        } else {
            control.activate()
        }
    }

    Loader {
        id: faceLoader
        sourceComponent: {
            switch (control.face) {
            case DownloadControl.File: return root.compact ? compactFileFace : fileFace
            case DownloadControl.Downloading:
            case DownloadControl.Paused:
            case DownloadControl.WaitingForConnection: return ringFace
            default: return getFace
            }
        }
    }

    Component {
        id: fileFace
        AbstractButton {
            objectName: "fileButton"
            padding: 0
            leftPadding: 20; rightPadding: 20; topPadding: 8; bottomPadding: 8
            onClicked: root.activate()
            contentItem: RowLayout {
                spacing: 6
                SymbolIcon { name: "doc.fill"; size: Theme.headlineSize; color: Theme.primaryText }
                Label { text: "File"; font.pixelSize: Theme.headlineSize; font.weight: Font.DemiBold }
            }
            background: Rectangle { radius: height / 2; color: Qt.rgba(0.56, 0.56, 0.58, 0.15) }
        }
    }

    Component {
        id: compactFileFace
        AbstractButton {
            objectName: "fileButton"
            implicitWidth: 28; implicitHeight: 28
            onClicked: root.activate()
            contentItem: SymbolIcon { name: "doc.fill"; size: Theme.bodySize; font.bold: true; color: Theme.secondaryText }
            background: Rectangle { radius: 14; color: Qt.rgba(0.56, 0.56, 0.58, 0.15) }
        }
    }

    Component {
        id: ringFace
        AbstractButton {
            objectName: "ringButton"
            implicitWidth: root.compact ? 28 : 32
            implicitHeight: implicitWidth
            onClicked: root.activate()
            contentItem: ProgressRing {
                progress: control.progress
                showsArc: control.face === DownloadControl.Downloading
                color: control.face === DownloadControl.WaitingForConnection ? Theme.orange : Theme.blue
                symbol: control.face === DownloadControl.Paused ? "play.fill"
                      : control.face === DownloadControl.WaitingForConnection ? "wifi.slash" : "pause.fill"
                symbolSize: root.compact ? 10 : 14
            }
            background: Item {}
        }
    }

    Component {
        id: getFace
        AbstractButton {
            objectName: "getButton"
            leftPadding: root.compact ? 16 : 24
            rightPadding: leftPadding
            topPadding: 6; bottomPadding: 6
            onClicked: root.activate()
            contentItem: Label {
                text: "GET"
                color: Theme.blue
                font.bold: true
                font.pixelSize: root.compact ? Theme.captionSize : Theme.headlineSize
                horizontalAlignment: Text.AlignHCenter
            }
            background: Rectangle { radius: height / 2; color: Qt.rgba(0.12, 0.53, 0.9, 0.15) }
        }
    }
}

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Kivo

// One version of an app: its number, source and "Current" mark, its date and size, and a compact
// download control.
Rectangle {
    id: root

    required property DownloadManager downloadManager
    required property string version
    required property string downloadURL
    required property string sourceRepoName
    required property string detailLine
    required property bool isCurrent

    implicitHeight: row.implicitHeight + 24
    radius: 12
    color: Theme.secondaryBackground

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 12
        spacing: 8

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            // "Version" and the number, then the source and the "Current" mark right after it.
            Item {
                id: titleRow
                Layout.fillWidth: true
                implicitHeight: versionLabel.implicitHeight
                Label {
                    id: versionLabel
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, titleRow.width * 0.6)
                    text: qsTr("Version %1").arg(root.version)
                    textFormat: Text.PlainText
                    font.pixelSize: Theme.bodySize
                    font.weight: Font.DemiBold
                    elide: Text.ElideRight
                }
                Label {
                    id: sourceTag
                    x: versionLabel.width + 6
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, titleRow.width - x - (current.visible ? current.implicitWidth + 6 : 0))
                    visible: root.sourceRepoName.length > 0
                    text: root.sourceRepoName
                    textFormat: Text.PlainText
                    font.pixelSize: Theme.captionSize
                    color: Theme.secondaryText
                    leftPadding: 4; rightPadding: 4
                    elide: Text.ElideRight
                    background: Rectangle { radius: 3; color: Theme.grayTint }
                }
                Label {
                    id: current
                    objectName: "currentMark"
                    x: sourceTag.visible ? sourceTag.x + sourceTag.width + 6 : versionLabel.width + 6
                    anchors.verticalCenter: parent.verticalCenter
                    visible: root.isCurrent
                    text: qsTr("Current")
                    font.pixelSize: Theme.captionSize
                    font.bold: true
                    color: Theme.green
                    leftPadding: 4; rightPadding: 4
                    background: Rectangle { radius: 3; color: Theme.greenTint }
                }
            }
            Label {
                Layout.fillWidth: true
                text: root.detailLine
                textFormat: Text.PlainText
                font.pixelSize: Theme.captionSize
                color: Theme.secondaryText
                elide: Text.ElideRight
            }
        }

        DownloadButton {
            downloadManager: root.downloadManager
            downloadURL: root.downloadURL
            compact: true
            subject: versionLabel.text
        }
    }
}

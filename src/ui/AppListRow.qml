import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// One app of the store list: icon, name with its badge, source and two lines of description.
ItemDelegate {
    id: root

    required property string name
    required property url iconURL
    required property string badge
    required property string sourceLine
    required property string descriptionText

    topPadding: 4 + 6
    bottomPadding: 4 + 6
    leftPadding: 16
    rightPadding: 16

    implicitHeight: content.implicitHeight + topPadding + bottomPadding
    contentItem: Item {}

    // A plain child rather than the contentItem, so that ids inside it are not deferred.
    RowLayout {
        id: content
        anchors.fill: parent
        anchors.leftMargin: root.leftPadding
        anchors.rightMargin: root.rightPadding
        anchors.topMargin: root.topPadding
        anchors.bottomMargin: root.bottomPadding
        spacing: 12

        RoundedImage {
            Layout.preferredWidth: 60
            Layout.preferredHeight: 60
            Layout.alignment: Qt.AlignVCenter
            source: root.iconURL
            radius: 12
            // The corners are masked with what lies behind the row.
            backgroundColor: root.highlighted ? root.Material.listHighlightColor : Theme.windowBackground
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignVCenter
            spacing: 4

            // The name as wide as it needs, leaving room for the badge right after it.
            Item {
                id: nameRow
                Layout.fillWidth: true
                implicitHeight: Math.max(nameLabel.implicitHeight, badge.implicitHeight)
                Label {
                    id: nameLabel
                    objectName: "rowName"
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, nameRow.width - (badge.visible ? badge.implicitWidth + 6 : 0))
                    text: root.name
                    textFormat: Text.PlainText
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                    elide: Text.ElideRight
                    maximumLineCount: 1
                }
                Badge {
                    id: badge
                    objectName: "rowBadge"
                    x: nameLabel.width + 6
                    anchors.verticalCenter: parent.verticalCenter
                    kind: root.badge
                }
            }
            Label {
                Layout.fillWidth: true
                visible: text.length > 0
                text: root.sourceLine
                textFormat: Text.PlainText
                font.pixelSize: Theme.caption2Size
                color: Theme.blue
                elide: Text.ElideRight
            }
            Label {
                Layout.fillWidth: true
                visible: text.length > 0
                text: root.descriptionText
                textFormat: Text.PlainText
                font.pixelSize: Theme.captionSize
                color: Theme.secondaryText
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
            }
        }
    }
}

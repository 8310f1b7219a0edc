import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import Kivo

// One app of the store list: icon, name with its badge, source and two lines of description.
// Every search keystroke makes a screenful of these, so the row is built from plain texts and
// anchors rather than styled labels and layouts.
ItemDelegate {
    id: root

    required property string name
    required property url iconURL
    required property string badge
    required property string sourceLine
    required property string descriptionText

    topPadding: 10
    bottomPadding: 10
    leftPadding: 16
    rightPadding: 16

    implicitHeight: Math.max(icon.height, texts.implicitHeight) + topPadding + bottomPadding
    // Not drawn (the content item is empty): it names the row for screen readers.
    text: root.name
    contentItem: Item {}

    RoundedImage {
        id: icon
        x: root.leftPadding
        anchors.verticalCenter: parent.verticalCenter
        width: 60
        height: 60
        source: root.iconURL
        radius: 12
        // The corners are masked with what lies behind the row.
        backgroundColor: root.highlighted ? root.Material.listHighlightColor : Theme.windowBackground
    }

    Column {
        id: texts
        x: icon.x + icon.width + 12
        width: root.width - x - root.rightPadding
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4

        // The name as wide as it needs, leaving room for the badge right after it.
        Item {
            id: nameRow
            width: texts.width
            height: Math.max(nameLabel.implicitHeight, badge.visible ? badge.implicitHeight : 0)
            Text {
                id: nameLabel
                objectName: "rowName"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, nameRow.width - (badge.visible ? badge.implicitWidth + 6 : 0))
                text: root.name
                textFormat: Text.PlainText
                font.pixelSize: Theme.headlineSize
                font.weight: Font.DemiBold
                color: Theme.primaryText
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
        Text {
            width: texts.width
            visible: text.length > 0
            text: root.sourceLine
            textFormat: Text.PlainText
            font.pixelSize: Theme.caption2Size
            color: Theme.blue
            elide: Text.ElideRight
        }
        Text {
            width: texts.width
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

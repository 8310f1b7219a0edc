import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Kivo

// The banner of the notification service, at the top of the area it is given. It slides in from
// the top with a fade and leaves the same way; it takes no taps.
Item {
    id: root

    readonly property bool shown: content.shown

    z: 100

    NotificationBanner { id: content }

    Rectangle {
        id: banner
        objectName: "banner"
        width: Math.min(root.width - 32, Theme.readableWidth)
        anchors.horizontalCenter: parent.horizontalCenter
        height: row.implicitHeight + 32
        y: root.shown ? 8 : -height - 16
        opacity: root.shown ? 1 : 0
        visible: opacity > 0
        radius: 12
        color: Theme.secondaryBackground
        border.color: Theme.hairline

        Behavior on y { SpringAnimation { spring: 4; damping: 1.0; epsilon: 0.25 } }
        Behavior on opacity { NumberAnimation { duration: 250; easing.type: Easing.OutCubic } }

        // A soft shadow: black at a third, radius 5, no offset.
        Rectangle {
            z: -1
            anchors.fill: parent
            anchors.margins: -3
            radius: 15
            color: "transparent"
            border.width: 3
            border.color: Theme.shadow
        }

        RowLayout {
            id: row
            anchors.fill: parent
            anchors.margins: 16
            spacing: 12

            SymbolIcon {
                objectName: "bannerIcon"
                size: Theme.title2Size
                name: content.symbolName
                color: content.type === NotificationType.Success ? Theme.green
                       : content.type === NotificationType.Error ? Theme.red : Theme.blue
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 2
                Label {
                    objectName: "bannerTitle"
                    Layout.fillWidth: true
                    text: content.title
                    textFormat: Text.PlainText
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                    elide: Text.ElideRight
                }
                Label {
                    objectName: "bannerMessage"
                    Layout.fillWidth: true
                    text: content.message
                    textFormat: Text.PlainText
                    font.pixelSize: Theme.subheadlineSize
                    color: Theme.secondaryText
                    wrapMode: Text.Wrap
                    maximumLineCount: 3
                    elide: Text.ElideRight
                }
            }
        }
    }
}

import QtQuick
import QtQuick.Controls
import Kivo

// "UPDATE" on blue, "INSTALLED" on gray; nothing for an empty text.
Label {
    id: root

    property string kind

    visible: kind.length > 0
    text: kind
    font.pixelSize: 9
    font.bold: true
    padding: 4
    leftPadding: 6
    rightPadding: 6
    color: kind === "UPDATE" ? Theme.blue : Theme.secondaryText
    background: Rectangle {
        radius: height / 2
        color: root.kind === "UPDATE" ? Theme.blueTint : Theme.grayTint
    }
}

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Kivo

// A section heading of the settings list.
Label {
    required property string title
    Layout.fillWidth: true
    Layout.topMargin: 20
    Layout.leftMargin: 16
    Layout.bottomMargin: 4
    text: title.toUpperCase()
    font.pixelSize: Theme.captionSize
    color: Theme.secondaryText
}

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Kivo

// A settings row: its text at the leading end, its controls at the trailing end.
RowLayout {
    id: root
    required property string text
    default property alias controls: trailing.data

    Layout.fillWidth: true
    Layout.leftMargin: 16
    Layout.rightMargin: 8
    Layout.minimumHeight: 48
    spacing: 8

    Label {
        Layout.fillWidth: true
        text: root.text
        font.pixelSize: Theme.bodySize
    }
    // A layout rather than a Row: a button that appears widens it before the row is drawn.
    RowLayout {
        id: trailing
        spacing: 4
    }
}

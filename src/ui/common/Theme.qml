pragma Singleton
import QtQuick
import QtQuick.Controls.Material

// Text styles and colours the screens share, named as the designs name them.
QtObject {
    readonly property int title2Size: 22
    readonly property int headlineSize: 16
    readonly property int bodySize: 15
    readonly property int subheadlineSize: 14
    readonly property int captionSize: 12
    readonly property int caption2Size: 11

    readonly property color blue: "#1E88E5"
    readonly property color green: "#43A047"
    readonly property color red: "#E53935"
    readonly property color orange: "#FB8C00"
    readonly property color gray: "#8E8E93"
    readonly property color purple: "#8E24AA"
    readonly property color primaryText: Material.foreground
    readonly property color secondaryText: Material.theme === Material.Dark ? "#A0A0A8" : "#6B6B73"
    readonly property color secondaryBackground: Material.theme === Material.Dark ? "#1C1C1E" : "#F2F2F7"
    readonly property color windowBackground: Material.background

    readonly property color separator: Qt.rgba(0.5, 0.5, 0.5, 0.25)

    // Phones get the whole width; wider windows keep lines at a readable length.
    readonly property int readableWidth: 720
    // Tablets and desktops from this width on show a list and its detail side by side.
    readonly property int splitViewWidth: 840
}

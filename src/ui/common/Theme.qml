pragma Singleton
import QtQuick
import QtQuick.Controls.Material
import Kivo

// Text styles and colours the screens share, named as the designs name them. Every colour has a
// light and a dark value and follows the desktop's preference while the app runs.
QtObject {
    readonly property int title2Size: 22
    readonly property int headlineSize: 16
    readonly property int bodySize: 15
    readonly property int subheadlineSize: 14
    readonly property int captionSize: 12
    readonly property int caption2Size: 11

    readonly property ColorSchemePreference colorScheme: ColorSchemePreference {}
    readonly property bool dark: colorScheme.dark
    // For Material.theme of the window.
    readonly property int materialTheme: dark ? Material.Dark : Material.Light

    // Status and accent colours; as text on the window's background each keeps a contrast of
    // about 4.5:1 or more (orange, drawn as icons and rings, a little less in light).
    readonly property color blue: dark ? "#64B5F6" : "#1976D2"
    readonly property color green: dark ? "#81C784" : "#2E7D32"
    readonly property color red: dark ? "#FF7A73" : "#D32F2F"
    readonly property color orange: dark ? "#FFB74D" : "#EF6C00"
    readonly property color gray: dark ? "#98989F" : "#8E8E93"
    readonly property color purple: dark ? "#CE93D8" : "#8E24AA"

    readonly property color primaryText: dark ? "#F2F2F7" : "#1C1C1E"
    readonly property color secondaryText: dark ? "#AEAEB2" : "#6B6B73"
    readonly property color windowBackground: dark ? "#1C1C1E" : "#FAFAFA"
    // Rows, cards and the banner: a step away from the window's background.
    readonly property color secondaryBackground: dark ? "#2C2C2E" : "#F2F2F7"
    // The bar at the top of each screen and what is drawn on it.
    readonly property color barBackground: dark ? "#2C2C2E" : blue
    readonly property color onBar: "#FFFFFF"
    // Text on a filled button of the accent or status colours (the light accents of dark mode
    // need dark text): the blue and red buttons.
    readonly property color onAccent: dark ? "#10161C" : "#FFFFFF"

    // Prompts and sheets, raised above the window.
    readonly property color raisedBackground: dark ? "#2C2C2E" : "#FFFFFF"

    // Tinted backgrounds behind small labels and the current row.
    readonly property color blueTint: Qt.rgba(blue.r, blue.g, blue.b, dark ? 0.22 : 0.12)
    readonly property color greenTint: Qt.rgba(green.r, green.g, green.b, dark ? 0.22 : 0.12)
    readonly property color grayTint: Qt.rgba(gray.r, gray.g, gray.b, dark ? 0.28 : 0.18)
    // An image that has not arrived yet.
    readonly property color placeholder: Qt.rgba(gray.r, gray.g, gray.b, dark ? 0.35 : 0.25)
    // Shadows and hairlines around raised things.
    readonly property color shadow: Qt.rgba(0, 0, 0, dark ? 0.45 : 0.10)
    readonly property color hairline: dark ? Qt.rgba(1, 1, 1, 0.10) : Qt.rgba(0, 0, 0, 0.06)
    readonly property color separator: Qt.rgba(0.5, 0.5, 0.5, dark ? 0.35 : 0.25)

    // Phones get the whole width; wider windows keep lines at a readable length.
    readonly property int readableWidth: 720
    // Tablets and desktops from this width on show a list and its detail side by side.
    readonly property int splitViewWidth: 840
}

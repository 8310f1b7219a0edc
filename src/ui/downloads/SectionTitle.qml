import QtQuick
import Kivo

// The heading of a section of a grouped list.
Text {
    leftPadding: 16
    topPadding: 20
    bottomPadding: 6
    font.pixelSize: Theme.captionSize
    font.capitalization: Font.AllUppercase
    color: Theme.secondaryText
}

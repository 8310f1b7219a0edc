import QtQuick
import QtQuick.Shapes
import Kivo

// An image from a URL with rounded corners over a placeholder fill. The corners are masked with
// the colour behind the image, which keeps it one cheap item per row.
Item {
    id: root

    property url source
    property real radius: 12
    property color placeholderColor: Theme.placeholder
    // Shown instead of the placeholder once loading failed; the placeholder colour by default.
    property color failedColor: placeholderColor
    property color backgroundColor: Theme.windowBackground
    property alias status: image.status
    property alias fillMode: image.fillMode
    // Decode at the shown height (screenshots, whose width follows the image) rather than width.
    property bool decodesByHeight: false
    readonly property real implicitImageWidth: image.implicitWidth
    readonly property real implicitImageHeight: image.implicitHeight

    Rectangle {
        anchors.fill: parent
        radius: root.radius
        color: image.status === Image.Error ? root.failedColor : root.placeholderColor
        visible: image.status !== Image.Ready
    }

    Image {
        id: image
        anchors.fill: parent
        source: root.source
        asynchronous: true
        cache: true
        fillMode: Image.PreserveAspectCrop
        sourceSize.width: root.decodesByHeight ? 0 : Math.ceil(root.width * 2)
        sourceSize.height: root.decodesByHeight ? Math.ceil(root.height * 2) : 0
        visible: status === Image.Ready
    }

    Shape {
        anchors.fill: parent
        visible: image.status === Image.Ready
        ShapePath {
            fillColor: root.backgroundColor
            strokeColor: "transparent"
            fillRule: ShapePath.OddEvenFill
            startX: 0; startY: 0
            PathLine { x: root.width; y: 0 }
            PathLine { x: root.width; y: root.height }
            PathLine { x: 0; y: root.height }
            PathLine { x: 0; y: 0 }
            PathMove { x: root.radius; y: 0 }
            PathLine { x: root.width - root.radius; y: 0 }
            PathArc { x: root.width; y: root.radius; radiusX: root.radius; radiusY: root.radius }
            PathLine { x: root.width; y: root.height - root.radius }
            PathArc { x: root.width - root.radius; y: root.height; radiusX: root.radius; radiusY: root.radius }
            PathLine { x: root.radius; y: root.height }
            PathArc { x: 0; y: root.height - root.radius; radiusX: root.radius; radiusY: root.radius }
            PathLine { x: 0; y: root.radius }
            PathArc { x: root.radius; y: 0; radiusX: root.radius; radiusY: root.radius }
        }
    }
}

import QtQuick
import QtQuick.Shapes
import Kivo

// A circle stroked at 20 % of its colour with an arc from the top, clockwise, over `progress`.
Item {
    id: root

    property real progress: 0
    property color color: Theme.blue
    property bool showsArc: true
    property string symbol: "pause.fill"
    property int symbolSize: 14
    // Off where progress arrives in regular ticks anyway: the glide would redraw between them.
    property bool animatesProgress: true

    Shape {
        anchors.fill: parent
        layer.enabled: true
        layer.samples: 4
        ShapePath {
            strokeColor: Qt.rgba(root.color.r, root.color.g, root.color.b, 0.2)
            strokeWidth: 3
            fillColor: "transparent"
            PathAngleArc {
                centerX: root.width / 2; centerY: root.height / 2
                radiusX: root.width / 2 - 1.5; radiusY: root.height / 2 - 1.5
                startAngle: 0; sweepAngle: 360
            }
        }
        ShapePath {
            strokeColor: root.showsArc ? root.color : "transparent"
            strokeWidth: 3
            capStyle: ShapePath.RoundCap
            fillColor: "transparent"
            PathAngleArc {
                centerX: root.width / 2; centerY: root.height / 2
                radiusX: root.width / 2 - 1.5; radiusY: root.height / 2 - 1.5
                startAngle: 270
                sweepAngle: 360 * root.progress
                Behavior on sweepAngle {
                    enabled: root.animatesProgress
                    NumberAnimation { duration: 200; easing.type: Easing.Linear }
                }
            }
        }
    }

    SymbolIcon {
        anchors.centerIn: parent
        name: root.symbol
        size: root.symbolSize
        color: root.color
    }
}

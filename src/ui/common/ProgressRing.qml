import QtQuick
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

    ProgressArc {
        anchors.fill: parent
        color: root.color
        showsArc: root.showsArc
        progress: root.progress
        Behavior on progress {
            enabled: root.animatesProgress
            NumberAnimation { duration: 200; easing.type: Easing.Linear }
        }
    }

    SymbolIcon {
        anchors.centerIn: parent
        name: root.symbol
        size: root.symbolSize
        color: root.color
    }
}

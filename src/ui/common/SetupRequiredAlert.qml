import QtQuick
import Kivo

// "Setup Required": an installed app that LiveContainer has not run yet cannot be launched. The
// detail screen and the Apps tab both ask with this one alert; `openLiveContainer` is the first
// button.
AlertDialog {
    id: root

    signal openLiveContainer()

    objectName: "setupRequiredAlert"
    title: qsTr("Setup Required")
    message: qsTr("This app has not been configured yet. Please open LiveContainer, then find and run this app once to generate the configuration.")
    buttons: [{ text: qsTr("Open LiveContainer"), style: "default" }, { text: qsTr("Cancel"), style: "cancel" }]
    cancelIndex: 1
    onTriggered: (index) => { if (index === 0) root.openLiveContainer() }
}

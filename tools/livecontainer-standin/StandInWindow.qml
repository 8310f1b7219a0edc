import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts

// What the stand-in just did in LiveContainer's place: the app it ran (or why it could not) and
// the storage folder it used, so a person trying Kivo sees both ends meet.
ApplicationWindow {
    id: window

    property bool succeeded: false
    // Empty for "install" and for a launch that found no app.
    property string appName
    property string bundleIdentifier
    property url iconSource
    property string dataContainer
    property bool isFirstLaunch: false
    property string message
    property string storageFolder

    readonly property bool ranApp: succeeded && appName.length > 0
    readonly property color red: "#E53935"
    readonly property color secondaryText: "#6B6B73"

    width: 520
    height: 340
    minimumWidth: 360
    minimumHeight: 280
    visible: true
    title: qsTr("LiveContainer (stand-in)")
    Material.theme: Material.Light
    Material.primary: "#1E88E5"
    Material.accent: "#1E88E5"

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 16

        RowLayout {
            spacing: 16
            Layout.fillWidth: true

            Rectangle {
                objectName: "appIcon"
                Layout.preferredWidth: 64
                Layout.preferredHeight: 64
                radius: 14
                color: window.succeeded ? "#E3F2FD" : "#FFEBEE"
                clip: true
                Image {
                    id: icon
                    anchors.fill: parent
                    source: window.iconSource
                    fillMode: Image.PreserveAspectCrop
                    visible: status === Image.Ready
                    Accessible.ignored: true
                }
                Label {
                    anchors.centerIn: parent
                    visible: icon.status !== Image.Ready
                    text: window.ranApp ? window.appName.charAt(0).toUpperCase() : (window.succeeded ? "✓" : "!")
                    font.pixelSize: 30
                    font.bold: true
                    color: window.succeeded ? "#1E88E5" : window.red
                    Accessible.ignored: true
                }
            }

            ColumnLayout {
                spacing: 2
                Layout.fillWidth: true
                Label {
                    objectName: "headline"
                    Layout.fillWidth: true
                    text: window.ranApp ? qsTr("Running %1").arg(window.appName)
                                        : (window.succeeded ? qsTr("LiveContainer is ready")
                                                            : qsTr("Nothing to run"))
                    font.pixelSize: 22
                    font.bold: true
                    elide: Text.ElideRight
                    Accessible.name: text
                }
                Label {
                    Layout.fillWidth: true
                    visible: window.ranApp
                    text: window.bundleIdentifier
                    color: window.secondaryText
                    elide: Text.ElideMiddle
                    Accessible.name: qsTr("Bundle identifier %1").arg(window.bundleIdentifier)
                }
            }
        }

        Label {
            objectName: "outcome"
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: window.ranApp
                  ? (window.isFirstLaunch
                     ? qsTr("First run: a new data container %1 was made and the app's LCAppInfo.plist written.").arg(window.dataContainer)
                     : qsTr("Its data container %1 is kept from earlier runs.").arg(window.dataContainer))
                  : window.message
            color: window.succeeded ? Material.foreground : window.red
            Accessible.name: text
        }

        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true
            Label {
                text: qsTr("LiveContainer folder")
                font.pixelSize: 12
                font.bold: true
                color: window.secondaryText
                Accessible.name: text
            }
            TextEdit {
                objectName: "storageFolder"
                Layout.fillWidth: true
                text: window.storageFolder
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WrapAnywhere
                font.family: "monospace"
                font.pixelSize: 13
                color: Material.foreground
                Accessible.name: qsTr("LiveContainer folder %1").arg(text)
            }
            Label {
                Layout.fillWidth: true
                Layout.topMargin: 8
                wrapMode: Text.Wrap
                visible: !window.succeeded
                text: qsTr("Kivo installs apps into the LiveContainer folder chosen in its Settings: choose this folder there, or start the stand-in with --storage and Kivo's folder.")
                font.pixelSize: 12
                color: window.secondaryText
                Accessible.name: text
            }
        }

        Item { Layout.fillHeight: true }

        Button {
            objectName: "closeButton"
            Layout.alignment: Qt.AlignRight
            text: qsTr("Close")
            highlighted: true
            Accessible.name: text
            onClicked: window.close()
        }
    }
}

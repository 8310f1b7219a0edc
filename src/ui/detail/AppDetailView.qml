pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// One app: header with icon, texts, download control and "OPEN"; screenshots; description; the
// versions grouped with it, each downloadable.
Page {
    id: root

    required property AppStoreViewModel store
    required property DownloadManager downloadManager
    required property var app
    // False where the detail stands beside its list rather than over it.
    property bool showsBack: true
    signal back()

    function focusDownload() {
        headerDownload.forceActiveFocus()
    }

    AppDetailState {
        id: detail
        app: root.app
        downloadManager: root.downloadManager
    }

    VersionListModel {
        id: versions
        store: root.store
        app: root.app
        downloadManager: root.downloadManager
    }

    header: ToolBar {
        Material.foreground: Theme.onBar
        RowLayout {
            anchors.fill: parent
            ToolButton {
                objectName: "backButton"
                Accessible.name: qsTr("Back")
                ToolTip.visible: hovered || visualFocus
                ToolTip.text: Accessible.name
                visible: root.showsBack
                contentItem: SymbolIcon { name: "chevron.left"; size: 22; color: Theme.onBar }
                onClicked: root.back()
            }
            Label {
                Layout.fillWidth: true
                Layout.leftMargin: root.showsBack ? 0 : 16
                Layout.rightMargin: root.showsBack ? 0 : 16
                text: root.app.name
                textFormat: Text.PlainText
                elide: Text.ElideRight
                font.pixelSize: Theme.headlineSize
                font.weight: Font.DemiBold
                horizontalAlignment: Text.AlignHCenter
            }
            // Balances the back button so that the title stays centred.
            Item { Layout.preferredWidth: 48; visible: root.showsBack }
        }
    }

    SetupRequiredAlert {
        id: setupNeeded
        onOpenLiveContainer: detail.openLiveContainerForSetup()
    }

    Flickable {
        id: flick
        objectName: "detailFlick"
        anchors.fill: parent
        contentHeight: column.implicitHeight + 40
        clip: true
        ScrollBar.vertical: ScrollBar {}

        ColumnLayout {
            id: column
            width: Math.min(flick.width, Theme.readableWidth + 160)
            x: (flick.width - width) / 2
            spacing: 20

            // Header: as tall as its taller side, the icon or the texts with the buttons under
            // them, so that the separator below never runs through the buttons.
            Item {
                id: header
                objectName: "detailHeader"
                Layout.fillWidth: true
                Layout.topMargin: 16
                Layout.leftMargin: 16
                Layout.rightMargin: 16
                implicitHeight: Math.max(headerIcon.height, texts.implicitHeight)

                RoundedImage {
                    id: headerIcon
                    objectName: "detailIcon"
                    width: 100
                    height: 100
                    source: detail.iconURL
                    radius: 22
                    placeholderColor: Theme.placeholder
                    failedColor: Theme.gray
                    Rectangle {
                        z: -1
                        anchors.fill: parent
                        anchors.margins: -2
                        radius: 24
                        color: Theme.shadow
                    }
                }

                Column {
                    id: texts
                    x: headerIcon.width + 16
                    width: header.width - x
                    spacing: 6
                    Label {
                        objectName: "detailName"
                        width: parent.width
                        text: root.app.name
                        textFormat: Text.PlainText
                        font.pixelSize: Theme.title2Size
                        font.bold: true
                        wrapMode: Text.Wrap
                        maximumLineCount: 3
                        elide: Text.ElideRight
                    }
                    Label {
                        width: parent.width
                        text: root.app.bundleIdentifier
                        textFormat: Text.PlainText
                        font.pixelSize: Theme.captionSize
                        color: Theme.secondaryText
                        elide: Text.ElideMiddle
                    }
                    // The version line, then the source tag right after it.
                    Item {
                        id: versionRow
                        width: parent.width
                        height: Math.max(versionLabel.implicitHeight, sourceTag.implicitHeight)
                        Label {
                            id: versionLabel
                            objectName: "versionLine"
                            anchors.verticalCenter: parent.verticalCenter
                            width: Math.min(implicitWidth, versionRow.width * 0.55)
                            text: detail.versionLine
                            textFormat: Text.PlainText
                            font.pixelSize: Theme.captionSize
                            color: Theme.secondaryText
                            elide: Text.ElideRight
                        }
                        Label {
                            id: sourceTag
                            x: versionLabel.width + 8
                            anchors.verticalCenter: parent.verticalCenter
                            width: Math.min(implicitWidth, versionRow.width - x)
                            visible: detail.sourceRepoName.length > 0
                            text: detail.sourceRepoName
                            textFormat: Text.PlainText
                            font.pixelSize: Theme.caption2Size
                            color: Theme.blue
                            leftPadding: 6; rightPadding: 6; topPadding: 2; bottomPadding: 2
                            elide: Text.ElideRight
                            background: Rectangle { radius: 4; color: Theme.blueTint }
                        }
                    }
                    Row {
                        objectName: "headerButtons"
                        topPadding: 4
                        spacing: 12
                        DownloadButton {
                            id: headerDownload
                            objectName: "headerDownload"
                            subject: root.app.name
                            downloadManager: root.downloadManager
                            downloadURL: root.app.downloadURL
                            compact: false
                        }
                        AbstractButton {
                            objectName: "openButton"
                            visible: detail.isInstalled
                            leftPadding: 24; rightPadding: 24; topPadding: 6; bottomPadding: 6
                            Accessible.name: qsTr("Open %1").arg(root.app.name)
                            contentItem: Label {
                                text: qsTr("OPEN")
                                color: Theme.onAccent
                                font.bold: true
                                font.pixelSize: Theme.headlineSize
                            }
                            background: Rectangle { radius: height / 2; color: Theme.blue }
                            onClicked: {
                                if (detail.open() === AppDetailState.SetupNeeded)
                                    setupNeeded.open()
                            }
                        }
                    }
                }
            }

            Rectangle { objectName: "headerSeparator"; Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 16; height: 1; color: Theme.separator }

            // Preview.
            ColumnLayout {
                objectName: "previewSection"
                visible: detail.screenshotURLs.length > 0
                Layout.fillWidth: true
                spacing: 12
                Label {
                    Layout.leftMargin: 16
                    text: qsTr("Preview")
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                }
                ListView {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 350
                    orientation: ListView.Horizontal
                    spacing: 12
                    leftMargin: 16
                    rightMargin: 16
                    clip: true
                    model: detail.screenshotURLs
                    delegate: RoundedImage {
                        required property url modelData
                        height: 350
                        width: status === Image.Ready && implicitImageHeight > 0
                               ? Math.min(350 * implicitImageWidth / implicitImageHeight, 700) : 200
                        source: modelData
                        radius: 12
                        decodesByHeight: true
                        fillMode: Image.PreserveAspectFit
                        placeholderColor: Theme.grayTint
                    }
                }
                Rectangle { Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 16; height: 1; color: Theme.separator }
            }

            // About.
            ColumnLayout {
                Layout.fillWidth: true
                Layout.leftMargin: 16
                Layout.rightMargin: 16
                spacing: 8
                Label {
                    text: qsTr("About")
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                }
                Label {
                    objectName: "aboutText"
                    Layout.fillWidth: true
                    text: detail.aboutText
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    font.pixelSize: Theme.bodySize
                }
            }

            Rectangle { Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 16; height: 1; color: Theme.separator }

            // Version History.
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 10
                Label {
                    Layout.leftMargin: 16
                    text: qsTr("Version History")
                    font.pixelSize: Theme.headlineSize
                    font.weight: Font.DemiBold
                }
                Repeater {
                    objectName: "versionRows"
                    model: versions
                    delegate: VersionRow {
                        Layout.fillWidth: true
                        Layout.leftMargin: 16
                        Layout.rightMargin: 16
                        downloadManager: root.downloadManager
                    }
                }
            }
        }
    }
}

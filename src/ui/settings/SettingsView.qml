pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Dialogs
import QtQuick.Layouts
import Kivo

// The fourth tab: the two storage folders, automatic conversion, grouping, the repository order,
// the way into "Repos", export and import of the repository list, and the reset.
StackView {
    id: root

    required property AppStoreViewModel store
    required property DownloadManager downloadManager
    // Opens LiveContainer for the picker help.
    required property ContentController controller

    property bool isPickingLiveContainer: false
    property bool didSelectLiveContainer: false

    function openRepos(folderID: string) {
        push(reposComponent, { parentID: folderID })
        currentItem.forceActiveFocus()
    }
    function goBack() {
        pop()
        currentItem.forceActiveFocus()
    }
    function refresh() {
        root.store.refreshAllRepos()
    }

    onVisibleChanged: if (visible && currentItem) currentItem.forceActiveFocus()
    Keys.onEscapePressed: (event) => {
        if (depth > 1)
            goBack()
        else
            event.accepted = false
    }

    RepoActions {
        id: actions
        objectName: "settingsActions"
        store: root.store
    }

    Component {
        id: reposComponent
        RepoManagementView {
            store: root.store
            onOpenFolder: (folderID) => root.openRepos(folderID)
            onBack: root.goBack()
        }
    }

    initialItem: Page {
        objectName: "settingsPage"

        header: ToolBar {
            Material.foreground: Theme.onBar
            Label {
                anchors.centerIn: parent
                text: qsTr("Settings")
                font.pixelSize: Theme.headlineSize + 2
                font.weight: Font.DemiBold
            }
        }

        Flickable {
            id: settingsFlick
            anchors.fill: parent
            contentHeight: sections.implicitHeight
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}

            ColumnLayout {
                id: sections
                width: Math.min(settingsFlick.width, Theme.readableWidth)
                x: (settingsFlick.width - width) / 2
                spacing: 0

                SettingsSection { title: qsTr("Directories") }
                SettingsRow {
                    text: qsTr("Downloads")
                    Button {
                        objectName: "downloadsDefault"
                        visible: String(root.downloadManager.customDownloadFolder).length > 0
                        text: qsTr("Default")
                        flat: false
                        font.capitalization: Font.MixedCase
                        Accessible.name: qsTr("Default Downloads folder")
                        onClicked: root.downloadManager.resetCustomFolder(false)
                    }
                    Button {
                        objectName: "downloadsSelect"
                        text: qsTr("Select")
                        flat: true
                        font.capitalization: Font.MixedCase
                        Accessible.name: qsTr("Select Downloads folder")
                        onClicked: {
                            root.isPickingLiveContainer = false
                            folderPicker.open()
                        }
                    }
                }
                SettingsRow {
                    text: qsTr("LiveContainer")
                    Button {
                        objectName: "liveContainerDefault"
                        visible: String(root.downloadManager.customLiveContainerFolder).length > 0
                        text: qsTr("Default")
                        font.capitalization: Font.MixedCase
                        Accessible.name: qsTr("Default LiveContainer folder")
                        onClicked: root.downloadManager.resetCustomFolder(true)
                    }
                    Button {
                        objectName: "liveContainerSelect"
                        text: qsTr("Select")
                        flat: true
                        font.capitalization: Font.MixedCase
                        Accessible.name: qsTr("Select LiveContainer folder")
                        onClicked: {
                            root.isPickingLiveContainer = true
                            root.didSelectLiveContainer = false
                            folderPicker.open()
                        }
                    }
                }
                SettingsRow {
                    text: qsTr("Auto .ipa to .app")
                    Switch {
                        objectName: "autoUnzipSwitch"
                        checked: root.downloadManager.isAutoUnzipEnabled
                        Accessible.name: qsTr("Auto .ipa to .app")
                        onToggled: root.downloadManager.isAutoUnzipEnabled = checked
                    }
                }

                SettingsSection { title: qsTr("Store") }
                SettingsRow {
                    text: qsTr("Strict Grouping")
                    Switch {
                        objectName: "strictGroupingSwitch"
                        checked: root.store.strictGrouping
                        Accessible.name: qsTr("Strict Grouping")
                        onToggled: root.store.strictGrouping = checked
                    }
                }
                Label {
                    objectName: "groupingCaption"
                    Layout.fillWidth: true
                    Layout.leftMargin: 16
                    Layout.rightMargin: 16
                    Layout.bottomMargin: 8
                    text: root.store.strictGrouping
                          ? qsTr("Apps with different sources, names, or descriptions will be listed separately.")
                          : qsTr("Apps with the same Bundle ID will be grouped together regardless of source.")
                    wrapMode: Text.Wrap
                    font.pixelSize: Theme.captionSize
                    color: Theme.secondaryText
                }

                SettingsSection { title: qsTr("Repositories") }
                ItemDelegate {
                    objectName: "manageSources"
                    Layout.fillWidth: true
                    text: qsTr("Manage Sources")
                    Accessible.name: text
                    contentItem: RowLayout {
                        Label { Layout.fillWidth: true; text: qsTr("Manage Sources"); font.pixelSize: Theme.bodySize }
                        SymbolIcon { name: "chevron.right"; size: 20; color: Theme.secondaryText }
                    }
                    onClicked: root.openRepos("")
                }
                SettingsRow {
                    text: qsTr("Sort Repos By")
                    ComboBox {
                        objectName: "repoSortPicker"
                        model: [qsTr("Default"), qsTr("Name")]
                        implicitContentWidthPolicy: ComboBox.WidestTextWhenCompleted
                        currentIndex: actions.repoSortIndex
                        Accessible.name: qsTr("Sort Repos By")
                        onActivated: (index) => actions.repoSortIndex = index
                    }
                }

                SettingsSection { title: qsTr("Backup/Restore") }
                ItemDelegate {
                    objectName: "exportRepos"
                    Layout.fillWidth: true
                    text: qsTr("Export Repos...")
                    Accessible.name: text
                    contentItem: Label { text: qsTr("Export Repos..."); color: Theme.blue; font.pixelSize: Theme.bodySize }
                    onClicked: exportMenu.popup(this, 16, height)
                }
                ItemDelegate {
                    objectName: "importRepos"
                    Layout.fillWidth: true
                    text: qsTr("Import Repos (JSON)")
                    Accessible.name: text
                    contentItem: Label { text: qsTr("Import Repos (JSON)"); color: Theme.blue; font.pixelSize: Theme.bodySize }
                    onClicked: importSheet.open()
                }

                SettingsSection { title: qsTr("About") }
                SettingsRow { text: qsTr("Kivo v1.2") }
                ItemDelegate {
                    objectName: "resetToDefaults"
                    Layout.fillWidth: true
                    text: qsTr("Reset to Defaults")
                    Accessible.name: text
                    contentItem: Label { text: qsTr("Reset to Defaults"); color: Theme.red; font.pixelSize: Theme.bodySize }
                    onClicked: resetAlert.shown = true
                }
                Item { Layout.preferredHeight: 24 }
            }
        }
    }

    Menu {
        id: exportMenu
        objectName: "exportMenu"
        width: 260
        SymbolMenuItem {
            objectName: "copyAsJSON"
            text: qsTr("Copy as JSON")
            symbol: "doc.on.doc"
            onTriggered: {
                if (actions.treeContainsDisabled())
                    copyOptions.shown = true
                else
                    actions.copyTree(RepoActions.Json, false)
            }
        }
        SymbolMenuItem {
            objectName: "copyAsURLList"
            text: qsTr("Copy as URL List")
            symbol: "link"
            onTriggered: actions.copyTree(RepoActions.Url, false)
        }
        SymbolMenuItem {
            objectName: "shareJSONFile"
            text: qsTr("Share JSON File")
            symbol: "square.and.arrow.up"
            onTriggered: {
                const file = actions.writeShareFile()
                if (String(file).length > 0) {
                    shareSheet.file = file
                    shareSheet.open()
                }
            }
        }
    }

    FileShareSheet { id: shareSheet; objectName: "shareSheet" }

    ImportJSONView {
        id: importSheet
        objectName: "importSheet"
        actions: actions
    }

    FolderDialog {
        id: folderPicker
        objectName: "folderPicker"
        title: root.isPickingLiveContainer ? qsTr("Select LiveContainer Folder") : qsTr("Select Downloads Folder")
        onAccepted: {
            if (root.isPickingLiveContainer) {
                root.downloadManager.setCustomFolder(selectedFolder, true)
                root.didSelectLiveContainer = true
            } else {
                root.downloadManager.setCustomFolder(selectedFolder, false)
            }
        }
        onRejected: if (root.isPickingLiveContainer) helpTimer.restart()
    }

    // A LiveContainer folder picker that closes without a choice may be one LiveContainer keeps
    // from working; the help follows half a second later.
    Timer {
        id: helpTimer
        objectName: "pickerHelpTimer"
        interval: 500
        onTriggered: if (!root.didSelectLiveContainer) helpAlert.shown = true
    }

    AlertDialog {
        id: helpAlert
        objectName: "settingsHelpAlert"
        title: qsTr("Have trouble selecting?")
        message: qsTr("Solution: Open LiveContainer, find Kivo in the \"My Apps\" list, press and hold the icon, tap Settings, and enable Fix File Picker. Then try selecting the directory again.")
        buttons: [{ text: qsTr("Open LiveContainer"), style: "default" }, { text: qsTr("Cancel"), style: "cancel" }]
        cancelIndex: 1
        onTriggered: (index) => { if (index === 0) root.controller.openLiveContainerInstall() }
        onDismissed: shown = false
    }

    AlertDialog {
        id: resetAlert
        objectName: "resetAlert"
        title: qsTr("Reset?")
        buttons: [{ text: qsTr("Cancel"), style: "cancel" }, { text: qsTr("Reset"), style: "destructive" }]
        cancelIndex: 0
        onTriggered: (index) => { if (index === 1) root.store.resetToDefaults() }
        onDismissed: shown = false
    }

    AlertDialog {
        id: copyOptions
        objectName: "settingsCopyOptions"
        title: qsTr("Copy Options")
        message: qsTr("Some repositories are disabled. Which would you like to copy?")
        buttons: [
            { text: qsTr("Copy All"), style: "default" },
            { text: qsTr("Only Enabled"), style: "default" },
            { text: qsTr("Cancel"), style: "cancel" },
        ]
        cancelIndex: 2
        onTriggered: (index) => { if (index < 2) actions.copyTree(RepoActions.Json, index === 1) }
        onDismissed: shown = false
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Dialogs
import QtQuick.Layouts
import Kivo

// The main window: the two engines for the whole run, four tabs, the banner above them, and the
// window-wide prompts in the order they are attached.
ApplicationWindow {
    id: window

    property int selectedTab: 0

    width: 420
    height: 820
    minimumWidth: 320
    minimumHeight: 480
    visible: true
    title: "Kivo"
    Material.theme: Theme.materialTheme
    Material.background: Theme.windowBackground
    Material.foreground: Theme.primaryText
    Material.primary: Theme.barBackground
    Material.accent: Theme.blue

    AppStoreViewModel { id: storeEngine }
    DownloadManager { id: downloadEngine }

    ContentController {
        id: controller
        objectName: "contentController"
        store: storeEngine
        downloadManager: downloadEngine
    }

    Component.onCompleted: controller.start()

    ReturnKeyActivation { window: window }

    // What F5 refreshes on each tab.
    function refreshTab() {
        switch (window.selectedTab) {
        case 0: storeView.refresh(); break
        case 1: appsView.refresh(); break
        case 2: downloadView.refresh(); break
        case 3: settingsView.refresh(); break
        }
    }
    Shortcut {
        sequence: KeyboardShortcuts.sequence(KeyboardShortcuts.Search)
        onActivated: {
            window.selectedTab = 0
            storeView.focusSearch()
        }
    }
    Shortcut {
        sequence: KeyboardShortcuts.sequence(KeyboardShortcuts.Refresh)
        onActivated: window.refreshTab()
    }
    Shortcut {
        sequence: KeyboardShortcuts.sequence(KeyboardShortcuts.StoreTab)
        onActivated: window.selectedTab = 0
    }
    Shortcut {
        sequence: KeyboardShortcuts.sequence(KeyboardShortcuts.AppsTab)
        onActivated: window.selectedTab = 1
    }
    Shortcut {
        sequence: KeyboardShortcuts.sequence(KeyboardShortcuts.DownloadTab)
        onActivated: window.selectedTab = 2
    }
    Shortcut {
        sequence: KeyboardShortcuts.sequence(KeyboardShortcuts.SettingsTab)
        onActivated: window.selectedTab = 3
    }

    footer: TabBar {
        id: tabBar
        objectName: "tabBar"
        currentIndex: window.selectedTab
        onCurrentIndexChanged: window.selectedTab = currentIndex
        Repeater {
            model: [
                { label: qsTr("Store"), symbol: "bag" },
                { label: qsTr("Apps"), symbol: "square.grid.2x2" },
                { label: qsTr("Download"), symbol: "arrow.down.circle" },
                { label: qsTr("Settings"), symbol: "gear" },
            ]
            delegate: TabButton {
                id: tab
                required property var modelData
                required property int index
                objectName: "tab" + index
                text: modelData.label
                contentItem: Column {
                    spacing: 2
                    SymbolIcon {
                        anchors.horizontalCenter: parent.horizontalCenter
                        name: tab.modelData.symbol
                        size: 24
                        color: tab.checked ? Theme.blue : Theme.secondaryText
                    }
                    Label {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: tab.modelData.label
                        font.pixelSize: Theme.caption2Size
                        color: tab.checked ? Theme.blue : Theme.secondaryText
                    }
                }
            }
        }
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: window.selectedTab

        StoreView {
            id: storeView
            objectName: "storeView"
            store: storeEngine
            downloadManager: downloadEngine
        }
        InstalledAppsView {
            id: appsView
            objectName: "installedAppsView"
            store: storeEngine
            downloadManager: downloadEngine
            // The store shows the search from its list, not from an app left open there.
            onSearchStore: (text) => {
                storeEngine.searchText = text
                storeView.closeApp()
                window.selectedTab = 0
            }
        }
        DirectDownloadView {
            id: downloadView
            objectName: "directDownloadView"
            store: storeEngine
            downloadManager: downloadEngine
        }
        SettingsView {
            id: settingsView
            objectName: "settingsView"
            store: storeEngine
            downloadManager: downloadEngine
            controller: controller
        }
    }

    // A file dropped anywhere on the window is imported into the downloads folder.
    DropArea {
        anchors.fill: parent
        onDropped: (drop) => {
            if (drop.hasUrls) {
                for (const url of drop.urls)
                    downloadEngine.beginImportFile(url)
                drop.acceptProposedAction()
            }
        }
    }

    InAppNotificationView {
        anchors.fill: parent
    }

    // 1. An update that LiveContainer has still to run.
    AlertDialog {
        id: completeUpdateAlert
        objectName: "completeUpdateAlert"
        title: qsTr("Complete Update")
        shown: controller.showsCompleteUpdate
        message: controller.completeUpdateMessage
        buttons: [
            { text: qsTr("Open LiveContainer"), style: "default" },
            { text: qsTr("Cancel Update (Restore)"), style: "default" },
            { text: qsTr("Delete Backup"), style: "destructive" },
        ]
        onTriggered: (index) => {
            switch (index) {
            case 0: controller.openLiveContainerForBackup(); break
            case 1: controller.restoreVerificationBackup(); break
            case 2: controller.deleteVerificationBackup(); break
            }
        }
        onDismissed: controller.dismissCompleteUpdate()
    }

    // 2. First run without LiveContainer's folder.
    AlertDialog {
        objectName: "setupAlert"
        title: qsTr("Setup LiveContainer")
        shown: controller.showSetupAlert
        message: qsTr("To enable auto-installation and launching, please select your LiveContainer storage directory.")
        buttons: [
            { text: qsTr("Select Folder"), style: "default" },
            { text: qsTr("Trouble Selecting?"), style: "default" },
            { text: qsTr("Later"), style: "cancel" },
        ]
        cancelIndex: 2
        onTriggered: (index) => {
            switch (index) {
            case 0: controller.selectFolder(); break
            case 1: controller.troubleSelecting(); break
            default: controller.later(); break
            }
        }
    }

    // 3. LiveContainer's storage folder.
    FolderDialog {
        id: setupPicker
        title: qsTr("Select LiveContainer Folder")
        onAccepted: controller.folderPicked(selectedFolder)
        onVisibleChanged: if (!visible) controller.showSetupPicker = false
    }
    Connections {
        target: controller
        function onShowSetupPickerChanged() {
            if (controller.showSetupPicker)
                setupPicker.open()
        }
    }

    // 4. Help for a folder picker that does not work inside LiveContainer.
    AlertDialog {
        objectName: "filePickerHelpAlert"
        title: qsTr("Have trouble selecting?")
        shown: controller.showFilePickerHelp
        message: qsTr("Solution: Open LiveContainer, find Kivo in the \"My Apps\" list, press and hold the icon, tap Settings, and enable Fix File Picker. Then try selecting the directory again.")
        buttons: [{ text: qsTr("Open LiveContainer"), style: "default" }, { text: qsTr("Cancel"), style: "cancel" }]
        cancelIndex: 1
        onTriggered: (index) => {
            if (index === 0)
                controller.openLiveContainerInstall()
        }
        onDismissed: controller.showFilePickerHelp = false
    }

    // 5. A downloaded app whose bundle identifier is already installed.
    AlertDialog {
        objectName: "conflictAlert"
        title: qsTr("App Conflict")
        shown: controller.showConflictAlert
        message: controller.conflictMessage
        buttons: [
            { text: qsTr("Update Existing"), style: "default" },
            { text: qsTr("Install as Separate App"), style: "default" },
            { text: qsTr("Cancel"), style: "cancel" },
        ]
        cancelIndex: 2
        // The button order is the order of ContentController.ConflictAnswer.
        onTriggered: (index) => controller.resolveConflict(index)
    }
}

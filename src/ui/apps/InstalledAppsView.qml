pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// The second tab: the apps in LiveContainer's applications folder as a grid of tiles. A tile
// launches its app; its context menu deletes it or looks it up in the store.
Page {
    id: root

    required property AppStoreViewModel store
    required property DownloadManager downloadManager

    // The store is to show this search: "Update", "Search Name" and "Search Bundle ID".
    signal searchStore(string text)

    InstalledAppsState {
        id: actions
        downloadManager: root.downloadManager
        store: root.store
    }

    InstalledAppListModel {
        id: installed
        downloadManager: root.downloadManager
        store: root.store
    }

    AdaptiveColumns {
        id: columns
        availableWidth: root.width - 32
        minimum: 80
        maximum: 100
        spacing: 20
    }

    function launch(app) {
        if (actions.launch(app) === InstalledAppsState.SetupNeeded) {
            setupAlert.app = app
            setupAlert.open()
        }
    }

    function openMenu(tile: InstalledAppItem, x: real, y: real) {
        appMenu.tile = tile
        grid.currentIndex = tile.index
        appMenu.popup(tile, x, y)
    }

    // The keyboard is on the grid whenever the tab is shown.
    onVisibleChanged: if (visible) grid.forceActiveFocus()

    function refresh() {
        actions.rescan()
    }

    header: ToolBar {
        Material.foreground: Theme.onBar
        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 16
            Label {
                Layout.fillWidth: true
                text: qsTr("Apps")
                font.pixelSize: Theme.headlineSize + 2
                font.weight: Font.DemiBold
            }
            ToolButton {
                objectName: "checkUpdatesButton"
                text: qsTr("Check Updates")
                font.capitalization: Font.MixedCase
                Accessible.name: text
                onClicked: actions.checkForUpdates()
            }
        }
    }

    SetupRequiredAlert {
        id: setupAlert
        property var app
        onOpenLiveContainer: actions.openLiveContainerForSetup(setupAlert.app)
    }

    Menu {
        id: appMenu
        objectName: "appMenu"
        // Wide enough for the bundle identifier and the folder name.
        width: Math.min(root.width - 24, 340)
        // The tile it was opened for.
        property InstalledAppItem tile: null
        readonly property string appName: tile ? tile.name : ""
        readonly property string appBundleID: tile ? tile.bundleID : ""
        readonly property string appVersion: tile ? tile.version : ""
        readonly property string appFolderName: tile ? tile.folderName : ""

        SymbolMenuItem {
            objectName: "deleteAppItem"
            text: qsTr("Delete App")
            symbol: "trash"
            symbolColor: Theme.red
            Material.foreground: Theme.red
            onTriggered: actions.deleteApp(appMenu.tile.app)
        }
        MenuSeparator {}
        SymbolMenuItem {
            objectName: "searchNameItem"
            text: qsTr("Search Name")
            symbol: "magnifyingglass"
            onTriggered: root.searchStore(appMenu.appName)
        }
        SymbolMenuItem {
            objectName: "searchBundleItem"
            text: qsTr("Search Bundle ID")
            symbol: "barcode.viewfinder"
            onTriggered: root.searchStore(appMenu.appBundleID)
        }
        MenuSeparator {}
        SymbolMenuItem {
            objectName: "versionItem"
            enabled: false
            visible: appMenu.appVersion.length > 0
            text: qsTr("Version: %1").arg(appMenu.appVersion)
        }
        SymbolMenuItem {
            objectName: "bundleItem"
            enabled: false
            text: qsTr("Bundle: %1").arg(appMenu.appBundleID)
        }
        SymbolMenuItem {
            objectName: "fileItem"
            enabled: false
            text: qsTr("File: %1").arg(appMenu.appFolderName)
        }
    }

    GridView {
        id: grid
        objectName: "appsGrid"
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: columns.count * cellWidth
        anchors.horizontalCenter: parent.horizontalCenter
        topMargin: 16
        bottomMargin: 16
        cellWidth: columns.columnWidth + columns.spacing
        // The tile's fixed height and a row spacing of 24.
        cellHeight: 70 + 6 + 35 + 6 + 22 + 24
        model: installed
        focus: true
        activeFocusOnTab: true
        keyNavigationEnabled: true
        reuseItems: true
        cacheBuffer: 320
        boundsBehavior: Flickable.DragOverBounds
        Accessible.name: qsTr("Installed apps")
        Accessible.role: Accessible.List
        ScrollBar.vertical: ScrollBar { parent: root; anchors.right: parent.right; anchors.top: parent.top; anchors.bottom: parent.bottom }

        Keys.onMenuPressed: root.openCurrentMenu()
        Keys.onReturnPressed: root.launchCurrent()
        Keys.onEnterPressed: root.launchCurrent()
        Keys.onSpacePressed: root.launchCurrent()
        // The focus ring shows once the keys move through the grid, not after a tap.
        property bool usesKeyboard: false
        Keys.onPressed: (event) => {
            grid.usesKeyboard = true
            if (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier)) {
                root.openCurrentMenu()
                event.accepted = true
            }
        }

        // Pull to refresh: dragging the grid down past the threshold and letting go.
        readonly property real pullThreshold: 80
        readonly property bool pulledFar: contentY < originY - topMargin - pullThreshold
        property bool refreshArmed: false
        onPulledFarChanged: if (pulledFar && dragging) refreshArmed = true
        onDraggingChanged: {
            if (!dragging && refreshArmed) {
                refreshArmed = false
                actions.rescan()
            }
        }

        delegate: InstalledAppItem {
            id: tile
            objectName: "appTile" + index
            width: grid.cellWidth
            tileWidth: columns.columnWidth
            onTouched: grid.usesKeyboard = false
            readonly property bool isCurrent: GridView.isCurrentItem
            onIsCurrentChanged: if (isCurrent) root.currentTile = tile
            Component.onCompleted: if (isCurrent) root.currentTile = tile
            onLaunchRequested: {
                grid.currentIndex = tile.index
                root.launch(tile.app)
            }
            onMenuRequested: (x, y) => root.openMenu(tile, x, y)
            onUpdateRequested: root.searchStore(tile.bundleID)
        }

        // One ring for the tile the keys are on, rather than one in every tile. (A highlight
        // component would be made outside this file's bound context.)
        Rectangle {
            parent: grid.contentItem
            visible: grid.usesKeyboard && grid.activeFocus && grid.currentItem !== null
            width: columns.columnWidth + 12
            height: 70 + 6 + 35 + 6 + 22 + 12
            x: grid.currentItem ? grid.currentItem.x + (grid.cellWidth - width) / 2 : 0
            y: grid.currentItem ? grid.currentItem.y - 6 : 0
            z: -1
            radius: 12
            color: "transparent"
            border.width: 2
            border.color: Theme.blue
        }

        Label {
            parent: grid
            anchors.horizontalCenter: parent.horizontalCenter
            y: 8
            visible: grid.refreshArmed
            text: qsTr("Release to refresh")
            font.pixelSize: Theme.captionSize
            color: Theme.secondaryText
        }
    }

    // Nothing installed yet.
    Column {
        objectName: "noAppsView"
        visible: installed.count === 0
        y: 50
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(parent.width - 48, 360)
        spacing: 8
        SymbolIcon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "square.dashed"
            size: 44
            color: Theme.secondaryText
        }
        Label {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: qsTr("No Apps")
            font.pixelSize: Theme.headlineSize
            font.weight: Font.DemiBold
        }
        Label {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            color: Theme.secondaryText
            font.pixelSize: Theme.subheadlineSize
            text: qsTr("Apps extracted to the applications folder will appear here.")
        }
    }

    // The tile the keys are on, as its delegate reports it.
    property InstalledAppItem currentTile: null

    function launchCurrent() {
        if (root.currentTile)
            root.launch(root.currentTile.app)
    }

    function openCurrentMenu() {
        if (root.currentTile)
            root.openMenu(root.currentTile, root.currentTile.width / 2, 70)
    }
}

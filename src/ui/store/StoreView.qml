pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// The first tab: the catalogue, searchable, sortable and filtered by source; a row opens the
// app's detail screen. Phones push the detail over the list; wide windows show the list and the
// opened app side by side.
Item {
    id: root

    required property AppStoreViewModel store
    required property DownloadManager downloadManager

    // From this width on, the list and the detail stand side by side.
    readonly property bool splitsView: width >= Theme.splitViewWidth
    // The app in the detail pane of the wide layout; empty while none is open.
    readonly property string shownAppID: {
        const detail = root.openDetail(pane)
        return detail ? detail.app.id : ""
    }

    // The detail screen on top of a stack; null while the stack shows only its first page (or is
    // between two pages).
    function openDetail(stackView) {
        return stackView.depth > 1 ? stackView.currentItem as AppDetailView : null
    }

    function openApp(app) {
        let detail = null
        if (!splitsView) {
            detail = stack.push(detailComponent, { app: app })
        } else if (pane.depth > 1) {
            detail = pane.replace(detailComponent, { app: app, showsBack: false }, StackView.Immediate)
        } else {
            detail = pane.push(detailComponent, { app: app, showsBack: false }, StackView.Immediate)
        }
        if (detail)
            (detail as AppDetailView).focusDownload()
    }

    function closeApp() {
        if (stack.depth > 1)
            stack.pop()
        if (pane.depth > 1)
            pane.pop(null, StackView.Immediate)
    }

    function refresh() {
        root.store.refreshAllRepos()
    }

    // On a phone the open app covers the search field: back to the list first.
    function focusSearch() {
        if (!splitsView)
            closeApp()
        searchField.forceActiveFocus(Qt.ShortcutFocusReason)
        searchField.selectAll()
    }

    // The keys go to the open app's download control, or to the list.
    function focusContent() {
        const detail = openDetail(splitsView ? pane : stack)
        if (detail)
            detail.focusDownload()
        else
            list.forceActiveFocus()
    }

    onVisibleChanged: if (visible) focusContent()
    Keys.onEscapePressed: (event) => {
        if (stack.depth > 1 || pane.depth > 1) {
            closeApp()
            list.forceActiveFocus()
        } else {
            event.accepted = false
        }
    }

    // The open app follows the window across the threshold.
    onSplitsViewChanged: {
        const from = splitsView ? stack : pane
        const detail = openDetail(from)
        if (!detail)
            return
        const app = detail.app
        from.pop(null, StackView.Immediate)
        openApp(app)
    }

    StoreViewState {
        id: screenState
        store: root.store
    }

    CatalogueListModel {
        id: catalogue
        store: root.store
        downloadManager: root.downloadManager
    }

    Component {
        id: detailComponent
        AppDetailView {
            store: root.store
            downloadManager: root.downloadManager
            onBack: root.closeApp()
        }
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        StackView {
            id: stack
            objectName: "storeStack"
            Layout.fillHeight: true
            Layout.fillWidth: !root.splitsView
            Layout.preferredWidth: root.splitsView ? Math.round(Math.min(Math.max(root.width * 0.38, 360), 480)) : -1

            initialItem: Page {
                id: page

                header: ToolBar {
                    Material.foreground: Theme.onBar
                    RowLayout {
                        anchors.fill: parent
                        anchors.leftMargin: 16
                        Label {
                            Layout.fillWidth: true
                            text: qsTr("Store")
                            font.pixelSize: Theme.headlineSize + 2
                            font.weight: Font.DemiBold
                        }
                        ToolButton {
                            objectName: "sortButton"
                            Accessible.name: qsTr("Sort")
                            ToolTip.visible: hovered || visualFocus
                            ToolTip.text: Accessible.name
                            contentItem: SymbolIcon { name: "arrow.up.arrow.down"; size: 22; color: Theme.onBar }
                            // Under the button, right edges aligned, wherever the pointer or finger was.
                            onClicked: sortMenu.popup(width - sortMenu.width, height)
                            Menu {
                                id: sortMenu
                                objectName: "sortMenu"
                                title: qsTr("Sort By")
                                MenuItem { enabled: false; text: qsTr("Sort By"); font.pixelSize: Theme.captionSize }
                                Repeater {
                                    model: screenState.sortOptions
                                    delegate: MenuItem {
                                        required property string modelData
                                        required property int index
                                        text: modelData
                                        checkable: true
                                        checked: screenState.sortIndex === index
                                        onTriggered: {
                                            screenState.sortIndex = index
                                            checked = Qt.binding(() => screenState.sortIndex === index)
                                        }
                                    }
                                }
                            }
                        }
                    }
                }

                ColumnLayout {
                    anchors.fill: parent
                    spacing: 0

                    TextField {
                        id: searchField
                        objectName: "searchField"
                        Accessible.name: qsTr("Search")
                        Layout.fillWidth: true
                        Layout.maximumWidth: Theme.readableWidth
                        Layout.alignment: Qt.AlignHCenter
                        Layout.leftMargin: 16
                        Layout.rightMargin: 16
                        Layout.topMargin: 4
                        placeholderText: qsTr("Search apps, bundles...")
                        leftPadding: 36
                        text: root.store.searchText
                        onTextEdited: root.store.searchText = text
                        inputMethodHints: Qt.ImhNoPredictiveText
                        SymbolIcon {
                            anchors.left: parent.left
                            anchors.leftMargin: 6
                            anchors.verticalCenter: parent.verticalCenter
                            name: "magnifyingglass"
                            color: Theme.secondaryText
                        }
                    }

                    // Loading progress and the source filter stay above the rows. (A ListView header
                    // cannot be used here: Qt 6.4 creates it outside this file's bound context.)
                    ColumnLayout {
                        objectName: "progressRow"
                        visible: screenState.showsProgress
                        Layout.fillWidth: true
                        Layout.leftMargin: 16
                        Layout.rightMargin: 16
                        Layout.topMargin: 8
                        spacing: 6
                        Label {
                            text: qsTr("Updating Repositories...")
                            font.pixelSize: Theme.captionSize
                            color: Theme.secondaryText
                        }
                        RowLayout {
                            Layout.fillWidth: true
                            ProgressBar {
                                Layout.fillWidth: true
                                from: 0
                                to: Math.max(1, root.store.fetchTotal)
                                value: root.store.fetchProgress
                            }
                            Label {
                                objectName: "progressText"
                                text: screenState.progressText
                                font.pixelSize: Theme.caption2Size
                                color: Theme.secondaryText
                            }
                        }
                    }

                    RowLayout {
                        objectName: "sourceRow"
                        visible: screenState.showsSourcePicker
                        Layout.fillWidth: true
                        Layout.leftMargin: 16
                        Layout.rightMargin: 16
                        Label {
                            Layout.fillWidth: true
                            text: qsTr("Source")
                            font.pixelSize: Theme.bodySize
                        }
                        ComboBox {
                            objectName: "sourcePicker"
                            Accessible.name: qsTr("Source")
                            implicitContentWidthPolicy: ComboBox.WidestText
                            // Room for "All Sources" at least; a long name is cut short at 60 %.
                            Layout.preferredWidth: Math.max(implicitWidth, 180)
                            Layout.maximumWidth: Math.max(180, list.width * 0.6)
                            model: screenState.sourceOptions
                            currentIndex: screenState.sourceIndex
                            onActivated: (index) => {
                                screenState.sourceIndex = index
                                currentIndex = Qt.binding(() => screenState.sourceIndex)
                            }
                            displayText: currentIndex >= 0 ? currentText : ""
                        }
                    }

                    ListView {
                        id: list
                        objectName: "storeList"
                        Layout.fillWidth: true
                        Layout.maximumWidth: 960
                        Layout.alignment: Qt.AlignHCenter
                        Layout.fillHeight: true
                        clip: true
                        model: catalogue
                        reuseItems: true
                        cacheBuffer: 400
                        // One stop for Tab: the arrows move through the rows, Return opens one.
                        activeFocusOnTab: true
                        keyNavigationEnabled: true
                        highlightMoveDuration: 0
                        Accessible.name: qsTr("Apps")
                        Accessible.role: Accessible.List
                        Keys.onReturnPressed: list.openCurrent()
                        Keys.onEnterPressed: list.openCurrent()
                        Keys.onSpacePressed: list.openCurrent()
                        // The app of the row the keys are on, as its delegate reports it.
                        property var currentApp: null
                        function openCurrent() {
                            if (list.currentItem && list.currentApp)
                                root.openApp(list.currentApp)
                        }
                        boundsBehavior: Flickable.DragOverBounds
                        ScrollBar.vertical: ScrollBar {}

                        // Pull to refresh: dragging the list down past the threshold and letting go.
                        readonly property real pullThreshold: 80
                        readonly property bool pulledFar: contentY < originY - pullThreshold
                        property bool refreshArmed: false
                        onPulledFarChanged: if (pulledFar && dragging) refreshArmed = true
                        onDraggingChanged: {
                            if (!dragging && refreshArmed) {
                                refreshArmed = false
                                root.store.refreshAllRepos()
                            }
                        }

                        delegate: AppListRow {
                            required property var app
                            required property int index
                            width: list.width
                            highlighted: (root.splitsView && app.id === root.shownAppID)
                                         || (ListView.isCurrentItem && list.activeFocus)
                            focusPolicy: Qt.NoFocus
                            readonly property bool isCurrent: ListView.isCurrentItem
                            onIsCurrentChanged: if (isCurrent) list.currentApp = app
                            onAppChanged: if (isCurrent) list.currentApp = app
                            onClicked: root.openApp(app)
                        }

                        // Shown in the space a pull opens above the first row.
                        Label {
                            parent: list
                            anchors.horizontalCenter: parent.horizontalCenter
                            y: 8
                            visible: list.refreshArmed
                            text: qsTr("Release to refresh")
                            font.pixelSize: Theme.captionSize
                            color: Theme.secondaryText
                        }

                        // Nothing to list: say so plainly, and how to try again.
                        Column {
                            objectName: "emptyState"
                            anchors.centerIn: parent
                            width: Math.min(parent.width - 48, 360)
                            spacing: 8
                            visible: list.count === 0 && !root.store.isLoading
                            SymbolIcon {
                                anchors.horizontalCenter: parent.horizontalCenter
                                name: root.store.searchText.length > 0 ? "magnifyingglass" : "bag"
                                size: 44
                                color: Theme.secondaryText
                            }
                            Label {
                                width: parent.width
                                horizontalAlignment: Text.AlignHCenter
                                wrapMode: Text.Wrap
                                text: root.store.searchText.length > 0 ? qsTr("No Results") : qsTr("No Apps")
                                font.pixelSize: Theme.headlineSize
                                font.weight: Font.DemiBold
                            }
                            Label {
                                width: parent.width
                                horizontalAlignment: Text.AlignHCenter
                                wrapMode: Text.Wrap
                                color: Theme.secondaryText
                                font.pixelSize: Theme.subheadlineSize
                                text: root.store.searchText.length > 0
                                      ? qsTr("No apps match your search.")
                                      : qsTr("Your repositories have no apps to show yet. Pull down to refresh.")
                            }
                            // Pulling is a touch gesture; a pointer gets a button too.
                            Button {
                                objectName: "refreshButton"
                                anchors.horizontalCenter: parent.horizontalCenter
                                visible: root.store.searchText.length === 0
                                flat: true
                                text: qsTr("Refresh")
                                font.capitalization: Font.MixedCase
                                Material.foreground: Theme.blue
                                onClicked: root.store.refreshAllRepos()
                            }
                        }
                    }
                }
            }
        }

        Rectangle {
            visible: root.splitsView
            Layout.fillHeight: true
            Layout.preferredWidth: 1
            color: Theme.separator
        }

        StackView {
            id: pane
            objectName: "detailPane"
            visible: root.splitsView
            Layout.fillWidth: true
            Layout.fillHeight: true

            initialItem: Page {
                header: ToolBar {}

                Column {
                    objectName: "noAppShown"
                    anchors.centerIn: parent
                    width: Math.min(parent.width - 48, 360)
                    spacing: 8
                    SymbolIcon {
                        anchors.horizontalCenter: parent.horizontalCenter
                        name: "square.grid.2x2"
                        size: 44
                        color: Theme.secondaryText
                    }
                    Label {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        text: qsTr("No App Selected")
                        font.pixelSize: Theme.headlineSize
                        font.weight: Font.DemiBold
                    }
                    Label {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        color: Theme.secondaryText
                        font.pixelSize: Theme.subheadlineSize
                        text: qsTr("Choose an app from the list to see its details and versions.")
                    }
                }
            }
        }
    }
}

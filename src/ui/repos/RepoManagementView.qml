pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import Kivo

// "Repos": one level of the repository tree. A folder opens the next level; each row switches its
// node on or off; the context menu copies, renames, moves, refreshes and deletes.
Page {
    id: root

    required property AppStoreViewModel store
    // Empty for the top level.
    property string parentID: ""

    signal openFolder(string folderID)
    signal back()

    property bool editing: false
    // The node the open menu, the rename alert, the copy dialog or the move sheet is about.
    property var pendingRepo: null
    property int copyMode: RepoActions.Json

    RepoLevelModel {
        id: level
        store: root.store
        parentID: root.parentID
    }

    RepoActions {
        id: actions
        store: root.store
    }

    RepoRowParts {
        id: rowParts
    }

    function copy(repo, mode) {
        if (repo.containsDisabled) {
            root.pendingRepo = repo
            root.copyMode = mode
            copyOptions.shown = true
        } else {
            actions.copyNode(repo, mode, false)
        }
    }

    function openMenu(row: RepoRow, x: real, y: real) {
        root.pendingRepo = row.repo
        list.currentIndex = row.index
        repoMenu.popup(row, x, y)
    }

    header: ToolBar {
        Material.foreground: Theme.onBar
        RowLayout {
            anchors.fill: parent
            ToolButton {
                objectName: "reposBackButton"
                Accessible.name: qsTr("Back")
                ToolTip.visible: hovered || visualFocus
                ToolTip.text: Accessible.name
                contentItem: SymbolIcon { name: "chevron.left"; size: 22; color: Theme.onBar }
                onClicked: root.back()
            }
            Item { Layout.fillWidth: true }
            ToolButton {
                objectName: "editButton"
                visible: !level.insideLinkedFolder
                text: root.editing ? qsTr("Done") : qsTr("Edit")
                font.capitalization: Font.MixedCase
                Accessible.name: text
                onClicked: root.editing = !root.editing
            }
            ToolButton {
                objectName: "addButton"
                visible: !level.insideLinkedFolder
                Accessible.name: qsTr("Add")
                ToolTip.visible: hovered || visualFocus
                ToolTip.text: Accessible.name
                contentItem: SymbolIcon { name: "plus"; size: 22; color: Theme.onBar }
                onClicked: addSheet.open()
            }
        }
        Label {
            anchors.centerIn: parent
            text: qsTr("Repos")
            font.pixelSize: Theme.headlineSize + 2
            font.weight: Font.DemiBold
        }
    }

    ListView {
        id: list
        objectName: "reposList"
        anchors.fill: parent
        clip: true
        model: level
        focus: true
        keyNavigationEnabled: true
        currentIndex: -1
        highlightMoveDuration: 0
        activeFocusOnTab: true
        Keys.onDeletePressed: if (currentIndex >= 0) level.deleteRows([currentIndex])
        Keys.onReturnPressed: list.activateCurrent()
        Keys.onEnterPressed: list.activateCurrent()
        Keys.onSpacePressed: list.activateCurrent()
        Keys.onMenuPressed: list.openCurrentMenu()
        Keys.onPressed: (event) => {
            if (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier)) {
                list.openCurrentMenu()
                event.accepted = true
            }
        }
        // A folder opens; a source is switched on or off.
        // The row the keys are on, as its delegate reports it.
        property RepoRow currentRow: null
        function activateCurrent() {
            if (!list.currentRow)
                return
            if (list.currentRow.isFolder)
                root.openFolder(list.currentRow.repoID)
            else
                root.store.setRepoEnabled(list.currentRow.repoID, !list.currentRow.isEnabled)
        }
        function openCurrentMenu() {
            if (list.currentRow)
                root.openMenu(list.currentRow, list.currentRow.width / 2, list.currentRow.height / 2)
        }
        delegate: RepoRow {
            id: row
            editing: root.editing
            deletable: !level.insideLinkedFolder
            parts: rowParts
            highlighted: ListView.isCurrentItem && list.activeFocus
            readonly property bool isCurrent: ListView.isCurrentItem
            onIsCurrentChanged: if (isCurrent) list.currentRow = row
            Component.onCompleted: if (isCurrent) list.currentRow = row
            onOpenFolder: root.openFolder(row.repoID)
            onToggled: (enabled) => root.store.setRepoEnabled(row.repoID, enabled)
            onMenuRequested: (x, y) => root.openMenu(row, x, y)
            onDeleteRequested: level.deleteRows([row.index])
        }

        Label {
            objectName: "emptyLevel"
            anchors.centerIn: parent
            visible: list.count === 0
            text: qsTr("No Repositories")
            color: Theme.secondaryText
            font.pixelSize: Theme.bodySize
        }
    }

    Menu {
        id: repoMenu
        objectName: "repoMenu"
        width: 260
        readonly property bool isFolder: root.pendingRepo ? root.pendingRepo.isFolder : false
        readonly property bool isLinked: isFolder && root.pendingRepo.repoListURL !== undefined

        SymbolMenuItem {
            objectName: "updateListItem"
            visible: repoMenu.isLinked
            text: qsTr("Update List")
            symbol: "arrow.triangle.2.circlepath"
            onTriggered: root.store.updateFolderList(root.pendingRepo.id)
        }
        SymbolMenuItem {
            objectName: "copyFolderURLItem"
            visible: repoMenu.isLinked
            text: qsTr("Copy Folder URL")
            symbol: "link"
            onTriggered: actions.copyText(root.pendingRepo.repoListURL.toString())
        }
        SymbolMenuItem {
            objectName: "renameItem"
            visible: repoMenu.isFolder
            text: qsTr("Rename")
            symbol: "pencil"
            onTriggered: {
                renameAlert.folderID = root.pendingRepo.id
                renameField.text = root.pendingRepo.name
                renameAlert.open()
            }
        }
        SymbolMenuItem {
            objectName: "moveItem"
            text: qsTr("Move...")
            symbol: "folder.badge.gear"
            onTriggered: moveSheet.openFor(root.pendingRepo)
        }
        SymbolMenuItem {
            objectName: "copyURLsItem"
            text: qsTr("Copy URLs")
            onTriggered: root.copy(root.pendingRepo, RepoActions.Url)
        }
        SymbolMenuItem {
            objectName: "copyJSONItem"
            text: qsTr("Copy JSON")
            onTriggered: root.copy(root.pendingRepo, RepoActions.Json)
        }
        SymbolMenuItem {
            objectName: "deleteItem"
            visible: !level.insideLinkedFolder
            text: repoMenu.isFolder ? qsTr("Delete Folder") : qsTr("Delete")
            symbol: "trash"
            symbolColor: Theme.red
            Material.foreground: Theme.red
            onTriggered: root.store.deleteRepo(root.pendingRepo.id)
        }
    }

    Dialog {
        id: renameAlert
        Material.background: Theme.raisedBackground
        objectName: "renameAlert"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent ? parent.width - 48 : 320, 400)
        modal: true
        title: qsTr("Rename Folder")
        property string folderID
        TextField {
            id: renameField
            objectName: "renameField"
            anchors.left: parent.left
            anchors.right: parent.right
            placeholderText: qsTr("New Name")
            Accessible.name: qsTr("New Name")
        }
        footer: RowLayout {
            spacing: 0
            Item { Layout.fillWidth: true }
            Button {
                objectName: "renameCancel"
                text: qsTr("Cancel")
                flat: true
                font.capitalization: Font.MixedCase
                Accessible.name: text
                onClicked: renameAlert.reject()
            }
            Button {
                objectName: "renameSave"
                text: qsTr("Save")
                flat: true
                font.capitalization: Font.MixedCase
                Accessible.name: text
                onClicked: renameAlert.accept()
            }
            Item { Layout.preferredWidth: 8 }
        }
        // As typed, not trimmed: an empty name is the user's to choose.
        onAccepted: root.store.renameRepo(folderID, renameField.text)
    }

    AlertDialog {
        id: copyOptions
        objectName: "copyOptions"
        title: qsTr("Copy Options")
        message: qsTr("This item contains disabled content.")
        buttons: [
            { text: qsTr("Copy All"), style: "default" },
            { text: qsTr("Only Enabled"), style: "default" },
            { text: qsTr("Cancel"), style: "cancel" },
        ]
        cancelIndex: 2
        onTriggered: (index) => {
            if (index < 2 && root.pendingRepo)
                actions.copyNode(root.pendingRepo, root.copyMode, index === 1)
        }
        onDismissed: {
            shown = false
            root.pendingRepo = null
        }
    }

    AddRepoSheet {
        id: addSheet
        objectName: "addSheet"
        actions: actions
        parentID: root.parentID
    }

    MoveRepoSheet {
        id: moveSheet
        objectName: "moveSheet"
        store: root.store
    }
}

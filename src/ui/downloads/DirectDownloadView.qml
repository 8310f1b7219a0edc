pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Dialogs
import QtQuick.Layouts
import Kivo

// The third tab: download an archive from a typed address, follow and control the running
// transfers, and keep the files of the downloads folder (share, rename, delete, convert, import).
Page {
    id: root

    required property AppStoreViewModel store
    required property DownloadManager downloadManager

    // The file whose name the rename alert edits, while `renaming`.
    property bool renaming: false
    property url renamingFile
    property string newFileName

    DirectDownloadState {
        id: screenState
        downloadManager: root.downloadManager
    }
    ActiveDownloadListModel {
        id: activeDownloads
        downloadManager: root.downloadManager
        store: root.store
    }
    DownloadFileListModel {
        id: files
        downloadManager: root.downloadManager
    }
    FileShareCopy {
        id: shareCopy
        onFinished: (copy, failure) => {
            if (failure.length === 0)
                root.showShareSheet(copy)
            else if (failure.length > 0)
                NotificationManager.showNotification(qsTr("Share Failed"), failure, 2)
        }
    }

    // Copies older than a day were handed out and are done with.
    Component.onCompleted: shareCopy.removeStaleCopies()

    function startDownload() {
        if (screenState.startTypedDownload(addressField.text))
            addressField.text = ""
    }
    function share(file: url) {
        shareCopy.start(file)
    }
    function showShareSheet(copy: url) {
        if (shareSheet.item) {
            const sheet = shareSheet.item as FileShareSheet
            sheet.file = copy
            sheet.open()
        } else {
            shareSheet.setSource(Qt.resolvedUrl("../common/FileShareSheet.qml"), { file: copy })
        }
    }
    function rename(file: url, name: string) {
        root.renamingFile = file
        root.renaming = true
        root.newFileName = name
        renameAlert.open()
    }
    function openMenu(row: FileRow, x: real, y: real) {
        fileList.currentIndex = row.index
        fileMenu.file = row.url
        fileMenu.fileName = row.fileName
        fileMenu.isArchive = row.isArchive
        fileMenu.popup(row, x, y)
    }
    function deleteCurrent() {
        if (fileList.currentIndex >= 0 && fileList.currentIndex < files.count)
            root.downloadManager.deleteFile(files.fileAt(fileList.currentIndex))
    }

    function refresh() {
        root.downloadManager.refreshFileList()
    }
    // The file the keys are on, as its delegate reports it.
    property FileRow currentRow: null
    function openCurrentMenu() {
        if (root.currentRow)
            root.openMenu(root.currentRow, root.currentRow.width / 3, root.currentRow.height / 2)
    }

    // The keyboard is on the files whenever the tab is shown: Delete removes the current one.
    onVisibleChanged: if (visible) fileList.forceActiveFocus()

    header: ToolBar {
        Material.foreground: Theme.onBar
        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 16
            Label {
                Layout.fillWidth: true
                text: qsTr("Direct Download")
                font.pixelSize: Theme.headlineSize + 2
                font.weight: Font.DemiBold
            }
            ToolButton {
                objectName: "importButton"
                Accessible.name: qsTr("Import File")
                ToolTip.visible: hovered || visualFocus
                ToolTip.text: Accessible.name
                contentItem: SymbolIcon { name: "square.and.arrow.down"; size: 22; color: Theme.onBar }
                onClicked: importPicker.open()
            }
        }
    }

    FileDialog {
        id: importPicker
        objectName: "importPicker"
        title: qsTr("Import File")
        fileMode: FileDialog.OpenFile
        nameFilters: [qsTr("Archives (*.ipa *.zip)"), qsTr("All files (*)")]
        onAccepted: root.downloadManager.beginImportFile(selectedFile)
    }

    Loader { id: shareSheet; onLoaded: (shareSheet.item as FileShareSheet).open() }

    // While a large file is copied for sharing.
    Popup {
        objectName: "shareProgress"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        visible: shareCopy.busy
        closePolicy: Popup.NoAutoClose
        width: Math.min(parent ? parent.width - 64 : 280, 320)
        contentItem: Column {
            spacing: 12
            Label {
                width: 240
                text: qsTr("Preparing %1…").arg(shareCopy.fileName)
                elide: Text.ElideMiddle
            }
            ProgressBar { width: 240; value: shareCopy.progress }
            Button {
                anchors.right: parent.right
                text: qsTr("Cancel")
                flat: true
                font.capitalization: Font.MixedCase
                Accessible.name: qsTr("Cancel sharing")
                onClicked: shareCopy.cancel()
            }
        }
    }

    Dialog {
        id: renameAlert
        Material.background: Theme.raisedBackground
        objectName: "renameAlert"
        title: qsTr("Rename File")
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent ? parent.width - 48 : 320, 400)
        modal: true
        onOpened: {
            nameField.forceActiveFocus()
            nameField.selectAll()
        }
        onClosed: root.renaming = false
        contentHeight: nameField.implicitHeight
        // A plain child rather than the contentItem, so that its id is not deferred.
        TextField {
            id: nameField
            objectName: "renameField"
            width: parent.width
            placeholderText: qsTr("Filename.ipa")
            text: root.newFileName
            onTextEdited: root.newFileName = text
            inputMethodHints: Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
            Accessible.name: qsTr("New file name")
            onAccepted: saveButton.clicked()
        }
        footer: RowLayout {
            spacing: 0
            Button {
                objectName: "renameCancelButton"
                Layout.fillWidth: true
                flat: true
                text: qsTr("Cancel")
                font.bold: true
                Material.foreground: Theme.blue
                font.capitalization: Font.MixedCase
                onClicked: renameAlert.close()
            }
            Button {
                id: saveButton
                objectName: "renameSaveButton"
                Layout.fillWidth: true
                flat: true
                text: qsTr("Save")
                font.capitalization: Font.MixedCase
                Material.foreground: Theme.blue
                onClicked: {
                    if (root.renaming)
                        root.downloadManager.renameFile(root.renamingFile, root.newFileName)
                    renameAlert.close()
                }
            }
        }
    }

    Menu {
        id: fileMenu
        objectName: "fileMenu"
        // Room for the longer wordings of other languages.
        width: 260
        property url file
        property string fileName
        property bool isArchive: false

        SymbolMenuItem {
            objectName: "renameItem"
            text: qsTr("Rename")
            symbol: "pencil"
            onTriggered: root.rename(fileMenu.file, fileMenu.fileName)
        }
        SymbolMenuItem {
            objectName: "deleteItem"
            text: qsTr("Delete")
            symbol: "trash"
            symbolColor: Theme.red
            Material.foreground: Theme.red
            onTriggered: root.downloadManager.deleteFile(fileMenu.file)
        }
        SymbolMenuItem {
            objectName: "convertItem"
            visible: fileMenu.isArchive
            text: qsTr("Convert to .app")
            symbol: "cube"
            onTriggered: root.downloadManager.beginConvertIPA(fileMenu.file)
        }
        SymbolMenuItem {
            objectName: "shareItem"
            text: qsTr("Share")
            symbol: "square.and.arrow.up"
            onTriggered: root.share(fileMenu.file)
        }
    }

    // The sections above the files, scrolled with them in the room of the list's top margin. Not
    // the list's header: Qt 6.4 makes no header from a component of a bound file.
    Column {
        id: topSections
        parent: fileList.contentItem
        y: fileList.originY - height
        width: fileList.width
        spacing: 0

        SectionTitle { text: qsTr("Download from URL") }
        RowLayout {
            width: parent.width
            spacing: 8
            TextField {
                id: addressField
                objectName: "addressField"
                Layout.fillWidth: true
                Layout.leftMargin: 16
                placeholderText: qsTr("https://example.com/app.ipa")
                inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoAutoUppercase | Qt.ImhNoPredictiveText
                Accessible.name: qsTr("Download address")
                onAccepted: root.startDownload()
            }
            Button {
                objectName: "downloadButton"
                Layout.rightMargin: 16
                text: qsTr("Download")
                font.capitalization: Font.MixedCase
                enabled: addressField.text.length > 0
                Accessible.name: text
                onClicked: root.startDownload()
            }
        }

        SectionTitle {
            objectName: "activeDownloadsTitle"
            visible: activeDownloads.count > 0
            text: qsTr("Active Downloads")
        }
        Repeater {
            model: activeDownloads
            delegate: DownloadRow {
                id: downloadRow
                width: topSections.width
                objectName: "downloadRow" + index
                onToggleRequested: activeDownloads.toggle(downloadRow.index)
                onCancelRequested: activeDownloads.cancel(downloadRow.index)
            }
        }

        Item {
            width: parent.width
            height: 44
            Text {
                anchors.left: parent.left
                anchors.leftMargin: 16
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 6
                text: qsTr("Files")
                font.pixelSize: Theme.captionSize
                font.capitalization: Font.AllUppercase
                color: Theme.secondaryText
            }
            AbstractButton {
                objectName: "clearAllButton"
                visible: files.count > 0
                anchors.right: parent.right
                anchors.rightMargin: 16
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 2
                Accessible.name: qsTr("Clear All")
                onClicked: root.downloadManager.deleteAllFiles()
                contentItem: Text { text: qsTr("Clear All"); font.pixelSize: Theme.captionSize; color: Theme.red }
                background: Item {}
            }
        }
    }

    Text {
        id: footerText
        objectName: "folderFooter"
        parent: fileList.contentItem
        x: 16
        y: fileList.originY + fileList.contentHeight + 8
        width: fileList.width - 32
        text: screenState.customFolderName.length > 0 ? qsTr("Loc: %1").arg(screenState.customFolderName) : qsTr("Default")
        elide: Text.ElideMiddle
        font.pixelSize: Theme.captionSize
        color: Theme.secondaryText
    }

    ListView {
        id: fileList
        objectName: "fileList"
        anchors.fill: parent
        model: files
        focus: true
        clip: true
        reuseItems: true
        boundsBehavior: Flickable.DragOverBounds
        Accessible.name: qsTr("Downloaded files")
        Accessible.role: Accessible.List
        ScrollBar.vertical: ScrollBar {}

        topMargin: topSections.height
        bottomMargin: footerText.height + 24

        activeFocusOnTab: true
        Keys.onDeletePressed: root.deleteCurrent()
        Keys.onMenuPressed: root.openCurrentMenu()
        Keys.onPressed: (event) => {
            if (event.key === Qt.Key_Backspace) {
                root.deleteCurrent()
                event.accepted = true
            } else if (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier)) {
                root.openCurrentMenu()
                event.accepted = true
            }
        }

        // Pull to refresh: dragging the list down past the threshold and letting go.
        readonly property real pullThreshold: 80
        readonly property bool pulledFar: contentY < originY - topMargin - pullThreshold
        property bool refreshArmed: false
        onPulledFarChanged: if (pulledFar && dragging) refreshArmed = true
        onDraggingChanged: {
            if (!dragging && refreshArmed) {
                refreshArmed = false
                root.downloadManager.refreshFileList()
            }
        }

        delegate: FileRow {
            id: fileRow
            width: fileList.width
            objectName: "fileRow" + index
            current: fileList.activeFocus && fileList.currentIndex === index
            readonly property bool isCurrent: ListView.isCurrentItem
            onIsCurrentChanged: if (isCurrent) root.currentRow = fileRow
            Component.onCompleted: if (isCurrent) root.currentRow = fileRow
            onClicked: fileList.currentIndex = fileRow.index
            onShareRequested: root.share(fileRow.url)
            onDeleteRequested: root.downloadManager.deleteFile(fileRow.url)
            onMenuRequested: (x, y) => root.openMenu(fileRow, x, y)
            ListView.onPooled: swipe.close()
        }
    }
}

import QtQuick
import QtTest
import Kivo

// The repository tree as a person manages it from an empty start: two feeds and a linked folder
// added, loaded with their status, a folder renamed and moved, a repository switched off and its
// apps gone from the store, the tree exported as JSON and imported again after a reset.
TestCase {
    id: testCase
    name: "ManageSources"
    when: windowShown

    property var window: null
    property var settings: null
    property var store: null

    function initTestCase() {
        // Rows make their spinner, delete button and swipe background on demand: none may fail.
        failOnWarning(/Cannot instantiate/)
        const component = Qt.createComponent("qrc:/Kivo/Main.qml")
        verify(component.status === Component.Ready, component.errorString())
        window = component.createObject(null)
        verify(window !== null)
        settings = findChild(window, "settingsView")
        store = settings.store
        // With LiveContainer's folder chosen, no first-run prompt covers the screens.
        settings.downloadManager.setCustomFolder(fixture.makeLiveContainer(), true)
        // The start-up refresh of the default list ends first, so it cannot bring it back.
        tryVerify(() => !store.isLoading, 10000)
        for (const node of store.savedRepos)
            store.deleteRepo(node.id)
        compare(store.savedRepos.length, 0)
        window.selectedTab = 3
    }

    function cleanupTestCase() {
        window.destroy()
    }

    function reposPage() { return settings.currentItem }
    function rows() {
        const list = findChild(reposPage(), "reposList")
        const found = []
        for (let i = 0; i < list.count; ++i)
            found.push(list.itemAtIndex(i))
        return found
    }
    function row(name) { return rows().find((item) => item.name === name) }
    function rowNames() { return rows().map((item) => item.name) }
    // Drags the row leftwards past half its width, starting left of the switch, which keeps
    // drags for itself; returns what the swipe showed behind the row (null: nothing).
    function swipeLeft(rowItem) {
        mouseDrag(rowItem, rowItem.width * 0.75, rowItem.height / 2, -rowItem.width * 0.6, 0)
        return rowItem.swipe.rightItem
    }
    function bannerMessage() { return findChild(findChild(window, "banner"), "bannerMessage").text }
    function openMenu(rowItem) {
        rowItem.menuRequested(10, 10)
        const menu = findChild(reposPage(), "repoMenu")
        tryCompare(menu, "opened", true)
        return menu
    }

    // Opens the add sheet in the mode given, once nothing else covers the screen.
    function openAdd(folderMode) {
        const sheet = findChild(reposPage(), "addSheet")
        mouseClick(findChild(reposPage(), "addButton"))
        tryCompare(sheet, "opened", true)
        if (folderMode)
            mouseClick(findChild(reposPage(), "folderMode"))
        return sheet
    }
    function goBack() {
        mouseClick(findChild(reposPage(), "reposBackButton"))
        tryVerify(() => !settings.busy)
    }
    function saveAdd(sheet) {
        mouseClick(findChild(reposPage(), "addSave"))
        tryCompare(sheet, "visible", false)
    }

    function test_1_addFeedsAndALinkedFolder() {
        mouseClick(findChild(settings, "manageSources"))
        tryVerify(() => findChild(reposPage(), "reposList") !== null && !settings.busy)
        compare(findChild(reposPage(), "emptyLevel").visible, true)

        // Two feeds pasted from the clipboard, one without its scheme.
        fixture.setClipboard(fixture.serverURL("/feed.json") + "\n\n127.0.0.1:1/feed.json")
        let sheet = openAdd(false)
        mouseClick(findChild(reposPage(), "pasteButton"))
        compare(findChild(reposPage(), "sourcesEditor").text, fixture.clipboard())
        saveAdd(sheet)
        tryCompare(findChild(window, "banner"), "visible", true)
        compare(bannerMessage(), "2 repositories added.")
        // The second line got "https://" and names a port nobody listens on: it fails for want
        // of an answer and stays switched on, its reason shown.
        tryVerify(() => rows().length === 2)
        tryVerify(() => row("Sample Apps") !== undefined, 10000)
        tryCompare(row("Sample Apps"), "status", RepoLevelModel.Success)
        const failed = rows().find((item) => item.name === "Unknown")
        tryCompare(failed, "status", RepoLevelModel.Error, 10000)
        verify(failed.isEnabled)
        verify(findChild(failed, "errorIcon").visible)
        verify(findChild(failed, "rowError").visible)
        verify(findChild(failed, "rowError").text.length > 0)
        // Swiped away.
        verify(swipeLeft(failed) !== null)
        tryVerify(() => rows().length === 1)
        compare(store.savedRepos.map((node) => node.name), ["Sample Apps"])

        // The second feed by plain http, then a folder linked to a list, named after its link.
        sheet = openAdd(false)
        findChild(reposPage(), "sourcesEditor").text = fixture.serverURL("/more.json")
        saveAdd(sheet)
        tryVerify(() => row("More Apps") !== undefined, 10000)
        sheet = openAdd(true)
        findChild(reposPage(), "folderLinkField").text = fixture.serverURL("/list.txt")
        saveAdd(sheet)
        const linkName = fixture.serverURL("/list.txt").replace("http://", "")
        tryVerify(() => row(linkName) !== undefined)
        verify(row(linkName).isLinked)
        tryCompare(row(linkName), "countsText", "1 repos • 2 apps", 10000)
        compare(findChild(row("Sample Apps"), "rowAppCount").text, "6")
        // A loaded feed without an icon shows the server symbol, no clock, spinner or triangle.
        const loaded = row("More Apps")
        compare(["waitingIcon", "errorIcon", "serverIcon"].map((name) => findChild(loaded, name).visible),
                [false, false, true])
    }

    function test_2_renameAndMoveAFolder() {
        const linkName = fixture.serverURL("/list.txt").replace("http://", "")
        let menu = openMenu(row(linkName))
        mouseClick(findChild(menu, "renameItem"))
        const alert = findChild(reposPage(), "renameAlert")
        tryCompare(alert, "opened", true)
        compare(findChild(alert, "renameField").text, linkName)
        findChild(alert, "renameField").text = "Team"
        mouseClick(findChild(alert, "renameSave"))
        tryCompare(alert, "visible", false)
        tryVerify(() => row("Team") !== undefined)

        // A plain folder to move it into; the sheet offers it and "Root", never the folder itself.
        const sheet = openAdd(true)
        findChild(reposPage(), "folderNameField").text = "Box"
        saveAdd(sheet)
        tryVerify(() => row("Box") !== undefined)
        menu = openMenu(row("Team"))
        mouseClick(findChild(menu, "moveItem"))
        const moveSheet = findChild(reposPage(), "moveSheet")
        tryCompare(moveSheet, "opened", true)
        const targets = findChild(moveSheet, "moveTargets")
        compare(targets.count, 1)
        compare(targets.itemAtIndex(0).text, "Box")
        mouseClick(targets.itemAtIndex(0))
        tryCompare(moveSheet, "visible", false)
        tryVerify(() => row("Team") === undefined)
        compare(row("Box").countsText, "1 repos • 2 apps")

        // One level down: the linked folder inside "Box", and inside it no add, edit or delete.
        mouseClick(row("Box"))
        tryVerify(() => !settings.busy && reposPage().parentID === store.savedRepos.find((n) => n.name === "Box").id)
        tryVerify(() => row("Team") !== undefined)
        mouseClick(row("Team"))
        tryVerify(() => !settings.busy && row("Listed Apps") !== undefined)
        verify(!findChild(reposPage(), "addButton").visible)
        verify(!findChild(reposPage(), "editButton").visible)
        menu = openMenu(row("Listed Apps"))
        verify(!findChild(menu, "deleteItem").visible)
        menu.close()
        tryCompare(menu, "visible", false)
        // Nor does a swipe take a listed repository away.
        compare(swipeLeft(row("Listed Apps")), null)
        compare(row("Listed Apps").swipe.position, 0)
        verify(row("Listed Apps") !== undefined)
        goBack()
        goBack()
        tryVerify(() => row("Sample Apps") !== undefined)

        // Edit mode: each row's delete button deletes it.
        store.addFolder("Spare")
        tryVerify(() => row("Spare") !== undefined)
        mouseClick(findChild(reposPage(), "editButton"))
        const deleteButton = findChild(row("Spare"), "rowDeleteButton")
        verify(deleteButton !== null)
        mouseClick(deleteButton)
        tryVerify(() => row("Spare") === undefined)
        mouseClick(findChild(reposPage(), "editButton"))
        tryVerify(() => findChild(row("Box"), "rowDeleteButton") === null)
    }

    function test_3_disableARepository() {
        const hasMore = () => store.displayApps.some((app) => app.sourceRepoName === "More Apps")
        tryVerify(hasMore, 10000)
        mouseClick(findChild(row("More Apps"), "rowSwitch"))
        tryVerify(() => !hasMore())
        verify(!row("More Apps").isEnabled)
        verify(store.displayApps.some((app) => app.sourceRepoName === "Sample Apps"))
    }

    function test_4_exportAndImportOnAResetTree() {
        goBack()
        compare(settings.depth, 1)
        // A disabled repository: "Copy as JSON" asks first.
        mouseClick(findChild(settings, "exportRepos"))
        const exportMenu = findChild(settings, "exportMenu")
        tryCompare(exportMenu, "opened", true)
        mouseClick(findChild(exportMenu, "copyAsJSON"))
        const options = findChild(settings, "settingsCopyOptions")
        tryCompare(options, "opened", true)
        mouseClick(findChild(options.footer, "alertButton0"))
        tryCompare(options, "visible", false)
        const exported = fixture.clipboard()
        compare(exported, store.exportReposJSON(false))

        mouseClick(findChild(settings, "resetToDefaults"))
        const reset = findChild(settings, "resetAlert")
        tryCompare(reset, "opened", true)
        // "Reset?" has no message: its buttons follow the title without an empty line between.
        const titleBottom = reset.header.mapToItem(null, 0, reset.header.height).y
        verify(reset.footer.mapToItem(null, 0, 0).y - titleBottom < 16)
        mouseClick(findChild(reset.footer, "alertButton1"))
        tryVerify(() => store.savedRepos.length === 1 && store.savedRepos[0].name === "Recommended")

        mouseClick(findChild(settings, "importRepos"))
        const sheet = findChild(settings, "importSheet")
        tryCompare(sheet, "opened", true)
        mouseClick(findChild(sheet, "importPaste"))
        compare(findChild(sheet, "importEditor").text, exported)
        mouseClick(findChild(sheet, "importButton"))
        tryCompare(sheet, "visible", false)
        const names = () => store.savedRepos.map((node) => node.name)
        tryVerify(() => names().includes("Sample Apps") && names().includes("More Apps") && names().includes("Box"))
        verify(!store.savedRepos.find((node) => node.name === "More Apps").isEnabled)
        const box = store.savedRepos.find((node) => node.name === "Box")
        compare(store.childrenForDisplay(box.id).map((node) => node.name), ["Team"])
        verify(bannerMessage().endsWith("repositories added."))
    }

    // "Share JSON File" hands the share sheet a file holding the export; the sheet saves a copy
    // where the person chooses and copies the file's path.
    function test_5_shareJSONFile() {
        const exportMenu = findChild(settings, "exportMenu")
        const share = findChild(settings, "shareSheet")
        const openShare = () => {
            mouseClick(findChild(settings, "exportRepos"))
            tryCompare(exportMenu, "opened", true)
            mouseClick(findChild(exportMenu, "shareJSONFile"))
            tryCompare(share, "opened", true)
        }
        openShare()
        const exported = store.exportReposJSON(false)
        compare(fixture.readText(share.file), exported)
        const path = decodeURIComponent(String(share.file).replace("file://", ""))

        mouseClick(findChild(share.contentItem, "shareAction1"))
        tryCompare(share, "visible", false)
        compare(fixture.clipboard(), path)

        openShare()
        mouseClick(findChild(share.contentItem, "shareAction0"))
        const saveDialog = findChild(share, "saveCopyDialog")
        tryCompare(saveDialog, "visible", true)
        // The name typed into the dialog, in a folder of the test's own.
        saveDialog.currentFolder = fixture.scratchFolder("shared")
        const nameField = findChild(window.contentItem.parent, "fileNameTextField")
        nameField.forceActiveFocus()
        keySequence("Ctrl+A")
        keyClick(Qt.Key_Backspace)
        for (const key of "copy.json")
            keyClick(key)
        saveDialog.accept()
        tryCompare(share, "visible", false)
        compare(fixture.readText(fixture.scratchFolder("shared") + "/copy.json"), exported)
    }

    function test_6_settingsRows() {
        compare(settings.depth, 1)
        // The caption follows the switch at once.
        const caption = findChild(settings, "groupingCaption")
        const strict = findChild(settings, "strictGroupingSwitch")
        const before = store.strictGrouping
        mouseClick(strict)
        compare(store.strictGrouping, !before)
        compare(caption.text, store.strictGrouping
                ? "Apps with different sources, names, or descriptions will be listed separately."
                : "Apps with the same Bundle ID will be grouped together regardless of source.")
        mouseClick(strict)
        compare(store.strictGrouping, before)

        // A folder picked through "Select" becomes the row's folder; its "Default" forgets it.
        // Both buttons stay on screen side by side.
        const picker = findChild(settings, "folderPicker")
        const help = findChild(settings, "settingsHelpAlert")
        for (const data of [{ row: "downloads", property: "customDownloadFolder" },
                            { row: "liveContainer", property: "customLiveContainerFolder" }]) {
            const select = findChild(settings, data.row + "Select")
            const reset = findChild(settings, data.row + "Default")
            const picked = fixture.scratchFolder(data.row)
            mouseClick(select)
            tryCompare(picker, "visible", true)
            picker.selectedFolder = picked
            picker.accept()
            compare(String(settings.downloadManager[data.property]), String(picked))
            const selectLeft = () => select.mapToItem(settings, 0, 0).x
            tryVerify(() => reset.visible && reset.width > 0
                      && reset.mapToItem(settings, reset.width, 0).x <= selectLeft()
                      && selectLeft() + select.width <= settings.width, 1000, data.row)
            mouseClick(reset)
            compare(String(settings.downloadManager[data.property]), "")
            verify(!reset.visible)
        }
        wait(800)
        verify(!help.visible)

        // A cancelled LiveContainer pick brings the help half a second later; a cancelled
        // downloads pick does not.
        mouseClick(findChild(settings, "downloadsSelect"))
        tryCompare(picker, "visible", true)
        picker.reject()
        wait(800)
        verify(!help.visible)
        mouseClick(findChild(settings, "liveContainerSelect"))
        tryCompare(picker, "visible", true)
        picker.reject()
        verify(!help.visible)
        tryCompare(help, "opened", true)
        compare(help.title, "Have trouble selecting?")
        mouseClick(findChild(help.footer, "alertButton0"))
        tryCompare(help, "visible", false)
        compare(fixture.lastOpenedURL, "livecontainer://install")

        // "Sort Repos By" sets the engine's order.
        const sortPicker = findChild(settings, "repoSortPicker")
        compare(sortPicker.currentIndex, 0)
        sortPicker.activated(1)
        compare(store.repoSortOrder.rawValue, "Name")
        compare(sortPicker.currentIndex, 1)
        sortPicker.activated(0)
        compare(store.repoSortOrder.rawValue, "Default")
    }
}

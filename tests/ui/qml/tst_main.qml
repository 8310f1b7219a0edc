import QtQuick
import QtTest
import Kivo

// The main window: tabs, prompts with their exact texts and buttons, the banner.
TestCase {
    id: testCase
    name: "MainWindow"
    when: windowShown

    property var window: null

    function initTestCase() {
        failOnWarning(/.*/)
        const component = Qt.createComponent("qrc:/Kivo/Main.qml")
        verify(component.status === Component.Ready, component.errorString())
        window = component.createObject(null)
        verify(window !== null)
    }

    function cleanupTestCase() {
        window.destroy()
    }

    // A clean console: any warning while the window is made or works is a fault.
    function init() {
        failOnWarning(/.*/)
    }

    function controller() { return findChild(window, "contentController") }

    function buttonTexts(alert) {
        const texts = []
        for (let i = 0; ; ++i) {
            const button = findChild(alert.footer, "alertButton" + i)
            if (!button)
                return texts
            texts.push(button.text)
        }
    }

    function test_1_tabsInOrder() {
        const tabBar = findChild(window, "tabBar")
        const labels = []
        for (let i = 0; i < tabBar.count; ++i)
            labels.push(tabBar.itemAt(i).text)
        compare(labels, ["Store", "Apps", "Download", "Settings"])
        compare(window.selectedTab, 0)
        mouseClick(tabBar.itemAt(3))
        compare(window.selectedTab, 3)
        mouseClick(tabBar.itemAt(0))
        compare(window.selectedTab, 0)
    }

    function test_2_setupAlertAfterStartUp() {
        const alert = findChild(window, "setupAlert")
        // About a second after the window is shown, with no folder chosen and never asked.
        tryCompare(alert, "opened", true, 10000)
        compare(alert.title, "Setup LiveContainer")
        compare(alert.message, "To enable auto-installation and launching, please select your LiveContainer storage directory.")
        compare(buttonTexts(alert), ["Select Folder", "Trouble Selecting?", "Later"])
        mouseClick(findChild(alert.footer, "alertButton2"))
        tryCompare(alert, "visible", false)
        verify(controller().hasAskedForSetup)
        compare(controller().showSetupAlert, false)
    }

    function test_3_filePickerHelp() {
        const alert = findChild(window, "filePickerHelpAlert")
        controller().showFilePickerHelp = true
        tryCompare(alert, "opened", true)
        compare(alert.title, "Have trouble selecting?")
        compare(alert.message, "Solution: Open LiveContainer, find Kivo in the \"My Apps\" list, press and hold the icon, tap Settings, and enable Fix File Picker. Then try selecting the directory again.")
        compare(buttonTexts(alert), ["Open LiveContainer", "Cancel"])
        mouseClick(findChild(alert.footer, "alertButton1"))
        tryCompare(alert, "visible", false)
        compare(controller().showFilePickerHelp, false)
    }

    function test_4_conflictAlertButtons() {
        const alert = findChild(window, "conflictAlert")
        controller().showConflictAlert = true
        tryCompare(alert, "opened", true)
        compare(alert.title, "App Conflict")
        compare(buttonTexts(alert), ["Update Existing", "Install as Separate App", "Cancel"])
        keyClick(Qt.Key_Escape)
        tryCompare(alert, "visible", false)
        compare(controller().showConflictAlert, false)
    }

    function test_5_completeUpdateTitleAndButtons() {
        const alert = findChild(window, "completeUpdateAlert")
        compare(alert.title, "Complete Update")
        compare(buttonTexts(alert), ["Open LiveContainer", "Cancel Update (Restore)", "Delete Backup"])
        // Without an unsettled backup it stays closed.
        compare(alert.visible, false)
    }

    function test_6_bannerShowsAndLeaves() {
        const banner = findChild(window, "banner")
        compare(banner.visible, false)
        NotificationManager.showNotification("Download Complete", "Clock.ipa", 0)
        tryCompare(banner, "visible", true)
        compare(findChild(banner, "bannerTitle").text, "Download Complete")
        compare(findChild(banner, "bannerMessage").text, "Clock.ipa")
        compare(findChild(banner, "bannerIcon").text, SymbolIcons.glyph("checkmark.circle.fill"))
        // 2 is the error type: QML cannot name lower-case enumerators.
        NotificationManager.showNotification("Failed", "Disk full", 2)
        tryCompare(findChild(banner, "bannerTitle"), "text", "Failed")
        compare(findChild(banner, "bannerIcon").text, SymbolIcons.glyph("exclamationmark.circle.fill"))
        tryCompare(banner, "visible", false, 6000)
    }

    function test_7_storeScreen() {
        // The start-up refresh fills the list from the default list on the test's server.
        const list = findChild(window, "storeList")
        tryVerify(() => list.count > 0, 10000)
        verify(findChild(window, "sourceRow").visible)
        compare(findChild(window, "sourcePicker").model, ["All Sources", "Sample Apps"])
        verify(!findChild(window, "emptyState").visible)

        const search = findChild(window, "searchField")
        compare(search.placeholderText, "Search apps, bundles...")
        search.forceActiveFocus()
        keyClick(Qt.Key_Z)
        keyClick(Qt.Key_Z)
        const store = controller().store
        compare(store.searchText, "zz")
        tryCompare(list, "count", 0)
        // Once no refresh is running any more.
        tryCompare(findChild(window, "emptyState"), "visible", true)
    }

    function test_8_wideWindowShowsTheAppBesideTheList() {
        const storeView = findChild(window, "storeView")
        const stack = findChild(window, "storeStack")
        const pane = findChild(window, "detailPane")
        const list = findChild(window, "storeList")
        const phoneWidth = window.width
        controller().store.searchText = ""
        findChild(window, "searchField").text = ""
        tryVerify(() => list.count > 0)

        window.width = 1100
        tryCompare(storeView, "splitsView", true)
        verify(pane.visible)
        verify(findChild(pane, "noAppShown").visible)
        const row = list.itemAtIndex(0)
        mouseClick(row)
        tryCompare(pane, "depth", 2)
        compare(stack.depth, 1)
        compare(pane.currentItem.app.id, row.app.id)
        verify(row.highlighted)
        verify(!findChild(pane.currentItem, "backButton").visible)

        // Narrow again: the open app is pushed over the list, with its way back.
        window.width = phoneWidth
        tryCompare(storeView, "splitsView", false)
        compare(pane.depth, 1)
        compare(stack.depth, 2)
        compare(stack.currentItem.app.id, row.app.id)
        const back = findChild(stack.currentItem, "backButton")
        verify(back.visible)
        tryCompare(stack, "busy", false)
        mouseClick(back)
        tryCompare(stack, "depth", 1)
    }

    function downloads() { return controller().downloadManager }

    // The Apps tab on a fresh LiveContainer folder.
    function showApps() {
        mouseClick(findChild(window, "tabBar").itemAt(1))
        compare(window.selectedTab, 1)
        return findChild(window, "appsGrid")
    }

    function tile(index) {
        const grid = findChild(window, "appsGrid")
        tryVerify(() => grid.itemAtIndex(index) !== null)
        return grid.itemAtIndex(index)
    }

    function test_9a_appsTabEmpty() {
        downloads().setCustomFolder(fixture.makeLiveContainer(), true)
        const grid = showApps()
        tryCompare(grid, "count", 0)
        verify(findChild(window, "noAppsView").visible)
    }

    // Each answer of "App Conflict" does what it says: a second archive of an installed bundle
    // identifier replaces it, joins it, or leaves it alone.
    function test_9b_conflictAnswers_data() {
        return [
            { tag: "Update Existing", button: 0, versions: ["2.0"] },
            { tag: "Install as Separate App", button: 1, versions: ["1.0", "2.0"] },
            { tag: "Cancel", button: 2, versions: ["1.0"] },
        ]
    }

    function test_9b_conflictAnswers(data) {
        downloads().setCustomFolder(fixture.makeLiveContainer(), true)
        verify(fixture.installApp("com.example.clash.app", "com.example.clash", "Clash", "1.0"))
        downloads().scanInstalledApps()
        compare(downloads().installedApps.length, 1)
        const alert = findChild(window, "conflictAlert")
        downloads().beginConvertIPA(fixture.writeIpa("com.example.clash", "Clash", "2.0"))
        tryCompare(alert, "opened", true, 10000)
        mouseClick(findChild(alert.footer, "alertButton" + data.button))
        tryVerify(() => downloads().pendingInstallation === undefined, 10000)
        const versions = downloads().installedApps.map((app) => app.version).sort()
        compare(versions, data.versions)
    }

    // An installed app of the catalogue at an older version: a tile with the update mark. A tap
    // asks for the setup until LiveContainer (the stand-in) has run the app once, then launches.
    function test_9c_launchOrSetupRequired() {
        const store = controller().store
        tryVerify(() => store.displayApps.length > 0, 10000)
        const item = store.displayApps[0]
        downloads().setCustomFolder(fixture.makeLiveContainer(), true)
        verify(fixture.installApp(item.bundleIdentifier + ".app", item.bundleIdentifier, item.name, "0.1"))
        downloads().scanInstalledApps()
        const grid = showApps()
        tryCompare(grid, "count", 1)
        const first = tile(0)
        compare(first.name, item.name)
        tryVerify(() => findChild(first, "updateDot").visible, 5000)
        verify(findChild(first, "updateButton").visible)

        const alert = findChild(findChild(window, "installedAppsView"), "setupRequiredAlert")
        const opened = fixture.openedCount
        mouseClick(first)
        tryCompare(alert, "opened", true)
        compare(fixture.openedCount, opened)
        mouseClick(findChild(alert.footer, "alertButton0"))
        tryCompare(alert, "visible", false)
        const launchURL = "livecontainer://livecontainer-launch?bundle-name=" + item.bundleIdentifier + ".app"
        compare(fixture.lastOpenedURL, launchURL)
        compare(fixture.dataContainers().length, 1)

        mouseClick(first)
        compare(fixture.openedCount, opened + 2)
        compare(fixture.lastOpenedURL, launchURL)
        verify(!alert.opened)
    }

    // "Update" shows the store filtered to the app's bundle identifier.
    function test_9d_updateJumpsToFilteredStore() {
        const first = tile(0)
        const bundleID = first.bundleID
        mouseClick(findChild(first, "updateButton"))
        compare(window.selectedTab, 0)
        compare(controller().store.searchText, bundleID)
        const list = findChild(window, "storeList")
        const store = controller().store
        // The search applies after its debounce; then every listed row is the app's.
        tryVerify(() => store.filteredApps.length > 0 && list.count === store.filteredApps.length
                  && store.filteredApps.every((app) => app.bundleIdentifier === bundleID), 5000)
        for (let i = 0; i < list.count; ++i) {
            const row = list.itemAtIndex(i)
            if (row)
                compare(row.app.bundleIdentifier, bundleID)
        }
        controller().store.searchText = ""
    }

    // The context menu, from the menu key and from a right click; "Delete App" removes the app and
    // the data container LiveContainer made for it.
    function test_9e_contextMenuDeletes() {
        const grid = showApps()
        const first = tile(0)
        const folder = fixture.appFolder(first.folderName)
        verify(fixture.exists(folder))
        compare(fixture.dataContainers().length, 1)
        const menu = findChild(window, "appMenu")

        grid.forceActiveFocus()
        keyClick(Qt.Key_Menu)
        tryCompare(menu, "opened", true)
        keyClick(Qt.Key_Escape)
        tryCompare(menu, "visible", false)

        mouseClick(first, first.width / 2, 30, Qt.RightButton)
        tryCompare(menu, "opened", true)
        compare(findChild(menu, "versionItem").text, "Version: 0.1")
        compare(findChild(menu, "bundleItem").text, "Bundle: " + first.bundleID)
        compare(findChild(menu, "fileItem").text, "File: " + first.folderName)
        verify(!findChild(menu, "fileItem").enabled)
        mouseClick(findChild(menu, "deleteAppItem"))
        tryCompare(grid, "count", 0)
        verify(!fixture.exists(folder))
        compare(fixture.dataContainers().length, 0)
        verify(findChild(window, "noAppsView").visible)
    }

    // The header is as tall as its texts and buttons: the separator under it stays below them.
    function test_9f_detailHeaderHoldsItsButtons() {
        mouseClick(findChild(window, "tabBar").itemAt(0))
        const list = findChild(window, "storeList")
        tryVerify(() => list.count > 0 && list.itemAtIndex(0) !== null)
        mouseClick(list.itemAtIndex(0))
        const stack = findChild(window, "storeStack")
        tryCompare(stack, "depth", 2)
        tryCompare(stack, "busy", false)
        const detail = stack.currentItem
        const buttons = findChild(detail, "headerButtons")
        const separator = findChild(detail, "headerSeparator")
        const name = findChild(detail, "detailName")
        compare(name.lineCount, 1)
        const buttonsBottom = buttons.mapToItem(separator.parent, 0, buttons.height).y
        verify(buttonsBottom <= separator.y, "buttons end at " + buttonsBottom + ", separator at " + separator.y)
        mouseClick(findChild(detail, "backButton"))
        tryCompare(stack, "depth", 1)
    }
}

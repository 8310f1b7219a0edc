import QtQuick
import QtTest
import Kivo

// The main window without a pointer: keys alone reach an app, get it and come back; the window's
// shortcuts switch tabs, search, go back and open the menus of rows.
TestCase {
    id: testCase
    name: "Keyboard"
    when: windowShown

    property var window: null

    function initTestCase() {
        const component = Qt.createComponent("qrc:/Kivo/Main.qml")
        verify(component.status === Component.Ready, component.errorString())
        window = component.createObject(null)
        verify(window !== null)
        window.requestActivate()
        tryVerify(() => window.active)
        // Run alone, this file meets the first-run prompt: answer it.
        if (!controller().hasAskedForSetup) {
            const alert = findChild(window, "setupAlert")
            tryCompare(alert, "opened", true, 10000)
            controller().later()
            tryCompare(alert, "visible", false)
        }
    }

    function cleanupTestCase() {
        window.destroy()
    }

    function init() {
        failOnWarning(/.*/)
    }

    function controller() { return findChild(window, "contentController") }
    function shortcut(action) { keySequence(KeyboardShortcuts.sequence(action)) }

    function test_1_storeDetailGetAndBack() {
        shortcut(KeyboardShortcuts.StoreTab)
        compare(window.selectedTab, 0)
        const list = findChild(window, "storeList")
        tryVerify(() => list.count > 1, 10000)
        shortcut(KeyboardShortcuts.Search)
        verify(findChild(window, "searchField").activeFocus)

        // Search, the source filter, the list.
        const sources = findChild(window, "sourcePicker")
        keyClick(Qt.Key_Tab)
        if (sources.visible) {
            verify(sources.activeFocus)
            keyClick(Qt.Key_Tab)
        }
        verify(list.activeFocus)
        const before = list.currentIndex
        keyClick(Qt.Key_Down)
        compare(list.currentIndex, before + 1)
        const app = list.currentItem.app
        keyClick(Qt.Key_Return)
        const stack = findChild(window, "storeStack")
        tryCompare(stack, "depth", 2)
        tryCompare(stack, "busy", false)
        const detail = stack.currentItem
        compare(detail.app.id, app.id)

        // The keys land on the app's download control: Return gets the app.
        fixture.serveSlowly(app.downloadURL)
        const get = findChild(detail, "getButton")
        verify(get.activeFocus)
        keyClick(Qt.Key_Return)
        const downloads = controller().downloadManager
        // DownloadStatus.Case: downloading is 0.
        tryVerify(() => downloads.downloadStatus(app.downloadURL).kind === 0)
        tryVerify(() => findChild(detail, "ringButton").visible)
        downloads.cancelDownload(app.downloadURL)

        keyClick(Qt.Key_Escape)
        tryCompare(stack, "depth", 1)
        tryVerify(() => list.activeFocus)
    }

    function test_2_tabsSearchSheetsAndMenus() {
        const tabs = [KeyboardShortcuts.StoreTab, KeyboardShortcuts.AppsTab, KeyboardShortcuts.DownloadTab,
                      KeyboardShortcuts.SettingsTab]
        for (let i = tabs.length - 1; i >= 0; --i) {
            shortcut(tabs[i])
            compare(window.selectedTab, i)
        }
        // From Settings, the search takes the user back to the store.
        shortcut(KeyboardShortcuts.Search)
        compare(window.selectedTab, 0)
        verify(findChild(window, "searchField").activeFocus)

        // A sheet closes with Escape.
        shortcut(KeyboardShortcuts.SettingsTab)
        const importSheet = findChild(window, "importSheet")
        importSheet.open()
        tryCompare(importSheet, "opened", true)
        keyClick(Qt.Key_Escape)
        tryCompare(importSheet, "visible", false)

        // Repos by Return on "Manage Sources", a folder's menu by the menu key, back by Escape.
        const settings = findChild(window, "settingsView")
        findChild(window, "manageSources").forceActiveFocus()
        keyClick(Qt.Key_Return)
        tryCompare(settings, "depth", 2)
        tryCompare(settings, "busy", false)
        controller().store.addFolder("Keys")
        const repos = findChild(settings.currentItem, "reposList")
        tryVerify(() => repos.activeFocus && repos.count > 1)
        for (let i = 0; i < repos.count; ++i) {
            if (repos.itemAtIndex(i).name === "Keys")
                repos.currentIndex = i
        }
        compare(repos.currentItem.name, "Keys")
        keyClick(Qt.Key_Menu)
        const repoMenu = findChild(settings.currentItem, "repoMenu")
        tryCompare(repoMenu, "opened", true)
        compare(findChild(repoMenu, "renameItem").visible, true)
        keyClick(Qt.Key_Escape)
        tryCompare(repoMenu, "visible", false)
        keyClick(Qt.Key_Return)
        tryCompare(settings, "depth", 3)
        tryCompare(settings, "busy", false)
        keyClick(Qt.Key_Escape)
        tryCompare(settings, "depth", 2)
        keyClick(Qt.Key_Escape)
        tryCompare(settings, "depth", 1)

        // A file's menu by the menu key.
        shortcut(KeyboardShortcuts.DownloadTab)
        const files = findChild(window, "fileList")
        const folder = controller().downloadManager.downloadFolder()
        verify(fixture.makeEntry(folder, "Keys.ipa"))
        shortcut(KeyboardShortcuts.Refresh)
        tryVerify(() => files.count > 0 && files.activeFocus)
        files.currentIndex = 0
        keyClick(Qt.Key_Menu)
        const fileMenu = findChild(window, "fileMenu")
        tryCompare(fileMenu, "opened", true)
        keyClick(Qt.Key_Escape)
        tryCompare(fileMenu, "visible", false)
    }
}

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
}

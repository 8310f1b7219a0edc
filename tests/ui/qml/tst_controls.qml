pragma ComponentBehavior: Bound
import QtQuick
import QtTest
import Kivo

// Reusable controls: the download button's start face, badges.
TestCase {
    name: "Controls"
    when: windowShown
    width: 400
    height: 400
    visible: true

    DownloadManager { id: downloads }

    // A clean console: any warning is a fault.
    function init() {
        failOnWarning(/.*/)
    }

    Component {
        id: buttonComponent
        DownloadButton { downloadManager: downloads }
    }

    Component {
        id: badgeComponent
        Badge {}
    }

    function test_unparsableAddressStaysGet_data() {
        return [
            { tag: "empty", url: "", compact: false },
            { tag: "spaces", url: "not a url", compact: true },
            { tag: "no host", url: "https://", compact: false },
        ]
    }

    function test_unparsableAddressStaysGet(data) {
        const button = createTemporaryObject(buttonComponent, this, { downloadURL: data.url, compact: data.compact })
        compare(button.face, DownloadControl.Get)
        const get = findChild(button, "getButton")
        verify(get)
        mouseClick(get)
        compare(button.face, DownloadControl.Get)
        compare(Object.keys(downloads.downloadStates).length, 0)
    }

    function test_badgeVisibility_data() {
        return [
            { tag: "none", kind: "", visible: false },
            { tag: "update", kind: "UPDATE", visible: true },
            { tag: "installed", kind: "INSTALLED", visible: true },
        ]
    }

    function test_badgeVisibility(data) {
        const badge = createTemporaryObject(badgeComponent, this, { kind: data.kind })
        compare(badge.visible, data.visible)
        compare(badge.text, data.kind)
    }
}

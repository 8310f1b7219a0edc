pragma ComponentBehavior: Bound
import QtQuick
import QtTest
import Kivo

// Reusable controls: the download button's start face, badges, the progress ring's arc.
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

    Component {
        id: arcComponent
        ProgressArc { width: 40; height: 40; color: "#0000ff" }
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

    // The arc starts at the top and runs clockwise; the rest of the circle is the faint track.
    // Points on the circle 45 degrees into each quadrant: top right, bottom right, bottom left,
    // top left.
    function test_arcCoversItsQuadrants_data() {
        return [
            { tag: "a quarter", progress: 0.25, showsArc: true, covered: [true, false, false, false] },
            { tag: "three quarters", progress: 0.75, showsArc: true, covered: [true, true, true, false] },
            { tag: "arc hidden", progress: 0.75, showsArc: false, covered: [false, false, false, false] },
        ]
    }

    function test_arcCoversItsQuadrants(data) {
        const arc = createTemporaryObject(arcComponent, this, { progress: data.progress, showsArc: data.showsArc })
        waitForRendering(arc)
        const image = grabImage(arc)
        const points = [[33, 7], [33, 33], [7, 33], [7, 7]]
        for (let i = 0; i < points.length; ++i) {
            const red = image.red(points[i][0], points[i][1])
            // Full blue has no red; the track, blue at a fifth over white, keeps most of it.
            verify(data.covered[i] ? red < 60 : red > 150, `point ${i}: red ${red}`)
        }
    }
}

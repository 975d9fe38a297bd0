import QtQuick
import QtQuick.Controls
import Tarno.Ui

// One clip in the list: the text or image layout in the row's rounded chrome, lifted while
// hovered. A click anywhere on the row dips it to 0.985 for 0.16 s and asks for a copy; the copy
// button asks without the dip; a drag anywhere on the row takes the clip out of the popover.
Item {
    id: root

    required property string clipId
    required property string kind
    required property date createdAt
    required property string previewText
    required property string shortenedNote
    required property real imageAspectRatio
    required property bool hasImage
    required property bool isHovered
    // The row is the keyboard's selection and the focus is shown on the list.
    property bool hasKeyFocus: false
    required property PopoverViewModel popover
    signal copyRequested()
    signal hoverReported(bool inside)

    property bool didTapCopy: false
    // When each click's reset is due; the first one to come ends the feedback, as each click runs
    // its own reset.
    property var pendingResets: []

    implicitHeight: layout.item ? layout.item.implicitHeight + 22 : 22

    Accessible.role: Accessible.ListItem
    Accessible.name: root.kind === "image" ? "Screenshot, " + root.popover.relativeAge(root.createdAt, root.popover.now) : root.previewText
    Accessible.description: root.ToolTip.text
    Accessible.onPressAction: root.click()

    function click() {
        root.didTapCopy = true;
        tapAnimation.stop();
        tapAnimation.to = 0.985;
        tapAnimation.response = 0.2;
        tapAnimation.dampingFraction = 0.78;
        tapAnimation.start();
        root.copyRequested();
        root.pendingResets.push(Date.now() + 160);
        if (!resetTimer.running) {
            resetTimer.interval = 160;
            resetTimer.start();
        }
    }

    Timer {
        id: resetTimer
        onTriggered: {
            root.pendingResets.shift();
            root.didTapCopy = false;
            tapAnimation.stop();
            tapAnimation.to = 1;
            tapAnimation.response = 0.24;
            tapAnimation.dampingFraction = 0.82;
            tapAnimation.start();
            if (root.pendingResets.length > 0) {
                resetTimer.interval = Math.max(0, root.pendingResets[0] - Date.now());
                resetTimer.start();
            }
        }
    }

    property real tapScale: 1
    TarnoSpring {
        id: tapAnimation
        target: root
        property: "tapScale"
    }
    // A newly inserted row fades in while moving in from above, 0.34 s ease-in-out.
    property real insertOffset: 0
    function animateInsertion() {
        insertion.restart();
    }
    ParallelAnimation {
        id: insertion
        TarnoCurve { target: root; property: "opacity"; from: 0; to: 1; curve: "easeInOut"; seconds: 0.34 }
        TarnoCurve { target: root; property: "insertOffset"; from: -24; to: 0; curve: "easeInOut"; seconds: 0.34 }
    }
    transform: [
        Scale {
            origin.x: root.width / 2
            origin.y: root.height / 2
            xScale: root.tapScale
            yScale: root.tapScale
        },
        Translate {
            y: root.insertOffset
        }
    ]

    property real hoverAmount: root.isHovered ? 1 : 0
    Behavior on hoverAmount {
        TarnoSpring { response: 0.26; dampingFraction: 0.86 }
    }

    TarnoHoverLift {
        anchors.fill: parent
        isHovered: root.isHovered
        liftScale: 1.012
        cornerRadius: 12

        Rectangle {
            anchors.fill: parent
            radius: 12
            color: Theme.ink(0.07 * root.hoverAmount)
            border.width: 1
            border.color: Theme.ink(0.14 * root.hoverAmount)
        }

        MouseArea {
            id: rowMouse
            objectName: "rowMouseArea"
            anchors.fill: parent
            property point pressPoint
            property bool dragging: false
            onPressed: mouse => {
                rowMouse.pressPoint = Qt.point(mouse.x, mouse.y);
                rowMouse.dragging = false;
            }
            onPositionChanged: mouse => {
                if (rowMouse.dragging || !rowMouse.pressed)
                    return;
                if (Math.hypot(mouse.x - rowMouse.pressPoint.x, mouse.y - rowMouse.pressPoint.y) >= Qt.styleHints.startDragDistance) {
                    rowMouse.dragging = true;
                    // After this handler returns: the drag runs its own event loop until it ends.
                    Qt.callLater(() => root.popover.startDrag(root.clipId, root));
                }
            }
            onClicked: {
                if (!rowMouse.dragging)
                    root.click();
            }
        }

        FocusRing {
            objectName: "focusRing"
            shown: root.hasKeyFocus
            radius: 12
        }

        Loader {
            id: layout
            x: 12
            y: 11
            width: root.width - 24
            sourceComponent: root.kind === "image" ? screenshotLayout : textLayout
        }
    }

    HoverHandler {
        id: hover
        onHoveredChanged: root.hoverReported(hover.hovered)
    }

    ToolTip.visible: hover.hovered && !rowMouse.pressed
    ToolTip.delay: 800
    ToolTip.text: root.kind === "image" ? "Drag out or click to copy image" : "Drag out or click to copy text"

    Component {
        id: textLayout
        TextClipboardRow {
            // Set at creation, so the preview wraps once, at its final width, before the list
            // places the row.
            width: root.width - 24
            createdAt: root.createdAt
            previewText: root.previewText
            note: root.shortenedNote
            isHovered: root.isHovered
            clock: root.popover
            onCopyRequested: root.copyRequested()
        }
    }
    Component {
        id: screenshotLayout
        ScreenshotClipboardRow {
            width: root.width - 24
            clipId: root.clipId
            createdAt: root.createdAt
            imageAspectRatio: root.imageAspectRatio
            hasImage: root.hasImage
            isHovered: root.isHovered
            clock: root.popover
            onCopyRequested: root.copyRequested()
        }
    }
}

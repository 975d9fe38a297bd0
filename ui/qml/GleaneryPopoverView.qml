pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Tarno.Ui

// The popover's whole content, 360 × 480: the header with logo, name, count and filter pills, the
// clip list or an empty state or the settings, and the footer with its hint and the gear. Dropped
// text, images and files become clips; a pulsing accent frame shows while a drag is over it.
Item {
    id: root

    required property PopoverViewModel model
    readonly property KeyboardNavigation keys: root.model.keys

    width: 360
    height: 480

    // Every key pressed in the popover goes to the keyboard navigation first; what it leaves, an
    // Escape with no search to clear among them, goes on to the popover, which then closes.
    focus: true
    Keys.onPressed: event => {
        event.accepted = root.keys.handleKey(event.key, event.modifiers, event.text);
    }

    // Shown in a visible window: the header's entrance plays and the relative ages tick.
    readonly property bool onScreen: root.visible && root.Window.window !== null && root.Window.window.visible
    property bool headerAppeared: false
    property real headerAmount: root.headerAppeared ? 1 : 0
    Behavior on headerAmount {
        TarnoSpring { response: 0.42; dampingFraction: 0.82 }
    }
    onOnScreenChanged: {
        if (root.onScreen)
            root.headerAppeared = true;
        else
            root.keys.reset();
    }
    Component.onCompleted: {
        if (root.onScreen)
            root.headerAppeared = true;
    }
    Binding {
        target: root.model
        property: "clockRunning"
        value: root.onScreen
    }

    // 0 on the clip list, 1 on the settings; everything the switch changes follows it.
    property real settingsAmount: 0
    TarnoSpring {
        id: settingsSpring
        target: root
        property: "settingsAmount"
    }
    // 0 normally, 1 while the clear-all sequence hides the clips.
    property real clearAmount: 0
    TarnoCurve {
        id: clearAnimation
        target: root
        property: "clearAmount"
    }
    Connections {
        target: root.model
        function onShowsSettingsChanged() {
            // Closing the popover returns to the list with its own, firmer spring.
            settingsSpring.stop();
            settingsSpring.response = root.model.settingsLeftOnClose ? 0.28 : 0.32;
            settingsSpring.dampingFraction = root.model.settingsLeftOnClose ? 0.9 : 0.86;
            settingsSpring.to = root.model.showsSettings ? 1 : 0;
            settingsSpring.start();
        }
        function onIsClearingListChanged() {
            clearAnimation.stop();
            clearAnimation.curve = root.model.isClearingList ? "easeIn" : "easeOut";
            clearAnimation.seconds = root.model.isClearingList ? 0.28 : 0.22;
            clearAnimation.to = root.model.isClearingList ? 1 : 0;
            clearAnimation.start();
        }
    }

    property bool isDropTargeted: dropTarget.dropTargeted
    // The highlight breathes between its two looks, 0.85 s each way, while a drag is over the panel.
    property real dropPulse: 0
    SequentialAnimation {
        running: root.isDropTargeted
        loops: Animation.Infinite
        onStopped: root.dropPulse = 0
        TarnoCurve { target: root; property: "dropPulse"; to: 1; curve: "easeInOut"; seconds: 0.85 }
        TarnoCurve { target: root; property: "dropPulse"; to: 0; curve: "easeInOut"; seconds: 0.85 }
    }

    readonly property var filterLooks: ({
        text: { symbol: "text.alignleft", title: "Text" },
        screenshots: { symbol: "camera.viewfinder", title: "Screenshots" },
        all: { symbol: "square.grid.2x2", title: "All" }
    })

    // The popover hands it the drop callback by its object name.
    PopoverDropArea {
        id: dropTarget
        objectName: "dropArea"
        anchors.fill: parent
    }

    PopoverChrome {
        anchors.fill: parent

        // A. Header.
        Item {
            id: header
            x: 16
            y: 16
            width: parent.width - 32
            height: titleRow.height + pillArea.height

            Item {
                id: titleRow
                width: parent.width
                height: Math.max(24, name.implicitHeight, badge.height)

                Image {
                    id: logo
                    anchors.verticalCenter: parent.verticalCenter
                    width: 24
                    height: 24
                    source: "qrc:/assets/AppLogo.svg"
                    // Rendered from the SVG at the display's own pixels, which Qt derives from this.
                    sourceSize: Qt.size(24, 24)
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                    mipmap: true
                    scale: 0.82 + 0.18 * root.headerAmount
                    opacity: root.headerAmount
                }
                TarnoText {
                    id: name
                    anchors.left: logo.right
                    anchors.leftMargin: 10
                    anchors.verticalCenter: parent.verticalCenter
                    anchors.verticalCenterOffset: 4 * (1 - root.headerAmount)
                    opacity: root.headerAmount
                    text: "Tarno"
                    size: 20
                    weight: Font.DemiBold
                }
                // Opened by the first character typed; it shows what the keys typed, and the keys
                // edit it, so it never takes the focus itself.
                Rectangle {
                    id: searchField
                    objectName: "searchField"
                    anchors.left: name.right
                    anchors.leftMargin: 12
                    anchors.right: badge.left
                    anchors.rightMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    height: 24
                    visible: root.keys.searchText !== ""
                    radius: height / 2
                    color: Theme.ink(0.06)
                    border.width: 1
                    border.color: Theme.tint(Theme.accent, 0.7)

                    SymbolIcon {
                        id: searchGlyph
                        x: 8
                        anchors.verticalCenter: parent.verticalCenter
                        symbol: "magnifyingglass"
                        pointSize: 10
                        color: Theme.primary50
                    }
                    TextInput {
                        id: searchInput
                        objectName: "searchInput"
                        anchors.left: searchGlyph.right
                        anchors.leftMargin: 5
                        anchors.right: parent.right
                        anchors.rightMargin: 10
                        anchors.verticalCenter: parent.verticalCenter
                        text: root.keys.searchText
                        readOnly: true
                        activeFocusOnPress: false
                        cursorVisible: searchField.visible
                        cursorPosition: searchInput.text.length
                        autoScroll: true
                        clip: true
                        font.family: Theme.fontFamily
                        font.pixelSize: 12
                        color: Theme.primary
                        Accessible.role: Accessible.EditableText
                        Accessible.name: "Search"
                        Accessible.searchEdit: true
                    }
                }
                Rectangle {
                    id: badge
                    objectName: "countBadge"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    width: countText.implicitWidth + 16
                    height: countText.implicitHeight + 8
                    radius: height / 2
                    color: Theme.ink(0.10)
                    border.width: 1
                    border.color: Theme.ink(0.12)
                    scale: 0.6 + 0.4 * root.headerAmount
                    opacity: root.headerAmount
                    clip: true
                    Behavior on width {
                        TarnoSpring { response: 0.34; dampingFraction: 0.72 }
                    }

                    TarnoText {
                        id: countText
                        objectName: "countText"
                        anchors.horizontalCenter: parent.horizontalCenter
                        y: 4 + countText.roll
                        text: root.model.count
                        size: 11
                        weight: Font.DemiBold
                        color: Theme.ink(0.78)
                        // The new number rolls in from below, as counting up.
                        property real roll: 0
                        onTextChanged: rollIn.restart()
                        SequentialAnimation {
                            id: rollIn
                            PropertyAction { target: countText; property: "roll"; value: 8 }
                            TarnoSpring { target: countText; property: "roll"; to: 0; response: 0.34; dampingFraction: 0.72 }
                        }
                    }
                }
            }

            Item {
                id: pillArea
                y: titleRow.height
                width: parent.width
                height: (pillBar.implicitHeight + 14) * (1 - root.settingsAmount)
                clip: true
                visible: height > 0.5
                FilterPillBar {
                    id: pillBar
                    objectName: "filterPillBar"
                    y: 14 - (pillBar.implicitHeight + 14) * root.settingsAmount
                    opacity: 1 - root.settingsAmount
                    selection: root.model.filter
                    focusedFilter: root.keys.isFocusVisible ? root.keys.focusStop : ""
                    onSelectionRequested: filter => root.model.filter = filter
                }
            }
        }

        // B. Divider.
        Rectangle {
            id: divider
            x: 14
            y: header.y + header.height + 14
            width: parent.width - 28
            height: 1
            color: Theme.ink(0.2)
            opacity: 0.3
        }

        // C. Middle area.
        Item {
            id: middle
            y: divider.y + 1
            width: parent.width
            height: footer.y - y
            clip: true

            Item {
                id: clipContent
                objectName: "clipContent"
                anchors.fill: parent
                // Kept visible at opacity 0: a list view that is hidden while rows are inserted
                // never settles its insert transitions. The settings above take the input.
                opacity: (1 - root.clearAmount) * (1 - root.settingsAmount)
                transform: Scale {
                    origin.x: clipContent.width / 2
                    origin.y: 0
                    xScale: 1 - 0.02 * root.clearAmount
                    yScale: 1 - 0.02 * root.clearAmount
                }

                EmptyState {
                    objectName: "emptyState"
                    anchors.fill: parent
                    visible: !root.model.hasClips
                    symbol: "tray"
                    title: "Nothing here yet"
                    message: "Copy text or take a screenshot.\n" + "Tarno" + " will remember it."
                }
                EmptyState {
                    id: filteredEmpty
                    objectName: "filteredEmptyState"
                    readonly property bool searching: root.keys.searchText !== ""
                    anchors.fill: parent
                    visible: root.model.hasClips && root.model.count === 0
                    symbol: filteredEmpty.searching ? "magnifyingglass" : root.filterLooks[root.model.filter].symbol
                    title: filteredEmpty.searching ? "No clips match"
                        : "No " + root.filterLooks[root.model.filter].title.toLowerCase() + " clips"
                    message: filteredEmpty.searching ? "Try other words, or press Escape to clear the search."
                        : "Try another filter, or copy something new."
                }
                // A new list identity replaces the list whole.
                Repeater {
                    model: [root.model.listAnimationId]
                    delegate: ClipList {
                        anchors.fill: parent
                        visible: root.model.count > 0
                    }
                }
            }

            Flickable {
                id: settingsScroll
                objectName: "settingsScroll"
                x: parent.width * (1 - root.settingsAmount)
                width: parent.width
                height: parent.height
                visible: root.settingsAmount > 0.001
                opacity: root.settingsAmount
                contentHeight: settingsPanel.implicitHeight + 20
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {
                    policy: ScrollBar.AsNeeded
                }
                SettingsPanel {
                    id: settingsPanel
                    objectName: "settingsPanel"
                    x: 10
                    y: 10
                    width: settingsScroll.width - 20
                    settings: root.model
                    canClearAll: root.model.hasClips
                    onClearAllRequested: root.model.clearAll()
                }
            }
        }

        // D. Footer.
        Item {
            id: footer
            y: parent.height - height
            width: parent.width
            height: 10 + Math.max(32, gear.height) + 14

            TarnoText {
                id: hint
                objectName: "footerHint"
                x: 16
                width: gear.x - 8 - x
                anchors.verticalCenter: gear.verticalCenter
                // The pause is said first, on the list and the settings alike: it is what the user
                // must not forget.
                text: root.model.isCapturingPaused ? "Capturing paused"
                    : root.model.showsSettings ? "Tap gear to return to clips" : "Drop in · drag out · click to copy"
                size: 11
                color: Theme.primary50
                maximumLineCount: 1
                fontSizeMode: Text.HorizontalFit
                minimumPixelSize: Math.floor(11 * 0.8)
                elide: Text.ElideRight
            }

            Item {
                id: gear
                objectName: "gearButton"
                x: parent.width - 16 - width
                y: 10 + (Math.max(32, height) - height) / 2
                width: 28
                height: 28
                Accessible.role: Accessible.Button
                Accessible.name: "Settings"
                Accessible.checkable: true
                Accessible.checked: root.model.showsSettings
                Accessible.onPressAction: root.model.toggleSettings()
                transform: TarnoPressButtonStyle {
                    target: gear
                    pressed: gearMouse.pressed
                    pressedScale: 0.9
                }

                Rectangle {
                    anchors.fill: parent
                    radius: width / 2
                    color: Theme.ink(0.05 + 0.07 * root.settingsAmount)
                    border.width: 1
                    border.color: Theme.ink(0.08 + 0.08 * root.settingsAmount)
                }
                SymbolIcon {
                    anchors.centerIn: parent
                    symbol: root.model.showsSettings ? "gearshape.fill" : "gearshape"
                    pointSize: 13
                    color: Theme.ink(0.62 + 0.38 * root.settingsAmount)
                    rotation: 90 * root.settingsAmount
                }
                FocusRing {
                    objectName: "gearFocusRing"
                    shown: root.keys.isFocusVisible && root.keys.focusStop === "gear"
                    radius: width / 2
                }
                MouseArea {
                    id: gearMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    onClicked: root.model.toggleSettings()
                }
                ToolTip.visible: gearMouse.containsMouse
                ToolTip.delay: 800
                ToolTip.text: "Settings"
            }
        }
    }

    // The drop highlight, over the chrome and never in the pointer's way.
    Rectangle {
        objectName: "dropHighlight"
        anchors.fill: parent
        visible: root.isDropTargeted
        radius: 12
        color: Theme.tint(Theme.accent, 0.05 + 0.05 * root.dropPulse)
        border.width: 2
        border.color: Theme.tint(Theme.accent, 0.45 + 0.25 * root.dropPulse)
        scale: 0.998 + 0.007 * root.dropPulse
    }

    // A press of the pointer anywhere hides the keyboard focus. On top of everything, so it sees
    // each press first; it watches without taking it from the controls below.
    Item {
        anchors.fill: parent
        PointHandler {
            id: pointer
            acceptedButtons: Qt.AllButtons
            onActiveChanged: {
                if (pointer.active)
                    root.keys.pointerPressed();
            }
        }
    }

    component EmptyState: Item {
        id: emptyState
        required property string symbol
        required property string title
        required property string message

        Column {
            anchors.centerIn: parent
            width: parent.width - 56
            spacing: 12
            SymbolIcon {
                objectName: "emptySymbol"
                anchors.horizontalCenter: parent.horizontalCenter
                symbol: emptyState.symbol
                pointSize: 30
                color: Theme.primary38
                // Only on screen: a running animation keeps Qt's animation timer ticking sixty
                // times a second, hidden window or not.
                pulsing: emptyState.visible && root.onScreen
                pulseSpeed: 0.35
            }
            Column {
                width: parent.width
                spacing: 6
                TarnoText {
                    objectName: "emptyTitle"
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: emptyState.title
                    size: 14
                    weight: Font.DemiBold
                }
                TarnoText {
                    id: message
                    objectName: "emptyMessage"
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: emptyState.message
                    size: 12
                    color: Theme.primary58
                    wrapMode: Text.Wrap
                    lineHeightMode: Text.FixedHeight
                    lineHeight: Math.round(messageMetrics.lineSpacing + 3)
                    FontMetrics {
                        id: messageMetrics
                        font: message.font
                    }
                }
            }
        }
    }

    component ClipList: ListView {
        id: list
        objectName: "clipList"
        topMargin: 10
        bottomMargin: 10
        spacing: 6
        model: root.model.clips
        boundsBehavior: Flickable.StopAtBounds
        cacheBuffer: 240

        // The selection stays in view as the keys move it.
        function revealSelection() {
            if (root.keys.isFocusVisible && root.keys.selectedIndex >= 0)
                list.positionViewAtIndex(root.keys.selectedIndex, ListView.Contain);
        }
        Connections {
            target: root.keys
            function onSelectionChanged() {
                list.revealSelection();
            }
            function onFocusChanged() {
                list.revealSelection();
            }
        }

        delegate: ClipboardItemRow {
            id: row
            x: 10
            width: list.width - 20
            hasKeyFocus: root.keys.isFocusVisible && root.keys.focusStop === "list" && root.keys.selectedId === row.clipId
            isHovered: root.model.hoveredItemId === row.clipId || row.hasKeyFocus
            popover: root.model
            onCopyRequested: root.model.copy(row.clipId)
            onHoverReported: inside => inside ? root.model.rowEntered(row.clipId) : root.model.rowExited(row.clipId)
            // The row animates its own entrance: the view's add transitions never settle when rows
            // arrive while earlier ones are still leaving.
            ListView.onAdd: row.animateInsertion()
        }

        remove: Transition {
            ParallelAnimation {
                TarnoCurve { property: "opacity"; to: 0; curve: "easeInOut"; seconds: 0.34 }
                TarnoCurve { property: "scale"; to: 0.96; curve: "easeInOut"; seconds: 0.34 }
            }
        }
        displaced: Transition {
            TarnoCurve { properties: "x,y"; curve: "easeInOut"; seconds: 0.34 }
        }
        move: Transition {
            TarnoCurve { properties: "x,y"; curve: "easeInOut"; seconds: 0.34 }
        }
    }
}

import QtQuick

// The "Clear All" button: red when there is something to clear, grey and disabled otherwise. Hover
// springs (0.26, 0.82); presses shrink it to 0.97; the trash bounces when "hovered and enabled"
// changes. Runs `action` at once, without asking.
Item {
    id: root

    required property bool canClearAll
    signal action()

    property bool isHovered: hover.hovered

    Accessible.role: Accessible.Button
    Accessible.name: "Clear All"
    Accessible.onPressAction: if (root.canClearAll) root.action()
    readonly property bool isLive: root.isHovered && root.canClearAll
    onIsLiveChanged: trash.bounce()

    implicitHeight: Math.max(trash.height, label.implicitHeight) + 20

    property real hoverAmount: root.isHovered ? 1 : 0
    Behavior on hoverAmount {
        TarnoSpring { response: 0.26; dampingFraction: 0.82 }
    }
    readonly property color ink: root.canClearAll ? Theme.tint(Theme.red, 0.9) : Theme.primary38

    // Qt Quick's software renderer draws a rounded rectangle as unsmoothed fills and corner blits,
    // which a fractional scale leaves a light line between; while scaled, the control is drawn whole
    // into a smoothed layer instead.
    layer.enabled: root.hoverAmount !== 0 || pressStyle.xScale !== 1
    layer.smooth: true

    transform: [
        Scale {
            origin.x: root.width / 2
            origin.y: root.height / 2
            xScale: 1 + 0.01 * root.hoverAmount
            yScale: 1 + 0.01 * root.hoverAmount
        },
        TarnoPressButtonStyle {
            id: pressStyle
            target: root
            pressed: mouse.pressed
            pressedScale: 0.97
        }
    ]

    Rectangle {
        anchors.fill: parent
        radius: 10
        color: root.canClearAll ? Theme.tint(Theme.red, 0.08 + 0.04 * root.hoverAmount) : Theme.ink(0.03)
        border.width: 1
        border.color: root.canClearAll ? Theme.tint(Theme.red, 0.15 + 0.07 * root.hoverAmount) : Theme.ink(0.05)
    }
    Row {
        x: 12
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8
        SymbolIcon {
            id: trash
            anchors.verticalCenter: parent.verticalCenter
            symbol: "trash"
            pointSize: 12
            color: root.ink
        }
        TarnoText {
            id: label
            anchors.verticalCenter: parent.verticalCenter
            text: "Clear All"
            size: 12
            weight: Font.DemiBold
            color: root.ink
        }
    }

    HoverHandler {
        id: hover
    }
    MouseArea {
        id: mouse
        objectName: "clearAllMouseArea"
        anchors.fill: parent
        enabled: root.canClearAll
        onClicked: root.action()
    }
}

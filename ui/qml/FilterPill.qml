import QtQuick

// One filter pill: icon and title in a capsule. Selected: full ink, the bar's moving capsule behind
// it, border 0.16. Hovered and not selected: fill 0.06, border 0.10, grown to 1.03. Idle: border
// 0.05 only. Hover springs (0.28, 0.8), selection springs (0.3, 0.78); presses shrink it to 0.94.
Item {
    id: root

    required property string title
    required property string icon
    required property bool isSelected
    // The keyboard focus is on this pill and shown.
    property bool hasKeyFocus: false
    signal action()

    property bool isHovered: hover.hovered

    Accessible.role: Accessible.PageTab
    Accessible.name: root.title
    Accessible.selectable: true
    Accessible.selected: root.isSelected
    Accessible.onPressAction: root.action()

    implicitWidth: content.implicitWidth + 20
    implicitHeight: content.implicitHeight + 12

    property real hoverAmount: root.isHovered && !root.isSelected ? 1 : 0
    Behavior on hoverAmount {
        TarnoSpring { response: 0.28; dampingFraction: 0.8 }
    }
    property real selectedAmount: root.isSelected ? 1 : 0
    Behavior on selectedAmount {
        TarnoSpring { response: 0.3; dampingFraction: 0.78 }
    }
    onIsSelectedChanged: glyph.bounce()

    // Qt Quick's software renderer draws a rounded rectangle as unsmoothed fills and corner blits,
    // which a fractional scale leaves a light line between; while scaled, the control is drawn whole
    // into a smoothed layer instead.
    layer.enabled: root.hoverAmount !== 0 || pressStyle.xScale !== 1
    layer.smooth: true

    transform: [
        Scale {
            origin.x: root.width / 2
            origin.y: root.height / 2
            xScale: 1 + 0.03 * root.hoverAmount
            yScale: 1 + 0.03 * root.hoverAmount
        },
        TarnoPressButtonStyle {
            id: pressStyle
            target: root
            pressed: mouse.pressed
            pressedScale: 0.94
        }
    ]

    // The hover capsule; the selected capsule is the bar's, moving between pills.
    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: Theme.ink(0.06 * root.hoverAmount)
        border.width: 1
        border.color: Theme.ink(0.05 + 0.05 * root.hoverAmount + 0.11 * root.selectedAmount)
    }

    FocusRing {
        objectName: "focusRing"
        shown: root.hasKeyFocus
        radius: height / 2
    }

    Row {
        id: content
        anchors.centerIn: parent
        spacing: 5
        SymbolIcon {
            id: glyph
            anchors.verticalCenter: parent.verticalCenter
            symbol: root.icon
            pointSize: 10
            color: Theme.ink(0.62 + 0.38 * root.selectedAmount)
        }
        TarnoText {
            anchors.verticalCenter: parent.verticalCenter
            text: root.title
            size: 11
            weight: Font.Medium
            color: Theme.ink(0.62 + 0.38 * root.selectedAmount)
        }
    }

    HoverHandler {
        id: hover
    }
    MouseArea {
        id: mouse
        anchors.fill: parent
        onClicked: root.action()
    }
}

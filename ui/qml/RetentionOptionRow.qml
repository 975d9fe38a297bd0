import QtQuick

// One retention choice: symbol, title, description and selection mark, in a rounded row that
// tints when selected (0.08 fill, 0.14 border) or hovered (0.05). Hover springs (0.26, 0.84);
// presses shrink it to 0.98; the mark bounces each time the selection changes.
Item {
    id: root

    required property string policy
    required property string symbol
    required property string title
    required property string detail
    required property bool isSelected
    signal action()

    property bool isHovered: hover.hovered

    Accessible.role: Accessible.RadioButton
    Accessible.name: root.title
    Accessible.description: root.detail
    Accessible.checkable: true
    Accessible.checked: root.isSelected
    Accessible.onPressAction: root.action()

    implicitHeight: Math.max(texts.implicitHeight, mark.height) + 16

    property real hoverAmount: root.isHovered ? 1 : 0
    Behavior on hoverAmount {
        TarnoSpring { response: 0.26; dampingFraction: 0.84 }
    }
    // Selection changes run inside a 0.18 s ease-out.
    property real selectedAmount: root.isSelected ? 1 : 0
    Behavior on selectedAmount {
        TarnoCurve { curve: "easeOut"; seconds: 0.18 }
    }
    onIsSelectedChanged: mark.bounce()

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
            pressedScale: 0.98
        }
    ]

    Rectangle {
        anchors.fill: parent
        radius: 9
        color: Theme.ink(Math.max(0.08 * root.selectedAmount, 0.05 * root.hoverAmount))
        border.width: 1
        border.color: Theme.ink(0.14 * root.selectedAmount)
    }

    SymbolIcon {
        id: glyph
        x: 10 + (16 - width) / 2
        anchors.verticalCenter: parent.verticalCenter
        symbol: root.symbol
        pointSize: 11
        color: Theme.ink(0.55 + 0.45 * root.selectedAmount)
        scale: 1 + 0.08 * root.hoverAmount
    }
    Column {
        id: texts
        x: 10 + 16 + 10
        width: root.width - x - 10 - mark.width - 10
        anchors.verticalCenter: parent.verticalCenter
        spacing: 2
        TarnoText {
            width: parent.width
            text: root.title
            size: 12
            weight: Font.Medium
        }
        TarnoText {
            width: parent.width
            text: root.detail
            size: 10
            color: Theme.primary50
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }
    }
    SymbolIcon {
        id: mark
        objectName: "selectionMark"
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        symbol: root.isSelected ? "checkmark.circle.fill" : "circle"
        pointSize: 13
        color: Theme.ink(0.35 + 0.65 * root.selectedAmount)
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

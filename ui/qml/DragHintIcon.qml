import QtQuick

// The small arrow that hints at dragging: in place at full opacity when visible, else 4 right and
// 2 down and transparent; springs (0.26, 0.82). Takes no input; the whole row is the drag source.
Item {
    id: root

    required property bool isVisible

    // Not a button of its own: dragging is the row's, so it tells without offering an action.
    Accessible.role: Accessible.Graphic
    Accessible.name: "Drag out"

    implicitWidth: 28
    implicitHeight: 28

    property real shown: root.isVisible ? 1 : 0
    Behavior on shown {
        TarnoSpring { response: 0.26; dampingFraction: 0.82 }
    }

    SymbolIcon {
        anchors.centerIn: parent
        anchors.horizontalCenterOffset: 4 * (1 - root.shown)
        anchors.verticalCenterOffset: 2 * (1 - root.shown)
        symbol: "arrow.up.forward.circle"
        pointSize: 11
        color: Theme.primary48
        opacity: root.shown
    }
}

import QtQuick

// The round copy button of a row. Invisible and deaf to clicks unless `isVisible`; a click runs
// `action` only, never the row's own click. Springs (0.26, 0.8) on `isVisible`; presses shrink it
// to 0.88.
Item {
    id: root

    required property bool isVisible
    signal action()

    Accessible.role: Accessible.Button
    Accessible.name: "Copy"
    Accessible.onPressAction: if (root.isVisible) root.action()

    implicitWidth: 28
    implicitHeight: 28

    property real shown: root.isVisible ? 1 : 0
    Behavior on shown {
        TarnoSpring { response: 0.26; dampingFraction: 0.8 }
    }
    opacity: root.shown
    transform: [
        Scale {
            origin.x: root.width / 2
            origin.y: root.height / 2
            xScale: 1 + 0.06 * root.shown
            yScale: 1 + 0.06 * root.shown
        },
        TarnoPressButtonStyle {
            target: root
            pressed: mouse.pressed
            pressedScale: 0.88
        }
    ]

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        // The desktop's fourth-level fill: the ink at a faint strength.
        color: Theme.ink(0.05 * 0.9 * root.shown)
    }
    SymbolIcon {
        anchors.centerIn: parent
        symbol: "doc.on.doc"
        pointSize: 11
        color: Theme.ink(0.48 + 0.40 * root.shown)
    }
    MouseArea {
        id: mouse
        objectName: "copyButton"
        anchors.fill: parent
        enabled: root.isVisible
        onClicked: root.action()
    }
}

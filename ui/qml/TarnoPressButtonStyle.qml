import QtQuick

// The press-to-shrink style of every custom button: a transform that scales the button about its
// centre to `pressedScale` while it is held, springing (0.22, 0.72) both ways.
Scale {
    id: root

    required property Item target
    required property bool pressed
    property real pressedScale: 0.9

    origin.x: root.target.width / 2
    origin.y: root.target.height / 2
    xScale: root.pressed ? root.pressedScale : 1
    yScale: root.xScale

    Behavior on xScale {
        TarnoSpring { response: 0.22; dampingFraction: 0.72 }
    }
}

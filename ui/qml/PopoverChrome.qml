import QtQuick

// The popover's background and edge, under and over the content placed inside: the window colour
// of the desktop's look, black at 0.04 over it, corners of radius 12 that clip, and a hairline edge of
// primary 0.08 inside the border. The background is opaque under a compositor too: with no blur
// behind it, the text of windows behind would show through it legibly. A compositor only smooths
// the corners.
Item {
    id: root

    default property alias content: holder.data

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: Theme.background
    }
    Rectangle {
        anchors.fill: parent
        radius: 12
        color: Qt.rgba(0, 0, 0, 0.04)
    }
    Item {
        id: holder
        anchors.fill: parent
        clip: true
    }
    Rectangle {
        anchors.fill: parent
        radius: 12
        color: "transparent"
        border.width: 1
        border.color: Theme.ink(0.08)
    }
}

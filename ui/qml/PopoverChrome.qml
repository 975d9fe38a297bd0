import QtQuick

// The popover's background and edge, under and over the content placed inside: the desktop's
// window colour (translucent when a compositor can blend it with what lies behind), black at 0.04
// over it, corners of radius 12 that clip, and a hairline edge of primary 0.08 inside the border.
Item {
    id: root

    property bool translucent: false
    default property alias content: holder.data

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: root.translucent ? Theme.tint(Theme.background, 0.86) : Theme.background
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

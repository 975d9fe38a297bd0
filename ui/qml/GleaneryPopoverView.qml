pragma ComponentBehavior: Bound
import QtQuick

// The popover's content. For now a plain panel; the views come next.
Item {
    id: root
    width: 360
    height: 480

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: palette.window
        border.color: Qt.rgba(0, 0, 0, 0.08)
        Text {
            anchors.centerIn: parent
            text: "Tarno"
            color: palette.text
            font.pixelSize: 20
        }
    }
}

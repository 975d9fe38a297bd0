import QtQuick

// The keyboard focus on a control: a 2-point ring in the accent colour just inside its rounded
// edge, drawn only while the focus is shown (from a key used until the pointer is pressed). The
// user sets the radius to its control's.
Rectangle {
    required property bool shown

    anchors.fill: parent
    visible: shown
    color: "transparent"
    border.width: 2
    border.color: Theme.accent
}

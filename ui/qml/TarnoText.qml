import QtQuick

// Text in the desktop's font at a size in points of the popover's 360 × 480 space.
Text {
    property real size: 12
    property int weight: Font.Normal

    font.family: Theme.fontFamily
    font.pixelSize: Math.round(size)
    font.weight: weight
    color: Theme.primary
    renderType: Text.QtRendering
}

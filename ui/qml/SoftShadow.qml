import QtQuick

// A soft drop shadow behind a rounded rectangle of this item's size: a nine-patch of a blurred
// rounded rectangle (black at `strength`, fading out over `radius`), `offsetY` down (in whole
// points). A hollow shadow leaves the shape itself unshaded, for content that is not opaque: the
// offset is drawn into the image, so that the cut stays on the shape while the shadow moves down. One image item,
// whatever the size, so rows stay cheap to create while scrolling.
Item {
    id: root

    property real cornerRadius: 12
    property real radius: 8
    property real offsetY: 0
    property real strength: 0.14
    property bool hollow: false

    readonly property int blur: Math.max(1, Math.round(root.radius))
    readonly property int corner: Math.round(root.cornerRadius)
    readonly property int offset: Math.max(0, Math.round(root.offsetY))

    BorderImage {
        visible: root.strength > 0.001
        x: -root.blur
        y: -root.blur
        width: root.width + 2 * root.blur
        height: root.height + 2 * root.blur + root.offset
        opacity: root.strength
        source: "image://shadows/" + root.blur + "/" + root.corner + "/" + root.offset + (root.hollow ? "/hollow" : "")
        border.left: root.blur + root.corner
        border.right: root.blur + root.corner
        border.top: root.blur + root.corner + root.offset
        border.bottom: root.blur + root.corner + root.offset
        horizontalTileMode: BorderImage.Stretch
        verticalTileMode: BorderImage.Stretch
        smooth: true
    }
}

pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Shapes

// A soft drop shadow behind a rounded rectangle of this item's size: layers of growing rounded
// rectangles whose alphas add up to `strength` at the edge and fade out over `radius`, moved by
// `offsetY`. A hollow shadow leaves the shape itself unshaded, for content that is not opaque.
Item {
    id: root

    property real cornerRadius: 12
    property real radius: 8
    property real offsetY: 0
    property real strength: 0.14
    property bool hollow: false
    readonly property int layers: 6

    visible: root.strength > 0.001 && root.radius > 0.01

    function roundedRect(x: real, y: real, w: real, h: real, r: real): string {
        r = Math.max(0, Math.min(r, w / 2, h / 2));
        return "M" + (x + r) + "," + y + " H" + (x + w - r) + " A" + r + "," + r + " 0 0 1 " + (x + w) + "," + (y + r)
            + " V" + (y + h - r) + " A" + r + "," + r + " 0 0 1 " + (x + w - r) + "," + (y + h)
            + " H" + (x + r) + " A" + r + "," + r + " 0 0 1 " + x + "," + (y + h - r)
            + " V" + (y + r) + " A" + r + "," + r + " 0 0 1 " + (x + r) + "," + y + " Z";
    }

    Repeater {
        model: root.layers
        delegate: Shape {
            id: layer
            required property int index
            readonly property real spread: root.radius * (layer.index + 1) / root.layers
            anchors.fill: parent
            ShapePath {
                strokeWidth: -1
                fillRule: ShapePath.OddEvenFill
                fillColor: Qt.rgba(0, 0, 0, 1 - Math.pow(1 - root.strength, 1 / root.layers))
                PathSvg {
                    path: root.roundedRect(-layer.spread, root.offsetY - layer.spread, root.width + 2 * layer.spread,
                                           root.height + 2 * layer.spread, root.cornerRadius + layer.spread)
                          + (root.hollow ? " " + root.roundedRect(0, 0, root.width, root.height, root.cornerRadius) : "")
                }
            }
        }
    }
}

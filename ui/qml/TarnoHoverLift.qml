import QtQuick

// The hover lift of the clip rows: while hovered the content grows to `liftScale` about its centre
// and casts a shadow (black 0.14, radius 8, 3 down); at rest scale 1 and no shadow. Springs
// (0.28, 0.82) both ways. The content goes inside, filling this item.
Item {
    id: root

    required property bool isHovered
    property real liftScale: 1.012
    property real cornerRadius: 12
    default property alias content: holder.data

    // 0 at rest, 1 lifted; every look of the lift follows it.
    property real lift: root.isHovered ? 1 : 0
    Behavior on lift {
        TarnoSpring { response: 0.28; dampingFraction: 0.82 }
    }

    transform: Scale {
        origin.x: root.width / 2
        origin.y: root.height / 2
        xScale: 1 + (root.liftScale - 1) * root.lift
        yScale: 1 + (root.liftScale - 1) * root.lift
    }

    SoftShadow {
        anchors.fill: parent
        hollow: true
        cornerRadius: root.cornerRadius
        strength: 0.14 * root.lift
        radius: 8 * root.lift
        offsetY: 3 * root.lift
    }

    Item {
        id: holder
        anchors.fill: parent
        // Qt Quick's software renderer draws a rounded rectangle as unsmoothed fills and corner
        // blits, which a fractional scale leaves a light line between; while lifted, the content
        // is drawn whole into a smoothed layer that the lift then scales.
        layer.enabled: root.lift !== 0
        layer.smooth: true
    }
}

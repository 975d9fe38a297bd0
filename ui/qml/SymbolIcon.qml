import QtQuick

// A named symbol drawn in the views' ink: the glyph of the symbol table, tinted with the colour's
// hue, its alpha given to the item's opacity so ink changes animate without redrawing. Sized from
// the font size it stands beside. `bounce()` plays a one-shot bounce; `pulsing` breathes forever.
Item {
    id: root

    required property string symbol
    property real pointSize: 12
    property color color: Theme.primary
    property bool pulsing: false
    property real pulseSpeed: 1
    readonly property bool isPulseRunning: pulseAnimation.running

    readonly property int glyphSize: Math.round(root.pointSize * 1.25)
    implicitWidth: root.glyphSize
    implicitHeight: root.glyphSize

    function bounce() {
        bounceAnimation.restart();
    }

    Image {
        id: glyph
        anchors.centerIn: parent
        width: root.glyphSize
        height: root.glyphSize
        // Drawn at the display's own pixels: Qt asks the provider for this size times the
        // window's pixel ratio.
        sourceSize: Qt.size(root.glyphSize, root.glyphSize)
        source: "image://symbols/" + root.symbol + "/" + Qt.rgba(root.color.r, root.color.g, root.color.b, 1).toString().substring(1)
        smooth: true
        mipmap: true
        opacity: root.color.a * glyph.pulseOpacity
        property real pulseOpacity: 1
        property real bounceScale: 1
        scale: glyph.bounceScale

    }

    SequentialAnimation {
        id: pulseAnimation
        running: root.pulsing
        loops: Animation.Infinite
        onStopped: glyph.pulseOpacity = 1
        NumberAnimation { target: glyph; property: "pulseOpacity"; to: 0.35; duration: Math.round(500 / root.pulseSpeed); easing.type: Easing.InOutSine }
        NumberAnimation { target: glyph; property: "pulseOpacity"; to: 1; duration: Math.round(500 / root.pulseSpeed); easing.type: Easing.InOutSine }
    }

    SequentialAnimation {
        id: bounceAnimation
        NumberAnimation { target: glyph; property: "bounceScale"; to: 1.22; duration: 110; easing.type: Easing.OutQuad }
        TarnoSpring { target: glyph; property: "bounceScale"; to: 1; response: 0.3; dampingFraction: 0.55 }
    }
}

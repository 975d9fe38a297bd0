import QtQuick
import Tarno.Ui

// The layout of an image clip: the "Screenshot" header with the age, the drag hint and the copy
// button, then the thumbnail at most 128 high, when the clip's bytes are an image. The thumbnail
// is decoded off the main thread at its display size by the "clips" image provider.
Item {
    id: root

    required property string clipId
    required property date createdAt
    required property real imageAspectRatio
    required property bool hasImage
    required property bool isHovered
    required property PopoverViewModel clock
    signal copyRequested()

    implicitHeight: header.height + (root.hasImage ? 10 + thumbnailFrame.height : 0)

    property real hoverAmount: root.isHovered ? 1 : 0
    Behavior on hoverAmount {
        TarnoSpring { response: 0.3; dampingFraction: 0.84 }
    }

    Item {
        id: header
        width: root.width
        height: buttons.implicitHeight

        TarnoText {
            anchors.verticalCenter: parent.verticalCenter
            text: "Screenshot"
            size: 10
            weight: Font.DemiBold
            color: Theme.primary58
            font.capitalization: Font.AllUppercase
            font.letterSpacing: 0.4
        }
        ClipTimestampLabel {
            anchors.right: buttons.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            date: root.createdAt
            clock: root.clock
        }
        Row {
            id: buttons
            anchors.right: parent.right
            spacing: 4
            DragHintIcon {
                isVisible: root.isHovered
            }
            CopyActionButton {
                isVisible: root.isHovered
                onAction: root.copyRequested()
            }
        }
    }

    Item {
        id: thumbnailFrame
        visible: root.hasImage
        y: header.height + 10
        width: root.width
        height: Math.min(128, width / Math.max(0.01, root.imageAspectRatio))
        transform: Scale {
            origin.x: thumbnailFrame.width / 2
            origin.y: thumbnailFrame.height / 2
            xScale: 1 + 0.01 * root.hoverAmount
            yScale: 1 + 0.01 * root.hoverAmount
        }

        SoftShadow {
            x: picture.x
            width: picture.width
            height: parent.height
            cornerRadius: 10
            strength: 0.18 + 0.04 * root.hoverAmount
            radius: 10 + 2 * root.hoverAmount
            offsetY: 5
        }
        SoftShadow {
            x: picture.x
            width: picture.width
            height: parent.height
            cornerRadius: 10
            strength: 0.06
            radius: 2
            offsetY: 1
        }
        Item {
            id: thumbnail
            anchors.fill: parent
            Image {
                id: picture
                objectName: "thumbnail"
                anchors.centerIn: parent
                // Fitted at the clip's ratio inside the full-width frame.
                width: Math.min(parent.width, parent.height * root.imageAspectRatio)
                height: width / Math.max(0.01, root.imageAspectRatio)
                // In logical pixels: Qt asks the provider for this size times the window's pixel
                // ratio, so the thumbnail is made at the display's own pixels.
                sourceSize: Qt.size(Math.ceil(width), Math.ceil(height))
                // The provider cuts the corners round, 10 points in pixels of the size it is asked.
                source: root.hasImage ? "image://clips/" + root.clipId + "/rounded/" + Math.round(10 * Screen.devicePixelRatio) : ""
                asynchronous: true
                fillMode: Image.Stretch
                smooth: true
            }
        }
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: "transparent"
            border.width: 1
            border.color: Theme.ink(0.06 + 0.08 * root.hoverAmount)
        }
    }
}

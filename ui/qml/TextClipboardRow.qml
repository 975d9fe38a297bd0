import QtQuick
import Tarno.Ui

// The layout of a text clip: the quote icon, the "Text" header with the age, the preview in at
// most three lines, and the drag hint and copy button.
Item {
    id: root

    required property date createdAt
    required property string previewText
    // Why the clip holds less than was copied; empty when it holds it all.
    property string note
    required property bool isHovered
    required property PopoverViewModel clock
    signal copyRequested()

    implicitHeight: Math.max(2 + icon.height, column.implicitHeight, buttons.implicitHeight)

    property real hoverAmount: root.isHovered ? 1 : 0
    Behavior on hoverAmount {
        TarnoSpring { response: 0.26; dampingFraction: 0.8 }
    }

    SymbolIcon {
        id: icon
        x: (16 - width) / 2
        y: 2
        symbol: "text.quote"
        pointSize: 12
        color: Theme.primary48
        scale: 1 + 0.08 * root.hoverAmount
    }

    Column {
        id: column
        x: 16 + 12
        width: root.width - x - 12 - buttons.width
        spacing: 6

        Item {
            width: parent.width
            height: Math.max(kindLabel.height, age.height)
            TarnoText {
                id: kindLabel
                text: "Text"
                size: 10
                weight: Font.DemiBold
                color: Theme.primary58
                font.capitalization: Font.AllUppercase
                font.letterSpacing: 0.4
            }
            ClipTimestampLabel {
                id: age
                anchors.right: parent.right
                anchors.baseline: kindLabel.baseline
                date: root.createdAt
                clock: root.clock
            }
        }
        TarnoText {
            id: preview
            objectName: "previewText"
            width: parent.width
            text: root.previewText
            textFormat: Text.PlainText
            size: 12.5
            color: Theme.ink(0.94)
            wrapMode: Text.Wrap
            maximumLineCount: 3
            elide: Text.ElideRight
            // The font's own line height plus 3 points between lines.
            lineHeightMode: Text.FixedHeight
            lineHeight: Math.ceil(preview.font.pixelSize * 1.2) + 3
        }
        TarnoText {
            objectName: "shortenedNote"
            visible: root.note !== ""
            width: parent.width
            text: root.note
            textFormat: Text.PlainText
            size: 10.5
            color: Theme.primary58
            elide: Text.ElideRight
        }
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

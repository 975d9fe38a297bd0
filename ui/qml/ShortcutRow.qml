import QtQuick
import Tarno.Ui

// The global shortcut's row: symbol, title and a line that says what the shortcut does, why it does
// not, or how to record one, with the combination in a key cap on the right. A click records the
// next combination pressed, which the row then takes from the keyboard. Looks as a retention row does:
// tinted while hovered (0.05) or recording (0.08, with the accent on the key cap).
Item {
    id: root

    // None where the popover is shown without the shell; the row is then hidden.
    required property ShortcutSetting shortcut

    property bool isHovered: hover.hovered
    readonly property bool isRecording: root.shortcut ? root.shortcut.isRecording : false
    readonly property string keyText: root.shortcut ? root.shortcut.keyText : ""
    readonly property string detailText: root.shortcut ? root.shortcut.detailText : ""
    readonly property bool isInUse: root.shortcut ? root.shortcut.isInUse : false

    Accessible.role: Accessible.Button
    Accessible.name: "Shortcut"
    Accessible.description: root.keyText + " · " + root.detailText
    Accessible.onPressAction: root.shortcut.startRecording()

    implicitHeight: Math.max(texts.implicitHeight, keyCap.height) + 16
    enabled: root.shortcut ? root.shortcut.isAvailable : false

    onIsRecordingChanged: {
        if (root.isRecording)
            root.forceActiveFocus();
    }
    Keys.onPressed: event => {
        event.accepted = root.shortcut !== null && root.shortcut.recordKey(event.key, event.modifiers);
    }

    property real hoverAmount: root.isHovered && root.enabled ? 1 : 0
    Behavior on hoverAmount {
        TarnoSpring { response: 0.26; dampingFraction: 0.84 }
    }
    property real recordingAmount: root.isRecording ? 1 : 0
    Behavior on recordingAmount {
        TarnoCurve { curve: "easeOut"; seconds: 0.18 }
    }

    Rectangle {
        anchors.fill: parent
        radius: 9
        color: Theme.ink(Math.max(0.08 * root.recordingAmount, 0.05 * root.hoverAmount))
        border.width: 1
        border.color: Theme.ink(0.14 * root.recordingAmount)
    }

    SymbolIcon {
        x: 10 + (16 - width) / 2
        anchors.verticalCenter: parent.verticalCenter
        symbol: "keyboard"
        pointSize: 11
        color: Theme.ink(0.55 + 0.45 * root.recordingAmount)
        scale: 1 + 0.08 * root.hoverAmount
    }
    Column {
        id: texts
        x: 10 + 16 + 10
        width: root.width - x - 10 - (keyCap.visible ? keyCap.width + 10 : 0)
        anchors.verticalCenter: parent.verticalCenter
        spacing: 2
        TarnoText {
            width: parent.width
            text: "Shortcut"
            size: 12
            weight: Font.Medium
        }
        TarnoText {
            objectName: "shortcutDetail"
            width: parent.width
            text: root.detailText
            size: 10
            color: root.isInUse && !root.isRecording ? Theme.orange : Theme.primary50
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }
    }
    Rectangle {
        id: keyCap
        visible: root.keyText !== ""
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        width: keyText.implicitWidth + 16
        height: keyText.implicitHeight + 8
        radius: 6
        color: Theme.ink(0.06)
        border.width: 1
        border.color: root.isRecording ? Theme.tint(Theme.accent, 0.7) : Theme.ink(0.16)
        TarnoText {
            id: keyText
            objectName: "shortcutKeys"
            anchors.centerIn: parent
            text: root.keyText
            size: 11
            weight: Font.DemiBold
            color: root.isRecording ? Theme.accent : Theme.ink(0.78)
        }
    }

    HoverHandler {
        id: hover
    }
    MouseArea {
        objectName: "shortcutMouseArea"
        anchors.fill: parent
        onClicked: root.shortcut.startRecording()
    }
}

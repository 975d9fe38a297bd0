pragma ComponentBehavior: Bound
import QtQuick
import Tarno.Ui

// The settings shown in place of the clip list: the screenshot switch with the line that says
// whether the screenshot tools follow it, the three retention choices, the global shortcut, "Start
// at Login" with the line that says why a change failed, and "Clear All". It reads and writes
// the settings through the popover's view model; clearing is the popover's sequence.
Item {
    id: root

    required property PopoverViewModel settings
    required property bool canClearAll
    signal clearAllRequested()

    readonly property var policies: [
        { policy: "daily", symbol: "sun.horizon", title: "Delete Daily", detail: "Clips older than 24 hours are removed" },
        { policy: "weekly", symbol: "calendar", title: "Delete Weekly", detail: "Clips older than 7 days are removed" },
        { policy: "keepForever", symbol: "infinity", title: "Keep Forever", detail: "History is kept until you clear it" }
    ]

    implicitHeight: column.implicitHeight + 28

    // Leaving the settings ends a recording, as closing the popover does.
    Connections {
        target: root.settings
        function onShowsSettingsChanged() {
            if (!root.settings.showsSettings && root.settings.shortcut)
                root.settings.shortcut.cancelRecording();
        }
    }

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: Theme.ink(0.04)
        border.width: 1
        border.color: Theme.ink(0.08)
    }

    component SectionLabel: TarnoText {
        size: 10
        weight: Font.DemiBold
        color: Theme.primary58
        font.capitalization: Font.AllUppercase
        font.letterSpacing: 0.45
    }
    component Divider: Rectangle {
        height: 1
        color: Theme.ink(0.2)
        opacity: 0.35
    }

    Column {
        id: column
        x: 14
        y: 14
        width: root.width - 28
        spacing: 14

        // Above everything: it concerns every clip, not one setting.
        Row {
            objectName: "clipboardNotice"
            visible: root.settings.clipboardNotice !== ""
            width: parent.width
            spacing: 6
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                symbol: "exclamationmark.circle"
                pointSize: 10
                color: Theme.orange
            }
            TarnoText {
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 6 - 13
                text: root.settings.clipboardNotice
                size: 10
                color: Theme.primary50
                wrapMode: Text.Wrap
            }
        }
        SectionLabel {
            text: "Screenshots"
        }
        ScreenshotClipboardToggle {
            width: parent.width
            isOn: root.settings.screenshotsUseClipboard
            detail: root.settings.screenshotSwitchDetail
            onToggled: on => root.settings.screenshotsUseClipboard = on
        }
        Row {
            id: statusLine
            objectName: "statusLine"
            visible: root.settings.screenshotsUseClipboard
            width: parent.width
            spacing: 6
            readonly property bool applied: root.settings.screenshotTargetApplied
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                symbol: statusLine.applied ? "checkmark.circle.fill" : "exclamationmark.circle"
                pointSize: 10
                color: statusLine.applied ? Theme.green : Theme.orange
            }
            TarnoText {
                objectName: "statusText"
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 6 - 13
                text: root.settings.screenshotStatusText
                size: 10
                color: Theme.primary50
                wrapMode: Text.Wrap
                maximumLineCount: 2
            }
        }
        Divider {
            width: parent.width
        }
        SectionLabel {
            text: "Clear History"
        }
        Column {
            width: parent.width
            spacing: 6
            Repeater {
                model: root.policies
                delegate: RetentionOptionRow {
                    required property var modelData
                    width: parent.width
                    objectName: "retention-" + modelData.policy
                    policy: modelData.policy
                    symbol: modelData.symbol
                    title: modelData.title
                    detail: modelData.detail
                    isSelected: root.settings.retentionPolicy === modelData.policy
                    onAction: root.settings.retentionPolicy = modelData.policy
                }
            }
        }
        Divider {
            width: parent.width
        }
        ShortcutRow {
            objectName: "shortcutRow"
            visible: root.settings.shortcut !== null
            width: parent.width
            shortcut: root.settings.shortcut
        }
        RetentionOptionRow {
            objectName: "startAtLoginRow"
            visible: root.settings.canStartAtLogin
            width: parent.width
            policy: "startAtLogin"
            symbol: "power"
            title: "Start at Login"
            detail: "Tarno opens with your session"
            isSelected: root.settings.startsAtLogin
            onAction: root.settings.startsAtLogin = !root.settings.startsAtLogin
        }
        Row {
            id: loginStatus
            objectName: "startAtLoginStatus"
            visible: root.settings.startAtLoginStatus !== ""
            width: parent.width
            spacing: 6
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                symbol: "exclamationmark.circle"
                pointSize: 10
                color: Theme.orange
            }
            TarnoText {
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 6 - 13
                text: root.settings.startAtLoginStatus
                size: 10
                color: Theme.primary50
                elide: Text.ElideRight
                maximumLineCount: 1
            }
        }
        Divider {
            visible: root.settings.canStartAtLogin || root.settings.shortcut !== null
            width: parent.width
        }
        ClearAllButton {
            objectName: "clearAllButton"
            width: parent.width
            canClearAll: root.canClearAll
            onAction: root.clearAllRequested()
        }
    }
}

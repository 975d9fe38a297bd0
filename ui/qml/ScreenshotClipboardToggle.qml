import QtQuick
import QtQuick.Templates as T

// The switch that sends new screenshots to the clipboard as well, with its title and the line that
// says what it configures. `isOn` is shown; flipping asks for the other value through `toggled`.
Item {
    id: root

    required property bool isOn
    required property string detail
    signal toggled(bool on)

    implicitHeight: Math.max(texts.implicitHeight, toggle.implicitHeight)

    Column {
        id: texts
        width: root.width - 8 - toggle.width
        spacing: 3
        TarnoText {
            width: parent.width
            text: "Clipboard for Print"
            size: 12
            weight: Font.Medium
        }
        TarnoText {
            width: parent.width
            objectName: "switchDetail"
            text: root.detail
            size: 10
            color: Theme.primary50
            wrapMode: Text.Wrap
        }
    }

    T.Switch {
        id: toggle
        objectName: "screenshotSwitch"
        anchors.right: parent.right
        checked: root.isOn
        implicitWidth: 32
        implicitHeight: 18
        onToggled: root.toggled(toggle.checked)
        Accessible.role: Accessible.CheckBox
        Accessible.name: "Clipboard for Print"
        Accessible.description: root.detail

        indicator: Rectangle {
            implicitWidth: 32
            implicitHeight: 18
            radius: height / 2
            // Tinted with the primary ink when on, a quiet track when off.
            color: toggle.checked ? Theme.primary : Theme.ink(0.12)
            Behavior on color {
                TarnoSpring { response: 0.26; dampingFraction: 0.86 }
            }
            Rectangle {
                x: toggle.checked ? parent.width - width - 2 : 2
                y: 2
                width: parent.height - 4
                height: width
                radius: width / 2
                color: Theme.isDark && toggle.checked ? "#1e1e1e" : "#ffffff"
                border.width: 0.5
                border.color: Qt.rgba(0, 0, 0, 0.12)
                Behavior on x {
                    TarnoSpring { response: 0.26; dampingFraction: 0.8 }
                }
            }
        }
    }
}

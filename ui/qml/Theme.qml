pragma Singleton
import QtQuick
import Tarno.Ui

// The views' ink: the text colour of the desktop's light or dark look at the shared opacities, its
// highlight as the accent, fixed red, green and orange, and the desktop's font.
QtObject {
    id: root

    readonly property color primary: Desktop.textColor
    readonly property color background: Desktop.windowColor
    readonly property color accent: Desktop.accentColor
    readonly property bool isDark: Desktop.dark
    readonly property color red: isDark ? "#ff453a" : "#ff3b30"
    readonly property color green: isDark ? "#30d158" : "#34c759"
    readonly property color orange: isDark ? "#ff9f0a" : "#ff9500"
    readonly property string fontFamily: Qt.application.font.family

    // The shared ink levels.
    readonly property color primary62: ink(0.62)
    readonly property color primary58: ink(0.58)
    readonly property color primary50: ink(0.50)
    readonly property color primary48: ink(0.48)
    readonly property color primary38: ink(0.38)

    function ink(opacity: real): color {
        return Qt.rgba(root.primary.r, root.primary.g, root.primary.b, opacity);
    }
    function tint(base: color, opacity: real): color {
        return Qt.rgba(base.r, base.g, base.b, opacity);
    }
}

pragma ComponentBehavior: Bound
import QtQuick

// The three filter pills, All, Text and Screenshots, and the one capsule that glides to the selected
// pill under the selection spring (0.3, 0.78). `selection` is a filter's raw value; choosing a pill,
// even the selected one, asks for it through `selectionRequested`.
Item {
    id: root

    required property string selection
    // The filter whose pill shows the keyboard focus; empty for none.
    property string focusedFilter
    signal selectionRequested(string filter)

    readonly property var pills: [
        { filter: "all", title: "All", icon: "square.grid.2x2" },
        { filter: "text", title: "Text", icon: "text.alignleft" },
        { filter: "screenshots", title: "Screenshots", icon: "camera.viewfinder" }
    ]

    Accessible.role: Accessible.PageTabList
    Accessible.name: "Filter"

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight

    // The selection capsule: one shape that moves and resizes from pill to pill.
    Rectangle {
        id: capsule
        objectName: "selectionCapsule"
        readonly property Item selectedPill: repeater.count > 0 ? repeater.itemAt(Math.max(0, root.pills.findIndex(p => p.filter === root.selection))) : null
        visible: capsule.selectedPill !== null
        x: capsule.selectedPill ? capsule.selectedPill.x : 0
        y: 0
        width: capsule.selectedPill ? capsule.selectedPill.width : 0
        height: row.height
        radius: height / 2
        color: Theme.ink(0.12)
        Behavior on x {
            TarnoSpring { response: 0.3; dampingFraction: 0.78 }
        }
        Behavior on width {
            TarnoSpring { response: 0.3; dampingFraction: 0.78 }
        }
    }

    Row {
        id: row
        spacing: 6
        Repeater {
            id: repeater
            model: root.pills
            delegate: FilterPill {
                required property var modelData
                objectName: "pill-" + modelData.filter
                title: modelData.title
                icon: modelData.icon
                isSelected: root.selection === modelData.filter
                hasKeyFocus: root.focusedFilter === modelData.filter
                onAction: root.selectionRequested(modelData.filter)
            }
        }
    }
}

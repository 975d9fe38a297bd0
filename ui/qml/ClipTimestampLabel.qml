import QtQuick
import Tarno.Ui

// The clip's age, kept current by the popover's clock (which only runs while the popover is shown):
// 10 medium, primary 0.62, digits of equal width.
TarnoText {
    id: root

    required property date date
    required property PopoverViewModel clock

    text: root.clock.relativeAge(root.date, root.clock.now)
    size: 10
    weight: Font.Medium
    color: Theme.primary62
}

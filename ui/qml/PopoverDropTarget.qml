import QtQuick
import Tarno.Ui

// The popover's drop target over the whole panel; the popover hands it the drop callback by its
// object name.
PopoverDropArea {
    objectName: "dropArea"
}

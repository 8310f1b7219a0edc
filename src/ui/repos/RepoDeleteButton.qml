import QtQuick
import QtQuick.Controls
import Kivo

// The delete button at the leading end of a repository row in delete mode.
ToolButton {
    property string accessibleName

    objectName: "rowDeleteButton"
    Accessible.name: accessibleName
    ToolTip.visible: hovered || visualFocus
    ToolTip.text: accessibleName
    contentItem: SymbolIcon { name: "trash"; size: 20; color: Theme.red }
}

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// A scrolling column of sections, the body of each tab; it scrolls to keep
// the keyboard focus in view.
ScrollView {
    id: form

    default property alias sections: column.data
    property int formPadding: 20
    readonly property int sectionSpacing: 18

    contentWidth: availableWidth
    contentHeight: column.implicitHeight + 2 * formPadding
    clip: true

    FocusScroller {
        flickable: form.contentItem
    }

    ColumnLayout {
        id: column
        x: form.formPadding
        y: form.formPadding
        width: form.availableWidth - 2 * form.formPadding
        spacing: form.sectionSpacing
    }
}

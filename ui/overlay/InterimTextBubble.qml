import QtQuick
import QtQuick.Layouts

// The sentence still being spoken, and its translation when there is one.
ColumnLayout {
    id: bubble

    required property OverlayColors colors
    required property string text
    required property string translatedText
    required property real fontSize

    readonly property int horizontalPadding: 10
    readonly property int verticalPadding: 6

    spacing: 2

    Text {
        objectName: "interimText"
        Layout.fillWidth: true
        Layout.leftMargin: bubble.horizontalPadding
        Layout.rightMargin: bubble.horizontalPadding
        Layout.topMargin: bubble.verticalPadding
        Layout.bottomMargin: bubble.translatedText === "" ? bubble.verticalPadding : 0
        text: bubble.text
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font.pointSize: bubble.fontSize
        font.family: bubble.colors.fontFamily
        color: bubble.colors.interim
        style: bubble.colors.textStyle
        styleColor: bubble.colors.edge
        Accessible.name: text
    }
    Text {
        Layout.fillWidth: true
        Layout.leftMargin: bubble.horizontalPadding
        Layout.rightMargin: bubble.horizontalPadding
        Layout.bottomMargin: bubble.verticalPadding
        visible: bubble.translatedText !== ""
        text: bubble.translatedText
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font.pointSize: Math.max(1, bubble.fontSize - 1)
        font.family: bubble.colors.fontFamily
        color: bubble.colors.tertiary
        style: bubble.colors.textStyle
        styleColor: bubble.colors.edge
        Accessible.name: text
    }
}

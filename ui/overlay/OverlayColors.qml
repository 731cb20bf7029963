import QtQuick
import Orvinta.Ui

// The overlay's colours: the caption style's, each legible on the backdrops
// whatever the window opacity, which fades only the window colour.
QtObject {
    id: colors

    required property CaptionStyle style

    readonly property bool dark: UiTheme.dark
    readonly property color window: style.chrome
    readonly property color backdrop: style.backdrop
    readonly property color edge: style.edge
    readonly property int textStyle: style.textStyle
    readonly property string fontFamily: style.fontFamily
    readonly property color primary: style.text
    readonly property color interim: style.interim
    readonly property color secondary: style.secondary
    readonly property color tertiary: style.secondary
    readonly property color quaternary: style.secondary
    readonly property color accent: style.accent
    readonly property color red: style.red
    readonly property color green: style.green
    readonly property color microphoneSpeaker: style.microphoneSpeaker
    readonly property color computerSpeaker: style.computerSpeaker

    function fill(alpha) {
        return Qt.rgba(primary.r, primary.g, primary.b, alpha)
    }
}

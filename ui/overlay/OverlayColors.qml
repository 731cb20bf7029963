import QtQuick

// The text colours at decreasing emphasis and the fixed accents, from the
// desktop palette, so that light and dark palettes both read well.
QtObject {
    id: colors

    readonly property SystemPalette palette: SystemPalette { colorGroup: SystemPalette.Active }
    readonly property bool dark: palette.window.hslLightness < 0.5
    readonly property color window: palette.window
    readonly property color primary: palette.windowText
    readonly property color secondary: Qt.rgba(primary.r, primary.g, primary.b, 0.72)
    readonly property color tertiary: Qt.rgba(primary.r, primary.g, primary.b, 0.52)
    readonly property color quaternary: Qt.rgba(primary.r, primary.g, primary.b, 0.36)
    readonly property color accent: dark ? "#0a84ff" : "#007aff"
    readonly property color red: dark ? "#ff453a" : "#ff3b30"
    readonly property color green: dark ? "#30d158" : "#28a745"
    // Yellow marks: bright on dark backgrounds, deep amber on light ones.
    readonly property color mark: dark ? "#ffd60a" : "#8a6100"
    readonly property color markBackground: Qt.rgba(1, 0.84, 0.04, 0.2)
    // The speakers of a run on the microphone and the computer: blue for
    // "Me", amber for the others; at least 4.5:1 on a card of either palette.
    readonly property color microphoneSpeaker: dark ? "#a6d4ff" : "#0a4c99"
    readonly property color computerSpeaker: dark ? "#ffc57a" : "#7a3d00"

    function fill(alpha) {
        return Qt.rgba(primary.r, primary.g, primary.b, alpha)
    }
}

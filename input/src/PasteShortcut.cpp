#include <OrvintaInput/PasteKeystrokes.h>

namespace Orvinta {

const QStringList &terminalWindowClasses() {
    static const QStringList names{
        QStringLiteral("xterm"),
        QStringLiteral("uxterm"),
        QStringLiteral("urxvt"),
        QStringLiteral("rxvt"),
        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"),
        QStringLiteral("org.gnome.console"),
        QStringLiteral("kgx"),
        QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("ptyxis"),
        QStringLiteral("konsole"),
        QStringLiteral("org.kde.konsole"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("mate-terminal"),
        QStringLiteral("lxterminal"),
        QStringLiteral("terminator"),
        QStringLiteral("tilix"),
        QStringLiteral("com.gexperts.tilix"),
        QStringLiteral("alacritty"),
        QStringLiteral("kitty"),
        QStringLiteral("foot"),
        QStringLiteral("footclient"),
        QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("st"),
        QStringLiteral("st-256color"),
        QStringLiteral("qterminal"),
        QStringLiteral("sakura"),
        QStringLiteral("terminology"),
        QStringLiteral("guake"),
        QStringLiteral("yakuake"),
        QStringLiteral("tilda"),
        QStringLiteral("cool-retro-term"),
        QStringLiteral("deepin-terminal"),
        QStringLiteral("roxterm"),
        QStringLiteral("eterm"),
        QStringLiteral("aterm"),
        QStringLiteral("lilyterm"),
        QStringLiteral("contour"),
        QStringLiteral("blackbox"),
        QStringLiteral("com.raggesilver.blackbox"),
        QStringLiteral("rio"),
        QStringLiteral("cosmic-term"),
        QStringLiteral("com.system76.cosmicterm"),
        QStringLiteral("terminal"), // elementary's io.elementary.terminal sets this class
        QStringLiteral("io.elementary.terminal"),
    };
    return names;
}

bool isTerminalWindowClass(const QStringList &wmClass) {
    const QStringList &terminals = terminalWindowClasses();
    for (const QString &name : wmClass)
        if (!name.isEmpty() && terminals.contains(name.toLower()))
            return true;
    return false;
}

PasteShortcut choosePasteShortcut(const QString &preference, const QStringList &wmClass) {
    if (preference == QLatin1String("ctrl-v"))
        return PasteShortcut::ctrlV;
    if (preference == QLatin1String("ctrl-shift-v"))
        return PasteShortcut::ctrlShiftV;
    return isTerminalWindowClass(wmClass) ? PasteShortcut::ctrlShiftV : PasteShortcut::ctrlV;
}

} // namespace Orvinta

#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <OrvintaUi/OverlaySettings.h>

#include <memory>
#include <optional>

class QQmlEngine;

namespace Orvinta {

class AppState;
class DesktopMotion;
class OverlayViewModel;
class OverlayWindowPlatform;
class TranslationBackend;

/// The subtitle overlay's window: frameless, translucent (blurred behind where
/// the compositor offers it), on every desktop, above other windows while
/// pinned, without a task-bar entry, and never taking the keyboard focus
/// except while its search field is used or the "Focus captions" shortcut
/// gave it. Built on first show and kept for the run; its frame is saved
/// under the settings key "OrvintaOverlay". Answers AppState's overlay
/// requests by itself.
class OverlayWindowController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell makes the overlay window controller")
    Q_PROPERTY(bool backgroundHidden READ backgroundHidden NOTIFY backgroundHiddenChanged)
    Q_PROPERTY(bool blurBehind READ blurBehind CONSTANT)
    Q_PROPERTY(bool reducedMotion READ reducedMotion NOTIFY reducedMotionChanged)
    /// The window has the keyboard: its search field was pressed or the
    /// "Focus captions" shortcut brought the keyboard to its list.
    Q_PROPERTY(bool keyboardActive READ keyboardActive NOTIFY keyboardActiveChanged)

public:
    static constexpr QSize defaultSize{600, 280};
    static constexpr int bottomOffset = 80;
    /// A restored frame smaller than this is replaced by the default one.
    static constexpr QSize smallestRestoredSize{100, 50};
    static constexpr int cornerRadius = 14;

    /// What the overlay takes from the desktop; the shell chooses each.
    struct Services {
        /// Translates the lines and the interim text.
        std::shared_ptr<TranslationBackend> translation;
        /// The window's desktop integration; none does nothing beyond Qt.
        std::unique_ptr<OverlayWindowPlatform> platform;
        /// The desktop's reduced-motion setting; none animates.
        DesktopMotion *motion = nullptr;
        /// Orvinta's first start: the empty overlay welcomes.
        bool firstRun = false;
    };

    OverlayWindowController(AppState &state, OverlaySettings &settings, QQmlEngine &engine,
                            Services services, QObject *parent = nullptr);
    ~OverlayWindowController() override;

    /// Builds the window if needed (nothing without a screen), fully opaque,
    /// in front, without taking the focus.
    void show();
    /// Orders the window out; its frame, scroll position and search stay.
    void hide();
    /// Fades the whole window out (0.5 s) or back in (0.3 s).
    void updateBackgroundHidden(bool hidden);

    /// The window once built; for the shell's screenshots, tests and benchmarks.
    QQuickWindow *window() const { return m_window; }
    OverlayViewModel *viewModel() const { return m_viewModel.get(); }
    /// The display strings of the start/stop and show/hide-overlay shortcuts
    /// while they are registered; empty for one that is not.
    void setShortcutTexts(const QString &startStop, const QString &toggleOverlay);

    bool backgroundHidden() const { return m_backgroundHidden; }
    bool blurBehind() const;
    bool reducedMotion() const;
    bool keyboardActive() const { return m_keyboardActive; }
    /// Whether AppState asked for the overlay to be set up.
    bool isSetUp() const { return m_setUp; }

    /// Centred horizontally, `bottomOffset` above the screen's bottom edge.
    static QRect defaultFrame(const QRect &screen);
    /// Docked: the whole width of `screen`, `height` tall (at least
    /// `smallestRestoredSize`, at most half the screen), along its top or
    /// bottom edge; floating: none.
    static std::optional<QRect> dockedFrame(const QRect &screen,
                                            OverlaySettings::Placement placement, int height);
    /// The saved frame, unless it is missing, smaller than
    /// `smallestRestoredSize`, or on none of `screens`; brought wholly onto
    /// the screen that holds most of it, and no larger than that screen.
    static QRect restoredFrame(const std::optional<QRect> &saved, const QRect &primaryScreen,
                               const QList<QRect> &screens);

    /// The search field was pressed: the window may take the focus now.
    Q_INVOKABLE void beginSearchInput();
    /// The "Focus captions" shortcut: the window takes the keyboard with its
    /// newest line selected (it is shown already: AppState asked first).
    void focusCaptions();
    /// The keyboard leaves the overlay; with `giveFocusBack` the window that
    /// had the focus before gets it again.
    Q_INVOKABLE void releaseKeyboard(bool giveFocusBack);

Q_SIGNALS:
    void windowCreated();
    void backgroundHiddenChanged();
    void keyboardActiveChanged();
    /// The list should take the keyboard focus.
    void listFocusRequested();
    void reducedMotionChanged();

private:
    void createWindow();
    void applyPinned();
    /// Docks, or brings the floating frame back, and keeps the strip.
    void applyPlacement();
    void updateBlurRegion();
    void saveFrame();
    void takeKeyboard();

    AppState &m_state;
    OverlaySettings &m_settings;
    QQmlEngine &m_engine;
    std::shared_ptr<TranslationBackend> m_translationBackend;
    std::unique_ptr<OverlayWindowPlatform> m_platform;
    QPointer<DesktopMotion> m_motion;
    std::unique_ptr<OverlayViewModel> m_viewModel;
    QPointer<QQuickWindow> m_window;
    QString m_startStopShortcut;
    QString m_toggleOverlayShortcut;
    bool m_backgroundHidden = false;
    bool m_keyboardActive = false;
    bool m_firstRun = false;
    bool m_frameReady = false;
    bool m_setUp = false;
    bool m_docked = false;
    QTimer m_frameSaveTimer;
};

} // namespace Orvinta

#pragma once

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/ConfirmedLine.h>

#include <QAbstractItemModel>
#include <QColor>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <memory>
#include <optional>

namespace Orvinta {

class CaptionStyle;
class OverlayLineModel;
class OverlaySettings;
class TranslationBackend;
class TranslationController;
class UiTheme;

/// The state and logic of the overlay's content: the searchable list, the
/// typewriter that catches up with the interim text, the translation of lines
/// and interim text, auto-hide, the scroll rules, the footer's texts, the
/// keyboard's selection of a line with its copy, delete and undo, and the
/// lines read aloud. The QML view only lays these out. Main thread only; its
/// timers run only while something is pending.
class OverlayViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The overlay window controller makes the view model")
    Q_PROPERTY(Orvinta::AppState *state READ state CONSTANT)
    Q_PROPERTY(QAbstractItemModel *lines READ lines CONSTANT)
    Q_PROPERTY(Orvinta::OverlaySettings *settings READ settings CONSTANT)
    Q_PROPERTY(Orvinta::CaptionStyle *style READ style CONSTANT)
    /// Compact mode: the newest confirmed words as lines of about
    /// `compactLineLength` characters, and the interim text's last line below.
    Q_PROPERTY(QString compactText READ compactText NOTIFY compactTextChanged)
    Q_PROPERTY(QString compactInterim READ compactInterim NOTIFY compactTextChanged)
    Q_PROPERTY(bool searchBarVisible READ searchBarVisible NOTIFY lineCountChanged)
    Q_PROPERTY(QString searchQuery READ searchQuery WRITE setSearchQuery NOTIFY searchQueryChanged)
    Q_PROPERTY(int resultCount READ resultCount NOTIFY resultCountChanged)
    Q_PROPERTY(QString resultText READ resultText NOTIFY resultCountChanged)
    Q_PROPERTY(QString displayedInterim READ displayedInterim NOTIFY displayedInterimChanged)
    Q_PROPERTY(QString interimTranslation READ interimTranslation NOTIFY interimTranslationChanged)
    Q_PROPERTY(bool shouldShowTranslation READ shouldShowTranslation NOTIFY languagesChanged)
    Q_PROPERTY(QString sourceLabel READ sourceLabel NOTIFY languagesChanged)
    Q_PROPERTY(QString targetLabel READ targetLabel NOTIFY languagesChanged)
    Q_PROPERTY(Placeholder placeholder READ placeholder NOTIFY placeholderChanged)
    /// The listening indicator's words: "Listening...", or what the run waits for.
    Q_PROPERTY(QString listeningText READ listeningText NOTIFY placeholderChanged)
    Q_PROPERTY(bool canToggleListening READ canToggleListening NOTIFY listeningStateChanged)
    Q_PROPERTY(bool showIdle READ showIdle NOTIFY footerChanged)
    Q_PROPERTY(QString countsText READ countsText NOTIFY footerChanged)
    Q_PROPERTY(QString startStopShortcut READ startStopShortcut NOTIFY shortcutsChanged)
    Q_PROPERTY(QString closeToolTip READ closeToolTip NOTIFY shortcutsChanged)
    Q_PROPERTY(bool isAutoHidden READ isAutoHidden NOTIFY isAutoHiddenChanged)
    Q_PROPERTY(bool stickToBottom READ stickToBottom NOTIFY scrollStateChanged)
    Q_PROPERTY(bool hasNewLines READ hasNewLines NOTIFY scrollStateChanged)
    Q_PROPERTY(QString copiedLineId READ copiedLineId NOTIFY copiedLineIdChanged)
    Q_PROPERTY(bool typing READ typing NOTIFY typingChanged)
    /// The line the keyboard is on; empty for none.
    Q_PROPERTY(QString selectedLineId READ selectedLineId NOTIFY selectionChanged)
    /// Its row in `lines`; -1 for none.
    Q_PROPERTY(int selectedRow READ selectedRow NOTIFY selectionChanged)
    /// "Line deleted — Undo" while the last deletion can be undone; empty otherwise.
    Q_PROPERTY(QString undoText READ undoText NOTIFY undoChanged)
    /// The empty list's title: a welcome on the first start.
    Q_PROPERTY(QString emptyTitle READ emptyTitle NOTIFY emptyTitleChanged)

public:
    /// What stands in the list where the interim bubble would be.
    enum class Placeholder { None, Interim, Listening, Empty };
    Q_ENUM(Placeholder)

    static constexpr int typewriterChunk = 5;
    static constexpr std::chrono::milliseconds typewriterStep{100};
    static constexpr std::chrono::milliseconds copiedBadge{1500};
    static constexpr int searchBarMinimumLines = 3;
    static constexpr int unpinMinimumLines = 4;
    static constexpr int atBottomTolerance = 40;
    /// How long a deletion can be undone.
    static constexpr std::chrono::milliseconds undoWindow{10000};
    static constexpr int compactLineLength = 42;
    static constexpr int compactLineCount = 3;

    OverlayViewModel(AppState &state, OverlaySettings &settings, UiTheme &theme,
                     std::shared_ptr<TranslationBackend> translator, QObject *parent = nullptr);
    ~OverlayViewModel() override;

    AppState *state() const { return &m_state; }
    QAbstractItemModel *lines() const;
    OverlayLineModel *lineModel() const { return m_lines.get(); }
    OverlaySettings *settings() const { return &m_settings; }
    CaptionStyle *style() const { return m_style.get(); }
    QString compactText() const;
    QString compactInterim() const;
    TranslationController *translation() const { return m_translation.get(); }

    int lineCount() const;
    bool searchBarVisible() const { return lineCount() >= searchBarMinimumLines; }
    QString searchQuery() const { return m_searchQuery; }
    void setSearchQuery(const QString &query);
    int resultCount() const;
    QString resultText() const;
    QString displayedInterim() const { return m_displayedInterim; }
    QString interimTranslation() const;
    bool shouldShowTranslation() const;
    QString sourceLabel() const;
    QString targetLabel() const;
    Placeholder placeholder() const;
    QString listeningText() const;
    bool isListening() const;
    bool canToggleListening() const;
    bool showIdle() const;
    QString countsText() const;
    QString startStopShortcut() const { return m_startStopShortcut; }
    QString closeToolTip() const;
    bool isAutoHidden() const { return m_isAutoHidden; }
    bool stickToBottom() const { return m_stickToBottom; }
    bool hasNewLines() const { return m_hasNewLines; }
    QString copiedLineId() const;
    bool typing() const { return m_typingTimer.isActive(); }
    QString selectedLineId() const;
    int selectedRow() const;
    QString undoText() const;
    QString emptyTitle() const;
    /// Under reduced motion the typewriter shows whole words at once.
    void setReducedMotion(bool reduced);
    /// The first start: the empty list welcomes.
    void setWelcome(bool welcome);
    /// While the keyboard is in the overlay it does not hide itself; leaving
    /// clears the selection.
    void setKeyboardActive(bool active);
    /// Whether any timer of the view runs (nothing should while nothing moves).
    bool hasPendingTimers() const;

    /// The display strings of the start/stop and show/hide-overlay shortcuts
    /// while they are registered; empty for one that is not.
    void setShortcutTexts(const QString &startStop, const QString &toggleOverlay);

    /// The list's scroll position: whether its end is in view, and its content
    /// height in whole pixels.
    Q_INVOKABLE void updateScrollMetrics(bool atBottom, int contentHeight);
    /// The "New" pill: follow the newest line again.
    Q_INVOKABLE void jumpToNewLines();
    Q_INVOKABLE void copyLine(const QString &lineId, const QString &text);
    Q_INVOKABLE void copyText(const QString &text);
    /// Deletes the line, which can be undone for `undoWindow`.
    Q_INVOKABLE void deleteLine(const QString &lineId);
    Q_INVOKABLE void undoDelete();
    /// The newest line listed; none while nothing is.
    Q_INVOKABLE void selectNewest();
    /// The list got the keyboard: the newest line unless one is selected.
    Q_INVOKABLE void listFocused();
    /// A key pressed in the list: arrows, Home and End move, Ctrl+C copies,
    /// Delete deletes, Ctrl+Z undoes, the Menu key or Shift+F10 asks for the
    /// line's menu, / or Ctrl+F for the search, Escape to leave. False for a
    /// key it does not take.
    Q_INVOKABLE bool handleListKey(int key, int modifiers);
    Q_INVOKABLE void toggleListening();
    Q_INVOKABLE void hideOverlay();

Q_SIGNALS:
    void lineCountChanged();
    void searchQueryChanged();
    void resultCountChanged();
    void displayedInterimChanged();
    void interimTranslationChanged();
    void languagesChanged();
    void placeholderChanged();
    void listeningStateChanged();
    void footerChanged();
    void shortcutsChanged();
    void isAutoHiddenChanged();
    void scrollStateChanged();
    void copiedLineIdChanged();
    void typingChanged();
    void selectionChanged();
    void undoChanged();
    void emptyTitleChanged();
    void compactTextChanged();
    /// The list should show its end now.
    void scrollToBottomRequested();
    /// The keyboard asks for the selected line's menu.
    void lineMenuRequested(const QString &lineId, const QString &text, const QString &translation);
    /// The keyboard asks for the search field.
    void searchRequested();
    /// Escape: the keyboard goes back to the window that had it.
    void keyboardReleaseRequested();
    /// A new line for the screen reader, while reading aloud is on.
    void lineAnnounced(const QString &text);

private:
    void handleInterimTextChanged();
    void handleLineCountChanged();
    void handleAutoHideEnabledChanged();
    void updateInterimText(const QString &text);
    void typeNextChunk();
    void stopTyping();
    void setDisplayedInterim(const QString &text);
    void resetAutoHideTimer();
    void setAutoHidden(bool hidden);
    void setScrollState(bool stickToBottom, bool hasNewLines);
    void writeClipboard(const QString &text);
    void select(const QModelIndex &index);
    void moveSelection(int step);
    QModelIndex selectedIndex() const;

    /// A deleted line, until it is put back or the chance to is gone.
    struct Deletion {
        ConfirmedLine line;
        int row = 0;
        QString translation;
    };

    AppState &m_state;
    OverlaySettings &m_settings;
    std::unique_ptr<CaptionStyle> m_style;
    std::unique_ptr<OverlayLineModel> m_lines;
    std::unique_ptr<TranslationController> m_translation;
    int m_knownLineCount = 0;

    QString m_searchQuery;
    QString m_displayedInterim;
    QStringList m_pendingCharacters;
    QTimer m_typingTimer;

    bool m_isAutoHidden = false;
    QTimer m_autoHideTimer;

    bool m_stickToBottom = true;
    bool m_hasNewLines = false;
    std::optional<int> m_contentHeight;

    QUuid m_copiedLine;
    QTimer m_copiedTimer;

    QString m_startStopShortcut;
    QString m_toggleOverlayShortcut;

    QPersistentModelIndex m_selected;
    std::optional<Deletion> m_deletion;
    QTimer m_undoTimer;
    bool m_restoring = false;
    bool m_reducedMotion = false;
    bool m_welcome = false;
    bool m_keyboardActive = false;
};

/// The user-perceived characters of a text.
QStringList graphemeClusters(const QString &text);
/// `text` broken at spaces into lines of at most `length` characters (a
/// longer word keeps a line of its own).
QStringList wrapWords(const QString &text, int length);

} // namespace Orvinta

#pragma once

#include <QString>

#include <functional>
#include <memory>

class QMimeData;

namespace Orvinta {

/// The desktop clipboard as a paste uses it: what it holds saved in every
/// format, the pasted text offered in its place, the saved content put back.
class PasteClipboard {
public:
    virtual ~PasteClipboard() = default;
    /// Empty where the clipboard can be read and set, else why not.
    virtual QString unavailableReason() const = 0;
    /// Whether a program owns the clipboard, and so should answer for its content.
    virtual bool hasOwner() = 0;
    /// A copy of every format; nothing when the clipboard is empty or its
    /// owner did not hand over its content in time.
    virtual std::unique_ptr<QMimeData> save() = 0;
    /// Offers `text`; `fetched` runs on the main thread, after this returned,
    /// whenever a window reads it. False when the clipboard could not be set.
    virtual bool setText(const QString &text, std::function<void()> fetched) = 0;
    /// Puts `saved` back, or empties the clipboard when there is nothing.
    virtual void restore(std::unique_ptr<QMimeData> saved) = 0;
    /// Whether content this program put there is still served by it: a
    /// program that exits takes such content with it.
    virtual bool holdsContent() const = 0;
};

/// The clipboard of Qt's platform, which is the desktop's only on X11 (xcb):
/// elsewhere it reports itself unavailable. `hasOwner` asks the display.
std::unique_ptr<PasteClipboard> makeQtPasteClipboard(std::function<bool()> hasOwner);

} // namespace Orvinta

#pragma once

#include "WaylandConnection.h"

#include <OrvintaInput/PasteClipboard.h>

#include <QStringList>

#include <chrono>
#include <map>

struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace Orvinta {

/// The clipboard of the seat through wlr-data-control, which a program may
/// read and set without having the focus (wlroots compositors, KWin).
class WaylandClipboard : public PasteClipboard {
public:
    WaylandClipboard(std::shared_ptr<WaylandConnection> connection, QString unavailableReason);
    ~WaylandClipboard() override;

    QString unavailableReason() const override;
    bool hasOwner() override { return m_selection != nullptr; }
    std::unique_ptr<QMimeData> save() override;
    bool setText(const QString &text, std::function<void()> fetched) override;
    /// Not over content another program set since the paste: that is newer.
    void restore(std::unique_ptr<QMimeData> saved) override;
    /// Not once the compositor is gone: nobody is left to ask for the content.
    bool holdsContent() const override {
        return m_source && m_connection->brokenReason().isEmpty();
    }

    /// The longest the clipboard's owner may take to hand over all its formats.
    static constexpr std::chrono::milliseconds readTimeout{1500};
    /// The longest a window may take to read what it asked for.
    static constexpr std::chrono::milliseconds writeTimeout{10000};

private:
    struct Source {
        zwlr_data_control_source_v1 *source = nullptr;
        std::shared_ptr<const QMimeData> content;
        /// Set for the pasted text: the window's read is noticed.
        std::function<void()> fetched;
    };

    void setSelection(std::shared_ptr<const QMimeData> content, std::function<void()> fetched);
    void send(zwlr_data_control_source_v1 *source, const char *type, int fd);
    void cancelled(zwlr_data_control_source_v1 *source);
    void offered(zwlr_data_control_offer_v1 *offer);
    void selected(zwlr_data_control_offer_v1 *offer);
    void finished();

    std::shared_ptr<WaylandConnection> m_connection;
    QString m_unavailable;
    zwlr_data_control_device_v1 *m_device = nullptr;
    /// Offers introduced by the compositor, with the types each announced.
    std::map<zwlr_data_control_offer_v1 *, QStringList> m_offers;
    zwlr_data_control_offer_v1 *m_selection = nullptr;
    /// What this program serves while it is the selection.
    std::unique_ptr<Source> m_source;
    /// Another program set the clipboard after the latest paste's text.
    bool m_replacedSincePaste = false;
};

} // namespace Orvinta

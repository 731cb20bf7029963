#pragma once

#include <OrvintaApp/Clipboard.h>

namespace Orvinta {

/// The CLIPBOARD selection through Qt. Without a GUI application (a
/// command-line run without a display) it does nothing and says so once.
class SystemClipboard : public Clipboard {
public:
    void clear() override;
    void writeText(const QString &text) override;
    std::optional<QString> readText() const override;
};

} // namespace Orvinta

#pragma once

#include <QString>

#include <optional>

namespace Orvinta {

/// The desktop clipboard; every write is preceded by a clear.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void clear() = 0;
    virtual void writeText(const QString &text) = 0;
    virtual std::optional<QString> readText() const = 0;
};

/// The CLIPBOARD selection through Qt. Without a GUI application (a
/// command-line run without a display) it does nothing and says so once.
class SystemClipboard : public Clipboard {
public:
    void clear() override;
    void writeText(const QString &text) override;
    std::optional<QString> readText() const override;
};

} // namespace Orvinta

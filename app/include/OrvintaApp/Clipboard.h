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

} // namespace Orvinta

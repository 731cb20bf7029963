#pragma once

#include <QQuickImageProvider>

namespace Orvinta {

/// Icons of the desktop's icon theme (Adwaita where the theme lacks one),
/// tinted with one colour: "image://overlayicon/<name>/<aarrggbb>". A name
/// no theme has gives an empty image, never a placeholder box.
class OverlayIconProvider : public QQuickImageProvider {
public:
    static constexpr const char *providerId = "overlayicon";

    OverlayIconProvider();
    QPixmap requestPixmap(const QString &id, QSize *size, const QSize &requestedSize) override;
};

} // namespace Orvinta

#include "OverlayIconProvider.h"

#include <QColor>
#include <QIcon>
#include <QLoggingCategory>
#include <QPainter>

Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

namespace Orvinta {

OverlayIconProvider::OverlayIconProvider()
    : QQuickImageProvider(QQuickImageProvider::Pixmap) {
    // Without a desktop theme Qt looks only in hicolor, which has no symbols.
    if (QIcon::fallbackThemeName().isEmpty() ||
        QIcon::fallbackThemeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

QPixmap OverlayIconProvider::requestPixmap(const QString &id, QSize *size,
                                           const QSize &requestedSize) {
    const qsizetype slash = id.lastIndexOf(QLatin1Char('/'));
    const QString name = slash < 0 ? id : id.left(slash);
    const QColor tint = slash < 0 ? QColor() : QColor(QLatin1Char('#') + id.mid(slash + 1));
    const QSize wanted =
        requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : QSize(16, 16);
    QPixmap pixmap(wanted);
    pixmap.fill(Qt::transparent);
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull()) {
        qCWarning(lcOverlay, "No icon named %s in the icon theme", qUtf8Printable(name));
    } else {
        QPainter painter(&pixmap);
        icon.paint(&painter, QRect(QPoint(0, 0), wanted));
        if (tint.isValid()) {
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(pixmap.rect(), tint);
        }
    }
    if (size)
        *size = wanted;
    return pixmap;
}

} // namespace Orvinta

#include "windows/AppImages.h"

#include <QPainter>
#include <QSvgRenderer>

namespace quillon {

QPixmap resourceImage(const QString &path, const QSize &size, qreal devicePixelRatio)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || size.isEmpty())
        return QPixmap();
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon applicationIcon()
{
    // Rendered here rather than through the SVG icon engine plugin, which a
    // minimal installation may lack. Not cached: pixmaps must not outlive the
    // application object.
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        const QPixmap p = resourceImage(kAppIconImage, QSize(side, side));
        if (!p.isNull())
            icon.addPixmap(p);
    }
    return icon;
}

} // namespace quillon

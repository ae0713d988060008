#pragma once
#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's own images, compiled in from resources/images (all SVG, so they
// stay sharp at any size and device pixel ratio).
namespace quillon {

// Application icon (window icon, About window, desktop entry).
inline const QString kAppIconImage = QStringLiteral(":/images/quillon-converter.svg");
// Edition 1 toolbar's About item ("user.png").
inline const QString kUserImage = QStringLiteral(":/images/user.svg");
// Empty file list picture, drawn in 220 x 211: drop1 while the window is the
// main window ("Drop1.pdf"), drop otherwise ("Drop.pdf").
inline const QString kDropActiveImage = QStringLiteral(":/images/drop1.svg");
inline const QString kDropInactiveImage = QStringLiteral(":/images/drop.svg");

// The application icon at the usual icon sizes, rendered from kAppIconImage.
QIcon applicationIcon();

// One resource image rendered at size (device-independent pixels); a null
// pixmap when the resource is missing or not a valid SVG.
QPixmap resourceImage(const QString &path, const QSize &size, qreal devicePixelRatio = 1.0);

} // namespace quillon

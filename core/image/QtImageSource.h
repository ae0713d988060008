#pragma once
#include "core/image/FormatSniffer.h"
#include "core/image/ImageSource.h"

class QImage;

namespace quillon::image::detail {

// BMP, JPEG, PNG and GIF pages, kept in their stored form (grey, 16-bit,
// palette, 1-bit, alpha) as far as a Page can carry it: through the direct
// decoders of RasterDecoders.h, and QImageReader for the variants they decline.
std::unique_ptr<ImageSource> openQtSource(const QString &path, FileFormat format, QString *error);

// Turns a decoded image into a page. `info` tells what the file stored (bit
// depth, PNG colour type, GIF colour table) where QImage has widened it.
bool pageFromImage(const QImage &image, const HeaderInfo &info, Page *out, QString *error);

} // namespace quillon::image::detail

#pragma once
#include "core/image/ImageSource.h"

namespace quillon::image::detail {

// TIFF pages through libtiff, in the stored layout where a Page can carry it.
std::unique_ptr<ImageSource> openTiffSource(const QString &path, QString *error);

// Number of directories, 0 when the file is not a readable TIFF.
int countTiffDirectories(const QString &path);

} // namespace quillon::image::detail

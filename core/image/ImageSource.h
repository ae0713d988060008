#pragma once
#include "core/image/Page.h"

#include <QString>
#include <memory>

namespace quillon::image {

// One source file opened for reading its pages. The format is recognised by the
// file's content, never by its name. Not thread-safe; use one per thread.
class ImageSource {
public:
    virtual ~ImageSource() = default;

    // Opens the file and reads its header(s). Returns nullptr, with a reason in
    // *error, when the file is not a readable BMP, JPEG, PNG, GIF, TIFF, HEIF,
    // AVIF, WebP or JPEG XL file.
    // Decodes no pixels.
    static std::unique_ptr<ImageSource> open(const QString &path, QString *error);

    // Number of pages (TIFF directories, HEIF top-level images; 1 for BMP,
    // JPEG, PNG, GIF, WebP and JPEG XL, whose page is the first frame).
    virtual int pageCount() const = 0;

    // Size in bytes that page `index` (0-based) takes once decoded, from its
    // header only; 0 when unknown. Used to choose BigTIFF ahead of writing.
    virtual quint64 decodedSize(int index) const = 0;

    // Decodes page `index` (0-based). Returns false, with a reason, when the
    // page is missing, corrupt, truncated or larger than kMaxDecodedPageBytes.
    // Orientation is applied (JPEG and WebP EXIF, HEIF transformations, JPEG XL
    // headers), so pages come out upright; TIFF pages
    // keep their stored rows and report their Orientation tag instead.
    virtual bool readPage(int index, Page *out, QString *error) = 0;

    // Applies to the readPage calls that follow.
    void setReadOptions(const ReadOptions &options) { m_readOptions = options; }
    const ReadOptions &readOptions() const { return m_readOptions; }

protected:
    ReadOptions m_readOptions;
};

// Number of images in the file without decoding any: TIFF directory count, GIF,
// WebP and JPEG XL frame count, HEIF top-level image count, 1 for a JPEG, PNG
// or BMP recognised by its signature, 0 for anything else (missing file, not
// an image).
int countImages(const QString &path);

} // namespace quillon::image

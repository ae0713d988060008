#pragma once
// Sources for the formats read through their own libraries: HEIF and AVIF
// (libheif), WebP (libwebp) and JPEG XL (libjxl). Each page comes out upright
// (orientation 1), with its alpha, its ICC profile, samples deeper than 8 bits
// as 16-bit ones scaled to full range, and the file's EXIF and XMP blocks.
// Every open checks the declared size against kMaxDecodedPageBytes before
// anything is decoded.
#include "core/image/FormatSniffer.h"
#include "core/image/ImageSource.h"

#include <QByteArray>

namespace quillon::image::detail {

// Each top-level image of a HEIF file is a page.
std::unique_ptr<ImageSource> openHeifSource(const QString &path, QString *error);
// One page: a still image, or an animation's first frame on its canvas.
std::unique_ptr<ImageSource> openWebpSource(const QString &path, QString *error);
std::unique_ptr<ImageSource> openJxlSource(const QString &path, QString *error);

// A file of one page, mapped anew for each read.
class SinglePageSource : public ImageSource {
public:
    SinglePageSource(const QString &path, quint64 pageBytes) : m_path(path), m_pageBytes(pageBytes) {}
    int pageCount() const override { return 1; }
    quint64 decodedSize(int index) const override { return index == 0 ? m_pageBytes : 0; }
    bool readPage(int index, Page *out, QString *error) override
    {
        if (index != 0) {
            *error = QStringLiteral("page %1 does not exist").arg(index + 1);
            return false;
        }
        const FileBytes file(m_path);
        if (!file.isOpen()) {
            *error = file.errorString();
            return false;
        }
        return decode(file, out, error);
    }

protected:
    virtual bool decode(const FileBytes &file, Page *out, QString *error) = 0;
    const QString &path() const { return m_path; }

private:
    QString m_path;
    quint64 m_pageBytes;
};

// Image counts read from the headers alone, 0 for a file the library refuses:
// top-level images of a HEIF file, frames of a WebP or JPEG XL animation (as
// for GIF: the count shows, the page is the first frame).
int countHeifImages(const QString &path);
int countWebpFrames(const QString &path);
int countJxlFrames(const QString &path);

// An EXIF block as a TIFF stream: a leading "Exif\0\0" is dropped; empty when
// what remains does not start with a TIFF header.
QByteArray exifTiffStream(const QByteArray &block);
// Orientation (1..8) of the first IFD of a TIFF stream; 0 when it has none.
int exifStreamOrientation(const QByteArray &tiff);
// Scales samples of `bits` (9..16) significant bits to the full 16-bit range,
// in place; every distinct value stays distinct.
void widenTo16(quint16 *samples, size_t count, int bits);

} // namespace quillon::image::detail

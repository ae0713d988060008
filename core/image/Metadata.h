#pragma once
// EXIF, XMP and IPTC blocks: found in JPEG, PNG and TIFF sources, checked,
// and laid out again as the EXIF and GPS directories of an output page.
#include "core/image/Page.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace quillon::image {

// Leaves out of `page` each metadata block that is damaged (an EXIF stream
// that does not parse, an XMP packet that is not XML text, an IPTC record
// that does not start as one) and returns one line per block left out.
QStringList checkMetadata(Page *page);

namespace detail {

// One directory entry as stored: the value's bytes in the stream's byte order.
struct TiffEntry {
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    QByteArray value;
};

// The parts of an EXIF stream that are carried: from its first directory
// the descriptive text tags (make, model, date, artist, copyright, ...),
// then the EXIF, GPS and interoperability directories. Thumbnails, maker
// notes and orientation are never part of it.
struct ExifTree {
    bool bigEndian = false;
    std::vector<TiffEntry> main;
    std::vector<TiffEntry> exif;
    std::vector<TiffEntry> gps;
    std::vector<TiffEntry> interop;
    bool isEmpty() const { return main.empty() && exif.empty() && gps.empty(); }
};

// Reads `size` bytes at `offset` of a TIFF stream or file; fewer (or none)
// where it ends.
using ReadAt = std::function<QByteArray(quint64 offset, quint64 size)>;

// Parses a TIFF stream (byte-order mark first). False, with a reason, when
// its header or first directory is damaged; entries whose values lie
// outside the stream are left out and counted in *dropped.
bool parseExif(const QByteArray &stream, ExifTree *out, QString *why, int *dropped = nullptr);

// The same from a TIFF file's directory at `ifdOffset` (any page of it,
// classic or BigTIFF): what a TIFF source carries. Also returns the
// directory's XMP and IPTC blocks as stored.
bool readTiffMetadata(const ReadAt &read, quint64 ifdOffset, ExifTree *tree, QByteArray *xmp, QByteArray *iptc,
                      QString *why);

// A classic little- or big-endian TIFF stream holding the tree.
QByteArray exifStream(const ExifTree &tree);

// The EXIF directory (with its interoperability directory) and the GPS
// directory laid out to stand at file offset `at` of a TIFF of the given
// form, values in its byte order; empty when the tree has none.
QByteArray exifDirectoryBlock(const ExifTree &tree, quint64 at, bool bigTiff, bool bigEndian);
QByteArray gpsDirectoryBlock(const ExifTree &tree, quint64 at, bool bigTiff, bool bigEndian);

// Sets the EXIF pixel dimensions, where the tree has them, to the page's.
void setPixelDimensions(ExifTree *tree, quint32 width, quint32 height);

// The text of a first-directory entry (up to its first NUL).
QByteArray entryText(const TiffEntry &entry);

// The XMP packet with its tiff:Orientation (if any) set to `orientation`.
QByteArray xmpWithOrientation(const QByteArray &xmp, int orientation);

// Metadata of a JPEG (APP1 EXIF and XMP, APP13 IPTC) or PNG (eXIf, iTXt
// XMP) file's bytes into the page's exif, xmp and iptc.
void readJpegMetadata(const uchar *p, qint64 n, Page *page);
void readPngMetadata(const uchar *p, qint64 n, Page *page);

} // namespace detail

} // namespace quillon::image

#pragma once
// Recognises image files by their first bytes and walks the block structure of
// PNG, JPEG, BMP and GIF files without decoding any pixels: enough to learn
// the size, the stored form, resolution and whether the file is complete.
#include <QByteArray>
#include <QFile>
#include <QRgb>
#include <QString>

#include <vector>

namespace quillon::image::detail {

enum class FileFormat { Unknown, Tiff, Png, Jpeg, Bmp, Gif, Heif, Webp, Jxl };

// Needs the file's first 32 bytes (fewer give Unknown where they don't suffice).
FileFormat sniffFormat(const QByteArray &head);
FileFormat sniffFile(const QString &path);
const char *qtFormatName(FileFormat format);

struct HeaderInfo {
    FileFormat format = FileFormat::Unknown;
    quint32 width = 0;
    quint32 height = 0;
    int bitDepth = 0;       // PNG bit depth, BMP bits per pixel, GIF colour-table bits
    int pngColorType = -1;  // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
    bool transparency = false; // PNG tRNS, GIF transparent index, BMP alpha mask
    int jpegComponents = 0;
    float xResolution = 0;  // 0 when the file states none
    float yResolution = 0;
    quint16 resolutionUnit = 2;
    bool embeddedIcc = false;
    std::vector<QRgb> palette; // colour table as stored: GIF first frame's (local, else global),
                               // BMP's; black, white for 1-bit grey PNG
    int gifFrames = 0;            // complete frames (only counted when asked)
    bool missingEnd = false;      // JPEG without EOI or PNG without IEND whose image data was
                                  // checked complete
};

// A file's bytes, mapped into memory where the system allows, else read.
class FileBytes {
public:
    explicit FileBytes(const QString &path);
    bool isOpen() const { return m_data != nullptr; }
    const uchar *data() const { return m_data; }
    qint64 size() const { return m_size; }
    const QString &errorString() const { return m_error; }

private:
    QFile m_file;
    QByteArray m_copy;
    const uchar *m_data = nullptr;
    qint64 m_size = 0;
    QString m_error;
};

// Walks the whole file (PNG chunks, JPEG segments and entropy data, BMP headers,
// GIF blocks). Returns false, with a reason, for a corrupt or truncated file.
// A JPEG without its EOI marker or a PNG without its IEND chunk passes (with
// missingEnd set) when its image data is all there; that is checked by
// decoding the entropy data, so it costs a decode, but only for such files.
// countGifFrames: go on past the first GIF frame and count them all; a
// damaged tail after whole frames still fails, but gifFrames keeps the count.
bool readHeader(const QString &path, FileFormat format, HeaderInfo *info, QString *error,
                bool countGifFrames = false);
bool readHeader(const uchar *p, qint64 n, FileFormat format, HeaderInfo *info, QString *error,
                bool countGifFrames = false);

} // namespace quillon::image::detail

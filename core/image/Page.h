#pragma once
#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <vector>

namespace quillon {
class WorkPool;
}

namespace quillon::image {

// How a page's samples are to be read (the TIFF photometric interpretations we keep).
enum class Photometric { MinIsWhite, MinIsBlack, RGB, Palette, Separated };

// One decoded page, kept in the form closest to its source so that lossless
// output loses nothing: bit depth, palette, grey, alpha, 16-bit samples,
// resolution and ICC profile.
struct Page {
    quint32 width = 0;
    quint32 height = 0;
    quint16 bitsPerSample = 8;   // 1, 2, 4, 8 or 16
    quint16 samplesPerPixel = 3; // colour samples plus extraSamples
    quint16 extraSamples = 0;    // 0, or 1 for an alpha channel (the last sample)
    bool alphaAssociated = false; // premultiplied alpha
    Photometric photometric = Photometric::RGB;
    std::vector<quint16> colormap; // Palette only: 3 * (1 << bitsPerSample) entries, reds, greens, blues
    std::vector<quint8> pixels;    // top-down rows, contiguous samples, each row bytesPerRow() bytes;
                                   // 16-bit samples in host byte order
    float xResolution = 0;         // 0 when the source has none
    float yResolution = 0;
    quint16 resolutionUnit = 2;    // TIFF ResolutionUnit: 1 none, 2 inch, 3 centimetre
    QByteArray iccProfile;
    quint16 orientation = 1;       // TIFF Orientation of the rows as stored (1 = top-left); kept, not applied

    // Metadata blocks as found in the source, carried to the output only when
    // the run keeps metadata; empty when the source has none. `exif` is a TIFF
    // stream (byte-order mark first, no "Exif\0\0" prefix), `xmp` an XMP
    // packet, `iptc` an IPTC-IIM record. An orientation inside `exif` is not
    // trusted: the writer makes it agree with `orientation`, so a page whose
    // rows were already turned upright is never turned twice by a viewer.
    QByteArray exif;
    QByteArray xmp;
    QByteArray iptc;

    // A page passed through still coded: when a source page is already stored
    // with the compression the output asks for, its strips are copied as they
    // are and `pixels` stays empty. 0 = not encoded.
    int encodedCompression = 0;
    quint32 encodedRowsPerStrip = 0;
    std::vector<std::vector<quint8>> encodedStrips;

    // Sets the layout fields (no colour map, unassociated alpha); pixels untouched.
    void setLayout(quint32 w, quint32 h, quint16 bits, quint16 spp, quint16 extra, Photometric ph)
    {
        width = w;
        height = h;
        bitsPerSample = bits;
        samplesPerPixel = spp;
        extraSamples = extra;
        alphaAssociated = false;
        photometric = ph;
        colormap.clear();
    }

    quint64 bytesPerRow() const { return (quint64(width) * samplesPerPixel * bitsPerSample + 7) / 8; }
    quint64 byteCount() const { return bytesPerRow() * height; }
};

// What the reader of a page is going to do with it, so a decoder can take a
// shorter road that gives the same output.
struct ReadOptions {
    // TIFF Compression tag value of the output (1 none, 3 G3, 4 G4, 5 LZW, 7 JPEG, 8 Deflate,
    // 32773 PackBits, 50000 Zstandard).
    // For 3 and 4 the page ends bilevel: a grey decode is enough, and a source
    // page stored with the same coding may be handed over still encoded.
    int outputCompression = 1;
    // Fill Page::exif, xmp and iptc (left empty otherwise).
    bool keepMetadata = false;
    // Threads a decoder may hand parts of one page to (not owned; may be null).
    WorkPool *pool = nullptr;
    bool bilevelOutput() const { return outputCompression == 3 || outputCompression == 4; }
};

// Pages whose decoded form would exceed this are refused (decompression bombs).
inline constexpr quint64 kMaxDecodedPageBytes = quint64(2) << 30; // 2 GiB

} // namespace quillon::image

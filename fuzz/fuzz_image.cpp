// One decoder per target (QUILLON_FUZZ_FORMAT 1 BMP, 2 JPEG, 3 PNG, 4 GIF, 5 TIFF,
// 6 HEIF/AVIF, 7 WebP, 8 JPEG XL):
// the input gets that format's signature, then is opened, its images counted
// and every page decoded and handed to the writer (never saved), as adding and
// converting a file does.
#include "core/image/ImageSource.h"
#include "core/image/TiffWriter.h"
#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

using namespace quillon;

namespace {

std::vector<uint8_t> withSignature(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    auto ensure = [&](const char *magic, size_t n) {
        if (bytes.size() < n)
            bytes.resize(n, 0);
        std::memcpy(bytes.data(), magic, n);
    };
#if QUILLON_FUZZ_FORMAT == 1
    ensure("BM", 2);
#elif QUILLON_FUZZ_FORMAT == 2
    ensure("\xff\xd8\xff", 3);
#elif QUILLON_FUZZ_FORMAT == 3
    ensure("\x89PNG\r\n\x1a\n", 8);
#elif QUILLON_FUZZ_FORMAT == 4
    if (bytes.size() < 6 || (std::memcmp(bytes.data(), "GIF87a", 6) != 0 && std::memcmp(bytes.data(), "GIF89a", 6) != 0))
        ensure("GIF89a", 6);
#elif QUILLON_FUZZ_FORMAT == 5
    // Either byte order, classic or BigTIFF.
    if (bytes.size() < 4 || !(std::memcmp(bytes.data(), "II", 2) == 0 || std::memcmp(bytes.data(), "MM", 2) == 0))
        ensure("II*\0", 4);
#elif QUILLON_FUZZ_FORMAT == 6
    // A file type box naming a HEIF brand; the rest as it comes.
    if (bytes.size() < 12 || std::memcmp(bytes.data() + 4, "ftyp", 4) != 0) {
        static const uint8_t ftyp[] = {0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0,
                                       'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'};
        bytes.insert(bytes.begin(), ftyp, ftyp + sizeof ftyp);
    }
#elif QUILLON_FUZZ_FORMAT == 7
    if (bytes.size() < 12)
        bytes.resize(12, 0);
    std::memcpy(bytes.data(), "RIFF", 4);
    std::memcpy(bytes.data() + 8, "WEBP", 4);
#elif QUILLON_FUZZ_FORMAT == 8
    // Either the bare codestream or the container.
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "\0\0\0\x0cJXL \r\n\x87\n", 12) != 0)
        ensure("\xff\x0a", 2);
#else
#error QUILLON_FUZZ_FORMAT must name a format
#endif
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication();
    static QTemporaryDir out;
    const std::vector<uint8_t> bytes = withSignature(data, size);
    fuzz::MemoryFile file(bytes.data(), bytes.size());
    (void)image::countImages(file.path());
    QString error;
    auto source = image::ImageSource::open(file.path(), &error);
    if (!source)
        return 0;
    const int pages = source->pageCount();
    // Both read modes: plain pages, and pages meant for a CCITT output.
    for (int compression : {1, 4}) {
        image::ReadOptions options;
        options.outputCompression = compression;
        source->setReadOptions(options);
        for (int i = 0; i < pages && i < 64; ++i) {
            // Large pages decode by the same code as small ones, only slower:
            // skipped, so the time goes to new paths (a GIF of 46 bytes can ask
            // for a 10000 x 1500 canvas, decoded, converted and encoded twice).
            if (source->decodedSize(i) > (quint64(4) << 20))
                continue;
            image::Page page;
            if (!source->readPage(i, &page, &error))
                continue;
            if (!page.encodedCompression && page.pixels.size() < page.byteCount())
                abort(); // a page that claims more rows than it holds
            image::TiffWriter writer(out.filePath(QStringLiteral("page.tif")), compression);
            (void)writer.addPage(page, &error);
        }
    }
    return 0;
}

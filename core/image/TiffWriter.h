#pragma once
#include "core/image/Page.h"

#include <QString>
#include <memory>

namespace quillon::image {

// Writes pages one at a time into a TIFF. Nothing stands under the target
// name until commit(): pages go to a temporary file in the target's folder,
// which commit() renames over the target. A writer destroyed without commit
// removes its temporary file. Not thread-safe.
class TiffWriter {
public:
    // compression: TIFF Compression tag value, 1 none, 3 CCITT G3, 4 CCITT G4,
    // 5 LZW, 32773 PackBits (anything else is written as 1).
    // bigTiff: write BigTIFF (for outputs that may pass 4 GiB).
    TiffWriter(const QString &targetPath, int compression, bool bigTiff = false);
    ~TiffWriter();
    TiffWriter(const TiffWriter &) = delete;
    TiffWriter &operator=(const TiffWriter &) = delete;

    // Appends one page. The first call creates the temporary file. CCITT
    // compressions turn non-bilevel pages into 1-bit pages first. After a
    // failure the writer stays failed and later calls return false.
    bool addPage(const Page &page, QString *error);

    int pageCount() const;

    // Finishes the file and moves it over the target. Returns false (target
    // untouched, temporary file removed) on any failure or when no page was added.
    bool commit(QString *error);

    // Drops the temporary file; the writer is finished and later calls fail.
    void abort();

    // Outputs whose decoded pages total more than this are written as BigTIFF.
    static constexpr quint64 kBigTiffThreshold = quint64(3800) << 20;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillon::image

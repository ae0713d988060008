#pragma once
#include "core/image/Bilevel.h"
#include "core/image/Compression.h"
#include "core/image/Page.h"

#include <QString>

#include <functional>
#include <memory>

namespace quillon {
class WorkPool;
}

namespace quillon::image {

// Writes pages one at a time into a TIFF. Nothing stands under the target
// name until commit(): pages go to a temporary file in the target's folder,
// which commit() renames over the target. A writer destroyed without commit
// removes its temporary file. One thread drives a writer; with a pool, the
// strips of a page are coded on the pool's threads.
class TiffWriter {
public:
    // compression: TIFF Compression tag value, 1 none, 3 CCITT G3, 4 CCITT G4,
    // 5 LZW, 7 JPEG, 8 Deflate, 32773 PackBits, 50000 Zstandard, or
    // kAutomatic (anything else is written as 1). LZW, Deflate and Zstandard
    // use the horizontal predictor on 8- and 16-bit pages that have no
    // palette. JPEG codes 8-bit RGB as YCbCr 4:2:0, grey and CMYK as they
    // are (16-bit samples reduced to 8); palette, 1/2/4-bit and alpha pages
    // go in as Deflate, which each page's Compression tag says.
    // bigTiff: write BigTIFF (for outputs that may pass 4 GiB).
    // pool: codes strips in parallel and lets queuePage return before its page
    // is written; not owned, must outlive the writer. Without one, everything
    // happens on the calling thread.
    TiffWriter(const QString &targetPath, int compression, bool bigTiff = false, WorkPool *pool = nullptr);
    ~TiffWriter();
    TiffWriter(const TiffWriter &) = delete;
    TiffWriter &operator=(const TiffWriter &) = delete;

    // Chooses per page: CCITT G4 for pages that are already black and white
    // (1-bit, or exactly two grey levels, see detail::twoLevelsToBilevel), LZW
    // with the predictor for any other page. Each page's Compression tag says which.
    static constexpr int kAutomatic = 1 << 20; // beyond any Compression tag value

    // How CCITT pages that are not bilevel are made black and white; set
    // before the first page (default: BilevelOptions::Auto).
    void setBilevelOptions(const BilevelOptions &options);

    // Computes the SHA-256 of the file from the bytes as they are written
    // (set before the first page). The writer then keeps the coded bytes of
    // the page after the last finished directory until the next one is done.
    void setChecksum(bool on);
    // After a successful commit with setChecksum: lower-case hex; else empty.
    QString sha256() const;
    // Level (Deflate, Zstandard) and quality (JPEG); set before the first page.
    void setCodingOptions(const CodingOptions &options);

    // False: commit() never replaces a file that stands under the target
    // name, not even one made after the writer started (default true).
    void setReplaceExisting(bool replace);
    // After a commit() that found the target name taken (with replacing
    // off): true, and the finished file waits for another name.
    bool targetExists() const;
    // A new name in the same folder for a file that waits; commit() again.
    void setTargetPath(const QString &targetPath);

    // Appends one page. The first call creates the temporary file. CCITT
    // compressions turn non-bilevel pages into 1-bit pages first. After a
    // failure the writer stays failed and later calls return false.
    bool addPage(const Page &page, QString *error);

    // Called with the page's 1-based place in the file, or ok false and why.
    using PageDone = std::function<void(bool ok, int pageNumber, const QString &error)>;
    // Like addPage, but with a pool the page's strips are coded while the
    // caller goes on (decoding the next page). At most one page is in work:
    // the next queuePage or commit first finishes it. `done` runs on the
    // calling thread, inside this call or a later queuePage/commit/abort.
    // A page handed over still coded (Page::encodedCompression equal to the
    // writer's compression) is copied strip by strip.
    void queuePage(Page &&page, PageDone done);

    // Finishes the queued page (its `done` runs), so the writer holds no page
    // until the next queuePage.
    void finishQueued();

    // Pages written so far (a queued page counts once it is written).
    int pageCount() const;

    // Finishes the file and moves it over the target. Returns false (target
    // untouched, temporary file removed) on any failure or when no page was
    // added, and false with targetExists() when replacing is off and the name
    // is taken (the temporary file kept; abort() drops it).
    // flushFolder false: see SafeOutputFile::commit (the caller flushes the folder).
    bool commit(QString *error, bool flushFolder = true);

    // The first steps of commit, for callers that flush many files together:
    // finish() completes the file (its queued page and directory), flush()
    // then puts its data on disk. Both may be called again; commit() skips
    // what they did. False (the writer failed) with the reason.
    bool finish(QString *error);
    bool flush(QString *error);
    // The temporary file's descriptor (owned by the writer), -1 when there is none.
    int fileHandle() const;
    // See SafeOutputFile: its folder's descriptor, open order, and setFlushed().
    int folderHandle() const;
    quint64 openOrder() const;
    void setFlushed();

    // Drops the temporary file; the writer is finished and later calls fail.
    void abort();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillon::image

#include "core/image/Metadata.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace quillon::image {

namespace detail {

namespace {

// Bounds for hostile streams: far above what cameras and editors write.
constexpr quint64 kMaxEntries = 1000;
constexpr quint64 kMaxValueBytes = quint64(1) << 20;
constexpr qsizetype kMaxInflated = qsizetype(16) << 20;

constexpr quint16 kExifPointer = 34665;
constexpr quint16 kGpsPointer = 34853;
constexpr quint16 kInteropPointer = 40965;
constexpr quint16 kMakerNote = 37500;
constexpr quint16 kXmpTag = 700;
constexpr quint16 kIptcTag = 33723;
constexpr quint16 kPixelXDimension = 40962;
constexpr quint16 kPixelYDimension = 40963;

// Descriptive text of the first directory that belongs to the picture, not
// to the stream it came in.
constexpr quint16 kTextTags[] = {270, 271, 272, 305, 306, 315, 316, 33432};

int typeSize(quint16 type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: case 18: return 8;
    default: return 0;
    }
}

// Unit a value is byte-swapped in (rationals are two 4-byte halves).
int swapUnit(quint16 type)
{
    return type == 5 || type == 10 ? 4 : typeSize(type);
}

bool isPointerType(quint16 type)
{
    return type == 13 || type == 16 || type == 17 || type == 18;
}

quint64 readUInt(const uchar *p, int bytes, bool bigEndian)
{
    quint64 v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= quint64(p[bigEndian ? i : bytes - 1 - i]) << (8 * (bytes - 1 - i));
    return v;
}

void putUInt(QByteArray *out, quint64 v, int bytes, bool bigEndian)
{
    for (int i = 0; i < bytes; ++i) {
        const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
        out->append(char((v >> shift) & 0xff));
    }
}

QByteArray inOrder(const TiffEntry &e, bool from, bool to)
{
    QByteArray v = e.value;
    const int unit = swapUnit(e.type);
    if (from == to || unit < 2)
        return v;
    for (qsizetype i = 0; i + unit <= v.size(); i += unit)
        std::reverse(v.begin() + i, v.begin() + i + unit);
    return v;
}

struct Stream {
    ReadAt read;
    bool bigEndian = false;
    bool bigTiff = false;
};

bool readHeader(Stream *s, quint64 *firstIfd, QString *why)
{
    const QByteArray h = s->read(0, 16);
    const auto *p = reinterpret_cast<const uchar *>(h.constData());
    if (h.size() < 8 || !((p[0] == 'I' && p[1] == 'I') || (p[0] == 'M' && p[1] == 'M'))) {
        *why = QStringLiteral("no TIFF header");
        return false;
    }
    s->bigEndian = p[0] == 'M';
    const quint64 magic = readUInt(p + 2, 2, s->bigEndian);
    if (magic == 43 && h.size() >= 16) {
        s->bigTiff = true;
        *firstIfd = readUInt(p + 8, 8, s->bigEndian);
    } else if (magic == 42) {
        *firstIfd = readUInt(p + 4, 4, s->bigEndian);
    } else {
        *why = QStringLiteral("no TIFF header");
        return false;
    }
    return true;
}

// One directory's entries; false when the directory itself is damaged.
bool readDirectory(const Stream &s, quint64 offset, std::vector<TiffEntry> *out, int *dropped, QString *why)
{
    const int countBytes = s.bigTiff ? 8 : 2;
    const int entryBytes = s.bigTiff ? 20 : 12;
    const int inlineBytes = s.bigTiff ? 8 : 4;
    const QByteArray head = s.read(offset, quint64(countBytes));
    if (offset < 8 || head.size() != countBytes) {
        *why = QStringLiteral("directory outside the block");
        return false;
    }
    const quint64 n = readUInt(reinterpret_cast<const uchar *>(head.constData()), countBytes, s.bigEndian);
    if (n == 0 || n > kMaxEntries) {
        *why = QStringLiteral("directory of %1 entries").arg(n);
        return false;
    }
    const QByteArray body = s.read(offset + quint64(countBytes), n * quint64(entryBytes));
    if (quint64(body.size()) != n * quint64(entryBytes)) {
        *why = QStringLiteral("directory cut short");
        return false;
    }
    for (quint64 i = 0; i < n; ++i) {
        const auto *e = reinterpret_cast<const uchar *>(body.constData()) + i * quint64(entryBytes);
        TiffEntry entry;
        entry.tag = quint16(readUInt(e, 2, s.bigEndian));
        entry.type = quint16(readUInt(e + 2, 2, s.bigEndian));
        const quint64 count = readUInt(e + 4, s.bigTiff ? 8 : 4, s.bigEndian);
        const int size = typeSize(entry.type);
        const uchar *field = e + (s.bigTiff ? 12 : 8);
        if (!size || count == 0 || count > kMaxValueBytes / quint64(size)) {
            ++*dropped;
            continue;
        }
        entry.count = quint32(count);
        const quint64 bytes = count * quint64(size);
        if (bytes <= quint64(inlineBytes)) {
            entry.value = QByteArray(reinterpret_cast<const char *>(field), qsizetype(bytes));
        } else {
            entry.value = s.read(readUInt(field, inlineBytes, s.bigEndian), bytes);
            if (quint64(entry.value.size()) != bytes) {
                ++*dropped;
                continue;
            }
        }
        out->push_back(std::move(entry));
    }
    return true;
}

quint64 pointerOf(const TiffEntry &e, bool bigEndian)
{
    const int size = typeSize(e.type);
    if (e.count != 1 || (size != 4 && size != 8) || e.type == 5 || e.type == 10 || e.type == 12 || e.type == 11)
        return 0;
    return readUInt(reinterpret_cast<const uchar *>(e.value.constData()), size, bigEndian);
}

// Reads a sub-directory; a damaged one is left out and counted.
void readChild(const Stream &s, quint64 offset, std::vector<TiffEntry> *out, int *dropped)
{
    QString ignored;
    std::vector<TiffEntry> entries;
    if (!offset || !readDirectory(s, offset, &entries, dropped, &ignored)) {
        if (offset)
            ++*dropped;
        return;
    }
    // Offsets inside these values would point into the source, not here.
    for (TiffEntry &e : entries)
        if (!isPointerType(e.type) && e.tag != kMakerNote && e.tag != kInteropPointer)
            out->push_back(std::move(e));
}

// Fills the tree from a first directory's entries (and what they point to).
void takeDirectory(const Stream &s, std::vector<TiffEntry> &entries, ExifTree *tree, int *dropped)
{
    tree->bigEndian = s.bigEndian;
    for (TiffEntry &e : entries) {
        if (e.tag == kExifPointer) {
            const quint64 at = pointerOf(e, s.bigEndian);
            readChild(s, at, &tree->exif, dropped);
            // The interoperability directory hangs off the EXIF one.
            std::vector<TiffEntry> raw;
            QString ignored;
            int ignoredCount = 0;
            if (at && readDirectory(s, at, &raw, &ignoredCount, &ignored))
                for (const TiffEntry &x : raw)
                    if (x.tag == kInteropPointer)
                        readChild(s, pointerOf(x, s.bigEndian), &tree->interop, dropped);
        } else if (e.tag == kGpsPointer) {
            readChild(s, pointerOf(e, s.bigEndian), &tree->gps, dropped);
        } else if (e.type == 2 && std::find(std::begin(kTextTags), std::end(kTextTags), e.tag) != std::end(kTextTags)) {
            tree->main.push_back(std::move(e));
        }
    }
}

ReadAt bufferReader(const QByteArray &data)
{
    return [data](quint64 offset, quint64 size) {
        if (offset >= quint64(data.size()))
            return QByteArray();
        return data.mid(qsizetype(offset), qsizetype(std::min<quint64>(size, quint64(data.size()) - offset)));
    };
}

struct Directory {
    const std::vector<TiffEntry> *entries = nullptr;
    std::vector<std::pair<quint16, Directory>> children;
};

quint64 even(quint64 v)
{
    return (v + 1) & ~quint64(1);
}

// Lays out a directory at `at`, its long values after it, then its children.
QByteArray layOut(const Directory &dir, bool sourceBigEndian, quint64 at, bool bigTiff, bool bigEndian)
{
    const int countBytes = bigTiff ? 8 : 2;
    const int entryBytes = bigTiff ? 20 : 12;
    const int inlineBytes = bigTiff ? 8 : 4;
    struct Slot {
        quint16 tag, type;
        quint64 count;
        QByteArray value; // in output order
        quint64 offset = 0;
    };
    std::vector<Slot> items;
    for (const TiffEntry &e : *dir.entries)
        items.push_back({e.tag, e.type, e.count, inOrder(e, sourceBigEndian, bigEndian)});
    for (const auto &[tag, child] : dir.children)
        if (!child.entries->empty())
            items.push_back({tag, quint16(bigTiff ? 18 : 13), 1, {}});
    std::sort(items.begin(), items.end(), [](const Slot &a, const Slot &b) { return a.tag < b.tag; });
    items.erase(std::unique(items.begin(), items.end(), [](const Slot &a, const Slot &b) { return a.tag == b.tag; }),
                items.end());

    // Long values, then the children, each on an even offset after the directory.
    std::vector<std::pair<quint64, QByteArray>> pieces;
    quint64 cursor = at + quint64(countBytes) + items.size() * quint64(entryBytes) + quint64(inlineBytes);
    for (Slot &slot : items) {
        if (slot.value.size() > inlineBytes) {
            cursor = even(cursor);
            slot.offset = cursor;
            pieces.emplace_back(cursor, slot.value);
            cursor += quint64(slot.value.size());
        }
    }
    for (const auto &[tag, child] : dir.children) {
        if (child.entries->empty())
            continue;
        cursor = even(cursor);
        QByteArray block = layOut(child, sourceBigEndian, cursor, bigTiff, bigEndian);
        for (Slot &slot : items)
            if (slot.tag == tag && slot.value.isEmpty())
                slot.offset = cursor;
        const quint64 size = quint64(block.size());
        pieces.emplace_back(cursor, std::move(block));
        cursor += size;
    }

    QByteArray out;
    putUInt(&out, items.size(), countBytes, bigEndian);
    for (const Slot &slot : items) {
        putUInt(&out, slot.tag, 2, bigEndian);
        putUInt(&out, slot.type, 2, bigEndian);
        putUInt(&out, slot.count, bigTiff ? 8 : 4, bigEndian);
        if (slot.value.isEmpty() || slot.value.size() > inlineBytes) {
            putUInt(&out, slot.offset, inlineBytes, bigEndian);
        } else {
            out.append(slot.value);
            out.append(QByteArray(inlineBytes - slot.value.size(), '\0'));
        }
    }
    putUInt(&out, 0, inlineBytes, bigEndian); // no next directory
    for (const auto &[offset, bytes] : pieces) {
        out.append(QByteArray(qsizetype(offset - (at + quint64(out.size()))), '\0'));
        out.append(bytes);
    }
    return out;
}

// Photoshop image resources: the IPTC record is resource 0x0404.
QByteArray iptcFromResources(const QByteArray &irb)
{
    const auto *p = reinterpret_cast<const uchar *>(irb.constData());
    const qint64 n = irb.size();
    qint64 pos = 0;
    while (n - pos >= 12 && std::memcmp(p + pos, "8BIM", 4) == 0) {
        const quint16 id = quint16(readUInt(p + pos + 4, 2, true));
        qint64 at = pos + 6;
        const qint64 nameBytes = (1 + qint64(p[at]) + 1) & ~qint64(1);
        at += nameBytes;
        if (n - at < 4)
            break;
        const qint64 size = qint64(readUInt(p + at, 4, true));
        at += 4;
        if (size > n - at)
            break;
        if (id == 0x0404)
            return irb.mid(qsizetype(at), qsizetype(size));
        pos = at + ((size + 1) & ~qint64(1));
    }
    return {};
}

bool inflateText(const QByteArray &in, QByteArray *out)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    int rc = Z_OK;
    out->clear();
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef *>(buffer.data());
        z.avail_out = uInt(buffer.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out->append(buffer.constData(), buffer.size() - qsizetype(z.avail_out));
        if (out->size() > kMaxInflated)
            rc = Z_DATA_ERROR;
        if (rc == Z_BUF_ERROR && z.avail_in == 0)
            break;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

bool iptcValid(const QByteArray &iptc)
{
    const auto *p = reinterpret_cast<const uchar *>(iptc.constData());
    const qint64 n = iptc.size();
    qint64 pos = 0;
    int datasets = 0;
    while (pos < n && p[pos] == 0x1c) {
        if (n - pos < 5)
            return false;
        qint64 len = qint64(readUInt(p + pos + 3, 2, true));
        qint64 at = pos + 5;
        if (len & 0x8000) { // extended length: the next (len & 0x7fff) bytes hold it
            const int bytes = int(len & 0x7fff);
            if (bytes > 4 || n - at < bytes)
                return false;
            len = qint64(readUInt(p + at, bytes, true));
            at += bytes;
        }
        if (len > n - at)
            return false;
        pos = at + len;
        ++datasets;
    }
    // Writers pad the record (to 4 bytes in TIFF); nothing else may follow.
    while (pos < n && p[pos] == 0)
        ++pos;
    return datasets > 0 && pos == n;
}

bool xmpValid(const QByteArray &xmp)
{
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(xmp);
    if (decoder.hasError() || (!text.contains(QLatin1String("x:xmpmeta")) && !text.contains(QLatin1String("rdf:RDF"))))
        return false;
    QXmlStreamReader xml(text);
    while (!xml.atEnd())
        xml.readNext();
    return !xml.hasError() || xml.error() == QXmlStreamReader::PrematureEndOfDocumentError;
}

} // namespace

bool parseExif(const QByteArray &stream, ExifTree *out, QString *why, int *dropped)
{
    int lost = 0;
    Stream s{bufferReader(stream)};
    quint64 first = 0;
    std::vector<TiffEntry> entries;
    *out = ExifTree();
    if (!readHeader(&s, &first, why) || !readDirectory(s, first, &entries, &lost, why))
        return false;
    takeDirectory(s, entries, out, &lost);
    if (dropped)
        *dropped = lost;
    return true;
}

bool readTiffMetadata(const ReadAt &read, quint64 ifdOffset, ExifTree *tree, QByteArray *xmp, QByteArray *iptc,
                      QString *why)
{
    Stream s{read};
    quint64 first = 0;
    std::vector<TiffEntry> entries;
    int dropped = 0;
    *tree = ExifTree();
    if (!readHeader(&s, &first, why) || !readDirectory(s, ifdOffset, &entries, &dropped, why))
        return false;
    for (const TiffEntry &e : entries) {
        if (e.tag == kXmpTag)
            *xmp = e.value;
        else if (e.tag == kIptcTag)
            *iptc = e.value; // the record's bytes whatever type it was stored as
    }
    takeDirectory(s, entries, tree, &dropped);
    return true;
}

QByteArray exifStream(const ExifTree &tree)
{
    if (tree.isEmpty())
        return {};
    Directory interop{&tree.interop, {}};
    Directory exif{&tree.exif, {{kInteropPointer, interop}}};
    Directory gps{&tree.gps, {}};
    Directory main{&tree.main, {{kExifPointer, exif}, {kGpsPointer, gps}}};
    // A first directory with nothing but pointers still needs an entry.
    QByteArray out = tree.bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
    putUInt(&out, 8, 4, tree.bigEndian);
    out.append(layOut(main, tree.bigEndian, 8, false, tree.bigEndian));
    return out;
}

QByteArray exifDirectoryBlock(const ExifTree &tree, quint64 at, bool bigTiff, bool bigEndian)
{
    if (tree.exif.empty())
        return {};
    Directory interop{&tree.interop, {}};
    Directory exif{&tree.exif, {{kInteropPointer, interop}}};
    return layOut(exif, tree.bigEndian, at, bigTiff, bigEndian);
}

QByteArray gpsDirectoryBlock(const ExifTree &tree, quint64 at, bool bigTiff, bool bigEndian)
{
    if (tree.gps.empty())
        return {};
    return layOut(Directory{&tree.gps, {}}, tree.bigEndian, at, bigTiff, bigEndian);
}

void setPixelDimensions(ExifTree *tree, quint32 width, quint32 height)
{
    for (TiffEntry &e : tree->exif) {
        if (e.tag != kPixelXDimension && e.tag != kPixelYDimension)
            continue;
        e.type = 4;
        e.count = 1;
        e.value.clear();
        putUInt(&e.value, e.tag == kPixelXDimension ? width : height, 4, tree->bigEndian);
    }
}

QByteArray entryText(const TiffEntry &entry)
{
    const qsizetype nul = entry.value.indexOf('\0');
    return nul < 0 ? entry.value : entry.value.left(nul);
}

QByteArray xmpWithOrientation(const QByteArray &xmp, int orientation)
{
    // Not shared: writers of several files call this at once.
    const QRegularExpression attr(QStringLiteral("(tiff:Orientation\\s*=\\s*[\"'])\\s*\\d+\\s*([\"'])"));
    const QRegularExpression element(QStringLiteral("(<tiff:Orientation>)\\s*\\d+\\s*(</tiff:Orientation>)"));
    QString text = QString::fromUtf8(xmp);
    if (!text.contains(QLatin1String("tiff:Orientation")))
        return xmp;
    const QString with = QStringLiteral("\\1%1\\2").arg(orientation);
    text.replace(attr, with);
    text.replace(element, with);
    return text.toUtf8();
}

void readJpegMetadata(const uchar *p, qint64 n, Page *page)
{
    static const char xmpId[] = "http://ns.adobe.com/xap/1.0/";
    QByteArray resources;
    qint64 pos = 2;
    while (n - pos >= 4) {
        if (p[pos] != 0xff) { // stray bytes between segments: find the next marker
            ++pos;
            continue;
        }
        const uchar m = p[pos + 1];
        if (m == 0xff) {
            ++pos;
            continue;
        }
        if (m == 0xda || m == 0xd9)
            break;
        const qint64 len = qint64(readUInt(p + pos + 2, 2, true));
        if (len < 2 || n - pos - 2 < len)
            break;
        const QByteArray seg(reinterpret_cast<const char *>(p + pos + 4), qsizetype(len - 2));
        if (m == 0xe1 && seg.startsWith(QByteArray("Exif\0\0", 6)) && page->exif.isEmpty())
            page->exif = seg.mid(6);
        else if (m == 0xe1 && seg.startsWith(QByteArray(xmpId, sizeof xmpId)) && page->xmp.isEmpty())
            page->xmp = seg.mid(sizeof xmpId);
        else if (m == 0xed && seg.startsWith(QByteArray("Photoshop 3.0\0", 14)))
            resources.append(seg.mid(14));
        pos += 2 + len;
    }
    if (!resources.isEmpty())
        page->iptc = iptcFromResources(resources);
}

void readPngMetadata(const uchar *p, qint64 n, Page *page)
{
    qint64 pos = 8;
    while (n - pos >= 12) {
        const quint32 len = quint32(readUInt(p + pos, 4, true));
        if (len > 0x7fffffffu || n - pos - 12 < qint64(len))
            break;
        const char *type = reinterpret_cast<const char *>(p + pos + 4);
        const QByteArray data(reinterpret_cast<const char *>(p + pos + 8), qsizetype(len));
        if (std::memcmp(type, "eXIf", 4) == 0 && page->exif.isEmpty()) {
            page->exif = data;
        } else if (std::memcmp(type, "iTXt", 4) == 0 && data.startsWith(QByteArray("XML:com.adobe.xmp\0", 18))
                   && page->xmp.isEmpty()) {
            // keyword, compression flag and method, language, translated keyword, text
            const qsizetype flags = 18;
            if (data.size() >= flags + 2) {
                const bool compressed = data.at(flags) != 0;
                const qsizetype lang = data.indexOf('\0', flags + 2);
                const qsizetype translated = lang < 0 ? -1 : data.indexOf('\0', lang + 1);
                if (translated >= 0) {
                    const QByteArray text = data.mid(translated + 1);
                    if (!compressed)
                        page->xmp = text;
                    else if (!inflateText(text, &page->xmp))
                        page->xmp.clear();
                }
            }
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            break;
        }
        pos += 12 + qint64(len);
    }
}

} // namespace detail

QStringList checkMetadata(Page *page)
{
    QStringList lines;
    if (!page->exif.isEmpty()) {
        detail::ExifTree tree;
        QString why;
        int dropped = 0;
        if (!detail::parseExif(page->exif, &tree, &why, &dropped)) {
            page->exif.clear();
            lines << QStringLiteral("damaged EXIF block left out (%1)").arg(why);
        } else if (dropped > 0) {
            lines << QStringLiteral("%1 damaged EXIF entries left out").arg(dropped);
        }
    }
    if (!page->xmp.isEmpty() && !detail::xmpValid(page->xmp)) {
        page->xmp.clear();
        lines << QStringLiteral("damaged XMP packet left out");
    }
    if (!page->iptc.isEmpty() && !detail::iptcValid(page->iptc)) {
        page->iptc.clear();
        lines << QStringLiteral("damaged IPTC record left out");
    }
    return lines;
}

} // namespace quillon::image

#include "core/image/LzwEncoder.h"

#include <QtEndian>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace quillon::image {

namespace {

constexpr unsigned kClear = 256;
constexpr unsigned kEoi = 257;
constexpr unsigned kFirst = 258;
constexpr unsigned kBitsMin = 9;
// libtiff's own encoder clears once code 4093 is taken, one code before its
// decoder would need a 13th bit; readers are tested against that output, so
// we clear at the same place rather than use the last codes.
constexpr unsigned kFull = 4094;
// libtiff also clears early when the ratio since the last check got worse;
// doing the same keeps our strips byte for byte what libtiff wrote before.
constexpr std::int64_t kCheckGap = 10000;

// Open addressing over (prefix, byte) in 16384 slots, at most a quarter
// full. A string in the table is known by its slot; a one-byte string by
// kSlots + byte. A slot holds only a 16-bit tag: byte << 8 | whether the
// prefix is one byte << 7 | distance from the home slot. Byte, home slot and
// that bit identify the prefix. So the tags fit in L1, and a hit costs an
// add, an and and a load before the next lookup: the slot found is the next
// prefix. Codes sit apart, read only when codes are packed.
constexpr unsigned kSlotBits = 15;
constexpr std::uint32_t kSlots = 1u << kSlotBits;
constexpr std::uint32_t kSlotMask = kSlots - 1;
constexpr std::uint32_t kMaxDistance = 126; // 127 could read as kEmptyTag
constexpr std::uint32_t kEmptyTag = 0xffff;

constexpr std::uint32_t literalId(std::uint32_t byte)
{
    return kSlots + byte;
}

// The tag of (prefix, byte) `distance` past the home slot.
constexpr std::uint32_t tagOf(std::uint32_t prefix, std::uint32_t byte, std::uint32_t distance)
{
    return (byte << 8) | ((prefix >> (kSlotBits - 7)) & 0x80) | distance;
}

// The byte's part of the home slot.
constexpr std::array<std::uint16_t, 256> kSpread = [] {
    std::array<std::uint16_t, 256> a{};
    for (std::uint32_t b = 0; b < 256; ++b)
        a[b] = std::uint16_t((b * 0x9e3779b1u) >> (32 - kSlotBits));
    return a;
}();

inline std::uint32_t homeSlot(std::uint32_t prefix, std::uint32_t byte)
{
    return (prefix * 9 + kSpread[byte]) & kSlotMask;
}

// Strings of one repeated byte, so a long run is coded a whole string at a
// time: the longest such string in the table, and for a few bytes every
// shorter one.
struct Run {
    std::uint16_t longest;
    std::uint16_t length;
    std::int16_t lengths; // index into Tables::lengths, or -1
};
constexpr int kRunBytes = 4;

// Codes wait here as string ids, to be packed into bits by width in one pass.
constexpr unsigned kCodeRoom = 16384;
constexpr std::size_t kSegment = 2048; // bytes between checks for room

// Where the hot loop stores when it has nothing to store.
constexpr std::uint32_t kScratch = kSlots + kFirst;

struct Tables {
    std::uint16_t tags[kScratch + 1];
    std::uint16_t codes[kScratch + 1]; // by string id; kSlots + b holds b
    Run runs[256];
    int runBytesUsed;
    std::uint16_t waiting[kCodeRoom];
    std::uint16_t lengths[kRunBytes][kFull];
};

void initTables(Tables &t)
{
    for (std::uint32_t b = 0; b < kFirst; ++b)
        t.codes[literalId(b)] = std::uint16_t(b);
}

void clearTables(Tables &t)
{
    std::fill_n(t.tags, kSlots, kEmptyTag);
    for (std::uint32_t b = 0; b < 256; ++b)
        t.runs[b] = Run{std::uint16_t(literalId(b)), 1, -1};
    t.runBytesUsed = 0;
}

// Notes the string in `slot` (kScratch: none), prefix extended by c, if it is
// a longer run of c.
inline void noteRun(Tables &t, std::uint32_t prefix, std::uint32_t c, std::uint32_t slot)
{
    Run &run = t.runs[c];
    if (run.longest != prefix || slot == kScratch)
        return;
    run.longest = std::uint16_t(slot);
    ++run.length;
    if (run.lengths >= 0) {
        t.lengths[run.lengths][run.length] = std::uint16_t(slot);
    } else if (run.length == 2 && t.runBytesUsed < kRunBytes) {
        run.lengths = std::int16_t(t.runBytesUsed++);
        t.lengths[run.lengths][1] = std::uint16_t(prefix);
        t.lengths[run.lengths][2] = std::uint16_t(slot);
    }
}

inline std::uint64_t load64(const quint8 *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline bool runAhead(const quint8 *p, std::uint32_t c)
{
    return load64(p) == c * 0x0101010101010101ull;
}

// The width of the next code once freeEnt strings are in the table.
constexpr unsigned widthAt(unsigned freeEnt)
{
    return kBitsMin + (freeEnt >= 512) + (freeEnt >= 1024) + (freeEnt >= 2048);
}

// Writes codes high bit first. Widths follow the decoder: one more bit once
// a code would not fit in the next (a code early), back to 9 after a Clear.
struct Packer {
    quint8 *op;
    std::uint64_t acc = 0; // the low `pending` bits are not yet written
    unsigned pending = 0;
    unsigned width = kBitsMin;
    unsigned freeEnt = kFirst;

    // Must run before the table is cleared.
    Q_NEVER_INLINE void pack(const Tables &t, unsigned n)
    {
        quint8 *o = op;
        std::uint64_t a = acc;
        unsigned bits = pending;
        unsigned w = width;
        unsigned f = freeEnt;
        for (unsigned i = 0; i < n; ++i) {
            const std::uint32_t code = t.codes[t.waiting[i]];
            a = (a << w) | code;
            bits += w;
            // 8 bytes each time, moving on by the whole ones: no branch.
            qToBigEndian(a << (64 - bits), o);
            o += bits >> 3;
            bits &= 7;
            if (code == kClear) [[unlikely]] {
                f = kFirst;
                w = kBitsMin;
            } else if (++f == 1u << w && w < 12) [[unlikely]] {
                ++w;
            }
        }
        op = o;
        acc = a;
        pending = bits;
        width = w;
        freeEnt = f;
    }

    quint8 *finish()
    {
        if (pending > 0)
            *op++ = quint8(acc << (8 - pending));
        return op;
    }
};

// The state the hot loop works on.
struct Hot {
    const quint8 *p;
    std::uint32_t word; // the string matched so far
    unsigned n; // codes waiting
    unsigned freeEnt;
};

// Codes bytes before `stop` (which leaves 8 bytes to read ahead). Returns
// early just after a miss that fills the table or is followed by a run of its
// byte, for the caller to handle.
Q_NEVER_INLINE bool advance(Tables &t, Hot *hot, const quint8 *stop)
{
    const quint8 *p = hot->p;
    std::uint32_t word = hot->word;
    unsigned n = hot->n;
    unsigned freeEnt = hot->freeEnt;
    // The tag bit of the prefix: set after a miss (a one-byte prefix), clear
    // after a hit (a prefix in the table).
    std::uint32_t oneByte = word >= kSlots ? 0x80 : 0;
    while (p < stop) {
        const std::uint32_t c = *p++;
        std::uint32_t h = homeSlot(word, c);
        std::uint32_t want = (c << 8) | oneByte;
        std::uint32_t tag = t.tags[h];
        if (tag == want) [[likely]] {
            word = h;
            oneByte = 0;
            continue;
        }
        if (tag != kEmptyTag) {
            // The home slot holds another string: look further.
            std::uint32_t distance = 0;
            do {
                h = (h + 1) & kSlotMask;
                tag = t.tags[h];
                ++want;
            } while (tag != want && tag != kEmptyTag && ++distance < kMaxDistance);
            if (tag == want) {
                word = h;
                oneByte = 0;
                continue;
            }
            if (tag != kEmptyTag)
                h = kScratch; // too far from home: coded, never entered
        }
        t.tags[h] = std::uint16_t(want);
        t.codes[h] = std::uint16_t(freeEnt);
        t.waiting[n++] = std::uint16_t(word);
        ++freeEnt;
        const std::uint32_t prefix = word;
        word = literalId(c);
        oneByte = 0x80;
        if (t.runs[c].longest == prefix || runAhead(p, c) || freeEnt == kFull) [[unlikely]] {
            noteRun(t, prefix, c, h);
            if (freeEnt == kFull || runAhead(p, c)) {
                *hot = Hot{p, word, n, freeEnt};
                return false;
            }
        }
    }
    *hot = Hot{p, word, n, freeEnt};
    return true;
}

} // namespace

void lzwEncode(const quint8 *data, std::size_t size, std::vector<quint8> *out)
{
    const auto tables = std::make_unique_for_overwrite<Tables>();
    Tables &t = *tables;
    unsigned n = 0; // codes waiting
    auto push = [&](std::uint32_t id) __attribute__((always_inline)) { t.waiting[n++] = std::uint16_t(id); };

    // At most one code of 12 bits per input byte, a Clear every 3836 codes,
    // the first Clear, a last Clear, EOI, and slack for the 8-byte stores.
    const std::size_t start = out->size();
    out->resize(start + size + size / 2 + size / 1024 + 24);
    quint8 *const begin = out->data() + start;
    Packer packer{begin};
    auto pack = [&] {
        packer.pack(t, n);
        n = 0;
    };

    push(literalId(kClear));
    if (size > 0) {
        initTables(t);
        clearTables(t);
        const quint8 *p = data;
        const quint8 *const end = data + size;
        unsigned freeEnt = kFirst;
        // For the ratio check: where bytes were counted from and the width
        // of the Clear that started the count.
        const quint8 *countFrom = data;
        std::int64_t clearBits = kBitsMin;
        std::int64_t checkpoint = kCheckGap;
        std::int64_t ratio = 0;

        auto restart = [&] {
            push(literalId(kClear));
            pack();
            clearTables(t);
            ratio = 0;
            countFrom = p;
            clearBits = widthAt(freeEnt);
            freeEnt = kFirst;
        };
        // After code freeEnt - 1 went to a new string: clears or checks the
        // ratio as libtiff does.
        auto added = [&] {
            if (freeEnt == kFull) {
                restart();
            } else if (widthAt(freeEnt) != widthAt(freeEnt - 1)) {
                // libtiff skips the ratio check when the width grows.
            } else if (const std::int64_t inBytes = p - countFrom; inBytes >= checkpoint) {
                checkpoint = inBytes + kCheckGap;
                // Bits since the Clear, by the widths the codes went out with.
                std::int64_t outBits = clearBits;
                for (unsigned from = kFirst, top = 512, width = kBitsMin; from < freeEnt; top *= 2, ++width) {
                    const unsigned to = std::min(freeEnt, top);
                    outBits += std::int64_t(to - from) * width;
                    from = to;
                }
                std::int64_t r;
                if (inBytes > 0x7fffff) { // as libtiff, to stay byte-identical
                    r = outBits >> 8;
                    r = r == 0 ? 0x7fffffff : inBytes / r;
                } else {
                    r = (inBytes << 8) / outBits;
                }
                if (r <= ratio)
                    restart();
                else
                    ratio = r;
            }
        };
        // Codes `prefix` and enters it extended by c at slot h, `distance`
        // past its home; p is just past c. A string that would sit too far
        // from home is coded but not entered: it is then never used, which
        // the decoder does not mind.
        auto emitAndAdd = [&](std::uint32_t prefix, std::uint32_t c, std::uint32_t h, std::uint32_t distance) {
            push(prefix);
            if (distance > kMaxDistance) {
                h = kScratch;
            } else {
                t.tags[h] = std::uint16_t(tagOf(prefix, c, distance));
                t.codes[h] = std::uint16_t(freeEnt);
            }
            ++freeEnt;
            noteRun(t, prefix, c, h);
            added();
        };
        // A run of c starts at p, just after a miss on c: skips to its end,
        // adding the strings that LZW would add there. Returns the string
        // matched at the end.
        auto skipRun = [&](std::uint32_t c) -> std::uint32_t {
            const std::uint64_t pattern = c * 0x0101010101010101ull;
            const quint8 *q = p;
            while (end - q >= 8 && load64(q) == pattern)
                q += 8;
            while (q != end && *q == c)
                ++q;
            std::size_t left = std::size_t(q - p);
            const Run &run = t.runs[c];
            while (1 + left > run.length) {
                if (n >= kCodeRoom / 2)
                    pack();
                const std::uint32_t longest = run.longest;
                p += run.length;
                left -= run.length;
                std::uint32_t h = homeSlot(longest, c);
                std::uint32_t distance = 0;
                for (; t.tags[h] != kEmptyTag && distance <= kMaxDistance; ++distance)
                    h = (h + 1) & kSlotMask;
                emitAndAdd(longest, c, h, distance);
            }
            if (run.lengths < 0)
                return literalId(c);
            p += left;
            return t.lengths[run.lengths][1 + left];
        };

        std::uint32_t word = literalId(*p++); // the string matched so far
        // One byte, any case.
        auto step = [&] {
            const std::uint32_t c = *p++;
            std::uint32_t h = homeSlot(word, c);
            for (std::uint32_t distance = 0; t.tags[h] != tagOf(word, c, distance); ++distance) {
                if (t.tags[h] == kEmptyTag || distance == kMaxDistance) {
                    if (t.tags[h] != kEmptyTag)
                        ++distance;
                    emitAndAdd(word, c, h, distance);
                    word = literalId(c);
                    if (end - p >= 8 && runAhead(p, c))
                        word = skipRun(c);
                    return;
                }
                h = (h + 1) & kSlotMask;
            }
            word = h;
        };

        while (end - p >= 8) {
            if (n >= kCodeRoom / 2)
                pack();
            // A miss after which the ratio check is due goes by step().
            const std::int64_t room = std::min({std::int64_t(kSegment), std::int64_t(end - p) - 8,
                                                std::int64_t(countFrom - p) + checkpoint - 1});
            if (room <= 0) {
                step();
                continue;
            }
            Hot hot{p, word, n, freeEnt};
            const bool done = advance(t, &hot, p + room);
            p = hot.p;
            word = hot.word;
            n = hot.n;
            freeEnt = hot.freeEnt;
            if (!done) {
                const std::uint32_t c = p[-1];
                added();
                if (end - p >= 8 && runAhead(p, c))
                    word = skipRun(c);
            }
        }
        while (p != end)
            step();

        push(word);
        if (++freeEnt == kFull)
            push(literalId(kClear));
    }
    push(literalId(kEoi));
    pack();
    out->resize(start + std::size_t(packer.finish() - begin));
}

} // namespace quillon::image

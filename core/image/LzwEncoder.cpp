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

// Open addressing over (prefix, byte) in 8192 slots, at most half full and
// small enough for L1. A code is known by its 13-bit name: code * 5063 mod
// 8192, which spreads the codes, handed out in order, over the whole table.
// A slot word holds byte << 24 | distance from the home slot << 13 | name of
// the new string; byte and home slot together identify the prefix. So a hit
// costs one and, one xor and one load before the next byte's lookup.
constexpr unsigned kSlots = 8192;
constexpr std::uint32_t kNameMask = kSlots - 1;
constexpr std::uint32_t kNameFactor = 5063;
constexpr std::uint32_t kNameInverse = 7671; // kNameFactor * kNameInverse == 1 mod 8192
constexpr std::uint32_t kMaxDistance = 2046; // 2047 with byte 255 would match kEmpty
constexpr std::uint32_t kEmpty = 0xffffffffu;

inline std::uint32_t nameOf(std::uint32_t code)
{
    return (code * kNameFactor) & kNameMask;
}

inline std::uint32_t codeOf(std::uint32_t word)
{
    return ((word & kNameMask) * kNameInverse) & kNameMask;
}

// The byte's part of the home slot.
constexpr std::array<std::uint16_t, 256> kSpread = [] {
    std::array<std::uint16_t, 256> a{};
    for (unsigned i = 0; i < 256; ++i)
        a[i] = std::uint16_t((i * 0x9e3779b1u) >> 19);
    return a;
}();

inline std::uint32_t homeSlot(std::uint32_t word, std::uint32_t byte)
{
    return (kSpread[byte] ^ word) & kNameMask;
}

// Strings of one repeated byte, so a long run is coded a whole string at a
// time: the longest such string in the table, and for a few bytes the slot
// word of every shorter one.
struct Run {
    std::uint32_t longest; // slot word; only its name counts
    std::uint16_t length;
    std::int16_t lengths; // index into Tables::lengths, or -1
};
constexpr int kRunBytes = 4;

struct Tables {
    std::uint32_t table[kSlots];
    Run runs[256];
    std::uint32_t lengths[kRunBytes][kFull];
};

inline std::uint64_t load64(const quint8 *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

} // namespace

void lzwEncode(const quint8 *data, std::size_t size, std::vector<quint8> *out)
{
    // At most one code of 12 bits per input byte, a Clear every 3836 codes,
    // the first Clear, a last Clear, EOI, and slack for the 4-byte stores.
    const std::size_t start = out->size();
    out->resize(start + size + size / 2 + size / 1024 + 16);
    quint8 *const begin = out->data() + start;
    quint8 *op = begin;

    std::uint64_t acc = 0; // the low `pending` bits are not yet written
    unsigned pending = 0;
    unsigned nbits = kBitsMin;
    auto put = [&](std::uint32_t code) __attribute__((always_inline)) {
        acc = (acc << nbits) | code;
        pending += nbits;
        if (pending >= 32) {
            pending -= 32;
            qToBigEndian(std::uint32_t(acc >> pending), op);
            op += 4;
        }
    };

    put(kClear);
    if (size > 0) {
        const auto tables = std::make_unique_for_overwrite<Tables>();
        Tables &t = *tables;
        int runBytesUsed = 0;
        auto clearTables = [&]() __attribute__((always_inline)) {
            std::fill_n(t.table, kSlots, kEmpty);
            for (std::uint32_t b = 0; b < 256; ++b)
                t.runs[b] = Run{nameOf(b), 1, -1};
            runBytesUsed = 0;
        };
        clearTables();

        const quint8 *p = data;
        const quint8 *const end = data + size;
        unsigned freeEnt = kFirst;
        unsigned maxCode = (1u << kBitsMin) - 1;
        // Bits out and bytes in since the last Clear, for the ratio check.
        std::int64_t outBits = kBitsMin;
        const quint8 *countFrom = data;
        std::int64_t checkpoint = kCheckGap;
        std::int64_t ratio = 0;

        auto restart = [&]() __attribute__((always_inline)) {
            clearTables();
            ratio = 0;
            countFrom = p;
            freeEnt = kFirst;
            put(kClear);
            outBits = nbits;
            nbits = kBitsMin;
            maxCode = (1u << kBitsMin) - 1;
        };
        // Emits the string of `prefix` (a slot word) and enters it extended by
        // c at slot h, `distance` past its home; p is just past c. A string
        // that would sit too far from home is coded but not entered: it is
        // then never used, which the decoder does not mind.
        auto emitAndAdd = [&](std::uint32_t prefix, std::uint32_t c, std::uint32_t h, std::uint32_t distance) __attribute__((always_inline)) {
            put(codeOf(prefix));
            outBits += nbits;
            const std::uint32_t word = (c << 24) | (distance << 13) | nameOf(freeEnt);
            if (distance <= kMaxDistance)
                t.table[h] = word;
            Run &run = t.runs[c];
            if (((run.longest ^ prefix) & kNameMask) == 0) {
                run.longest = word;
                ++run.length;
                if (run.lengths >= 0) {
                    t.lengths[run.lengths][run.length] = word;
                } else if (run.length == 2 && runBytesUsed < kRunBytes) {
                    run.lengths = std::int16_t(runBytesUsed++);
                    t.lengths[run.lengths][1] = prefix;
                    t.lengths[run.lengths][2] = word;
                }
            }
            if (++freeEnt == kFull) {
                restart();
            } else if (freeEnt > maxCode) {
                ++nbits;
                maxCode = (1u << nbits) - 1;
            } else if (const std::int64_t inBytes = p - countFrom; inBytes >= checkpoint) {
                checkpoint = inBytes + kCheckGap;
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

        std::uint32_t word = nameOf(*p++); // slot word of the string matched so far
        while (p != end) {
            const std::uint32_t c = *p++;
            const std::uint32_t tag = c << 11; // a hit's word >> 13 at distance 0
            std::uint32_t h = homeSlot(word, c);
            std::uint32_t found = t.table[h];
            if ((found >> 13) == tag) [[likely]] {
                word = found;
                continue;
            }
            std::uint32_t distance = 0;
            while (found != kEmpty && distance <= kMaxDistance) {
                ++distance;
                h = (h + 1) & kNameMask;
                found = t.table[h];
                if ((found >> 13) == tag + distance) {
                    word = found;
                    goto next;
                }
            }
            emitAndAdd(word, c, h, distance);
            word = nameOf(c);
            if (end - p >= 8 && load64(p) == c * 0x0101010101010101ull) {
                // A run of c follows: skip to its end, adding the strings
                // that LZW would add there, one miss at a time.
                const std::uint64_t pattern = c * 0x0101010101010101ull;
                const quint8 *q = p + 8;
                while (end - q >= 8 && load64(q) == pattern)
                    q += 8;
                while (q != end && *q == c)
                    ++q;
                std::size_t left = std::size_t(q - p);
                const Run &run = t.runs[c];
                while (1 + left > run.length) {
                    const std::uint32_t longest = run.longest;
                    p += run.length;
                    left -= run.length;
                    h = homeSlot(longest, c);
                    distance = 0;
                    while (t.table[h] != kEmpty && distance <= kMaxDistance) {
                        ++distance;
                        h = (h + 1) & kNameMask;
                    }
                    emitAndAdd(longest, c, h, distance);
                }
                if (run.lengths >= 0) {
                    word = t.lengths[run.lengths][1 + left];
                    p += left;
                }
            }
        next:;
        }

        put(codeOf(word));
        if (++freeEnt == kFull) {
            put(kClear);
            nbits = kBitsMin;
        } else if (freeEnt > maxCode) {
            ++nbits;
        }
    }
    put(kEoi);
    while (pending >= 8) {
        pending -= 8;
        *op++ = quint8(acc >> pending);
    }
    if (pending > 0)
        *op++ = quint8(acc << (8 - pending));
    out->resize(start + std::size_t(op - begin));
}

} // namespace quillon::image

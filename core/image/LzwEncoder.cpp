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
// full. A code is known by its 14-bit name, code * kNameFactor mod 16384,
// which spreads the codes (handed out in order) over the table. A slot word
// is byte << 23 | distance from the home slot << 14 | name of the new string;
// byte and home slot together identify the prefix. The top bit is clear in
// every slot word and set in an empty slot.
constexpr unsigned kNameBits = 14;
constexpr unsigned kSlots = 1u << kNameBits;
constexpr std::uint32_t kNameMask = kSlots - 1;
constexpr std::uint32_t kNameFactor = 10131;
constexpr std::uint32_t kNameInverse = 3739;
static_assert((kNameFactor * kNameInverse & kNameMask) == 1);
constexpr std::uint32_t kMaxDistance = 511;
constexpr std::uint32_t kEmpty = 0xffffffffu;
// The top bit marks the word of a one-byte string, never stored in a slot.
constexpr std::uint32_t kLiteral = 0x80000000u;

constexpr std::uint32_t nameOf(std::uint32_t code)
{
    return (code * kNameFactor) & kNameMask;
}

constexpr std::uint32_t codeOf(std::uint32_t word)
{
    return ((word & kNameMask) * kNameInverse) & kNameMask;
}

// What a slot word >> kNameBits is when it holds (prefix, byte) `distance`
// past the home slot.
constexpr std::uint32_t tagOf(std::uint32_t byte, std::uint32_t distance)
{
    return (byte << (31 - kNameBits - 8)) | distance;
}

// Per byte: its part of the home slot (the prefix's part is its own name, so
// a hit costs an xor, an and and a load before the next lookup) and the word
// of the one-byte string.
struct ByteInfo {
    std::uint32_t spread;
    std::uint32_t literal;
};
constexpr std::array<ByteInfo, 256> kBytes = [] {
    std::array<ByteInfo, 256> a{};
    for (std::uint32_t b = 0; b < 256; ++b)
        a[b] = ByteInfo{(b * 0x9e3779b1u) >> (32 - kNameBits), kLiteral | nameOf(b)};
    return a;
}();

inline std::uint32_t homeSlot(std::uint32_t word, std::uint32_t byte)
{
    return (kBytes[byte].spread ^ word) & kNameMask;
}

// Strings of one repeated byte, so a long run is coded a whole string at a
// time: the longest such string in the table, and for a few bytes the word
// of every shorter one.
struct Run {
    std::uint32_t longest; // word; only its name counts
    std::uint16_t length;
    std::int16_t lengths; // index into Tables::lengths, or -1
};
constexpr int kRunBytes = 4;

// Codes wait here as names, to be packed into bits by width in one pass.
constexpr unsigned kCodeRoom = 16384;
constexpr std::size_t kSegment = 2048; // bytes between checks for room

struct Tables {
    std::uint32_t table[kSlots];
    Run runs[256];
    std::uint16_t codes[kCodeRoom];
    std::uint32_t lengths[kRunBytes][kFull];
};

inline std::uint64_t load64(const quint8 *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// The width of the next code once freeEnt strings are in the table.
constexpr unsigned widthAt(unsigned freeEnt)
{
    return kBitsMin + (freeEnt >= 512) + (freeEnt >= 1024) + (freeEnt >= 2048);
}

} // namespace

void lzwEncode(const quint8 *data, std::size_t size, std::vector<quint8> *out)
{
    const auto tables = std::make_unique_for_overwrite<Tables>();
    Tables &t = *tables;
    unsigned n = 0; // codes waiting
    auto push = [&](std::uint32_t name) __attribute__((always_inline)) { t.codes[n++] = std::uint16_t(name); };

    // At most one code of 12 bits per input byte, a Clear every 3836 codes,
    // the first Clear, a last Clear, EOI, and slack for the 8-byte stores.
    const std::size_t start = out->size();
    out->resize(start + size + size / 2 + size / 1024 + 24);
    quint8 *const begin = out->data() + start;
    quint8 *op = begin;
    std::uint64_t acc = 0; // the low `pending` bits are not yet written
    unsigned pending = 0;
    unsigned packWidth = kBitsMin;
    unsigned packFree = kFirst;
    // Widths follow the decoder: one more bit once a code would not fit in
    // the next (a code early), back to 9 after a Clear.
    auto pack = [&] {
        for (unsigned i = 0; i < n; ++i) {
            const std::uint32_t code = codeOf(t.codes[i]);
            acc = (acc << packWidth) | code;
            pending += packWidth;
            qToBigEndian(acc << (64 - pending), op);
            op += pending >> 3;
            pending &= 7;
            packFree = code == kClear ? kFirst : packFree + 1;
            packWidth = widthAt(packFree);
        }
        n = 0;
    };

    push(nameOf(kClear));
    if (size > 0) {
        int runBytesUsed = 0;
        auto clearTables = [&]() __attribute__((always_inline)) {
            std::fill_n(t.table, kSlots, kEmpty);
            for (std::uint32_t b = 0; b < 256; ++b)
                t.runs[b] = Run{kBytes[b].literal, 1, -1};
            runBytesUsed = 0;
        };
        clearTables();

        const quint8 *p = data;
        const quint8 *const end = data + size;
        unsigned freeEnt = kFirst;
        // For the ratio check: where bytes were counted from, the width of
        // the Clear that started the count, the input position of the next check.
        const quint8 *countFrom = data;
        std::int64_t clearBits = kBitsMin;
        std::int64_t checkpoint = kCheckGap;
        std::int64_t ratio = 0;
        auto checkFrom = [&] { return std::int64_t(countFrom - data) + checkpoint; };

        auto restart = [&]() __attribute__((always_inline)) {
            clearTables();
            ratio = 0;
            countFrom = p;
            clearBits = widthAt(freeEnt);
            freeEnt = kFirst;
            push(nameOf(kClear));
        };
        // After `word` went in as code freeEnt - 1, prefix `prefix` and last
        // byte c: keeps the runs current, then clears or checks the ratio as
        // libtiff does.
        auto added = [&](std::uint32_t prefix, std::uint32_t c, std::uint32_t word) __attribute__((always_inline)) {
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
        auto emitAndAdd = [&](std::uint32_t prefix, std::uint32_t c, std::uint32_t h, std::uint32_t distance)
                              __attribute__((always_inline)) {
            push(prefix);
            const std::uint32_t word = (tagOf(c, distance) << kNameBits) | nameOf(freeEnt++);
            if (distance <= kMaxDistance)
                t.table[h] = word;
            added(prefix, c, word);
        };
        // A run of c starts at p, just after a miss on c: skips to its end,
        // adding the strings that LZW would add there. Returns the word of
        // the string matched at the end.
        auto skipRun = [&](std::uint32_t c) __attribute__((always_inline)) -> std::uint32_t {
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
                while (t.table[h] != kEmpty && distance <= kMaxDistance) {
                    ++distance;
                    h = (h + 1) & kNameMask;
                }
                emitAndAdd(longest, c, h, distance);
            }
            if (run.lengths < 0)
                return kBytes[c].literal;
            p += left;
            return t.lengths[run.lengths][1 + left];
        };

        std::uint32_t word = kBytes[*p++].literal; // the string matched so far
        // One byte, any case.
        auto step = [&]() __attribute__((always_inline)) {
            const std::uint32_t c = *p++;
            std::uint32_t h = homeSlot(word, c);
            std::uint32_t distance = 0;
            for (std::uint32_t found = t.table[h]; (found >> kNameBits) != tagOf(c, distance); found = t.table[h]) {
                if (found == kEmpty || distance > kMaxDistance) {
                    emitAndAdd(word, c, h, distance);
                    word = kBytes[c].literal;
                    if (end - p >= 8 && load64(p) == c * 0x0101010101010101ull)
                        word = skipRun(c);
                    return;
                }
                ++distance;
                h = (h + 1) & kNameMask;
            }
            word = t.table[h];
        };

        while (end - p >= 8) {
            if (n >= kCodeRoom / 2)
                pack();
            // Bytes after which a miss is due for the ratio check go by step().
            const std::int64_t at = p - data;
            const std::int64_t room = std::min({std::int64_t(kSegment), std::int64_t(end - p) - 8, checkFrom() - 1 - at});
            if (room <= 0) {
                step();
                continue;
            }
            // A hit or a miss in the home slot takes no branch: data that
            // compresses little misses every other byte, too often to predict.
            for (const quint8 *const stop = p + room; p < stop;) {
                const std::uint64_t ahead = load64(p);
                const std::uint32_t c = std::uint32_t(ahead & 0xff);
                const std::uint32_t h = homeSlot(word, c);
                const std::uint32_t found = t.table[h];
                const std::uint32_t key = c << (31 - 8);
                if ((found ^ key) - kSlots < kLiteral - kSlots) [[unlikely]] {
                    step(); // the home slot holds another string
                    continue;
                }
                ++p;
                const std::uint32_t miss = std::uint32_t(std::int32_t(found) >> 31); // all ones if empty
                const std::uint32_t prefix = word;
                const std::uint32_t fresh = key | nameOf(freeEnt);
                t.table[h] = found & (fresh | ~miss);
                word = std::min(found, kBytes[c].literal);
                t.codes[n] = std::uint16_t(prefix);
                n -= miss;
                freeEnt -= miss;
                const bool runAhead = (ahead >> 8) == c * 0x01010101010101ull;
                const bool runGrows = ((t.runs[c].longest ^ prefix) & kNameMask) == 0;
                if ((miss & unsigned(runAhead | runGrows | (freeEnt == kFull))) != 0) [[unlikely]] {
                    added(prefix, c, fresh);
                    if (runAhead)
                        word = skipRun(c);
                }
            }
        }
        while (p != end)
            step();

        push(word);
        if (++freeEnt == kFull)
            push(nameOf(kClear));
    }
    push(nameOf(kEoi));
    pack();
    if (pending > 0)
        *op++ = quint8(acc << (8 - pending));
    out->resize(start + std::size_t(op - begin));
}

} // namespace quillon::image

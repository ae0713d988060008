#include "core/image/LzwEncoder.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace quillon::image {

// The output is what libtiff's encoder writes, byte for byte; only the work
// differs. Most bytes go through a small loop that hits in a hash table and
// moves on; long runs of one byte are coded a whole string at a time.

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

// The string table: open addressing over (prefix, byte) in 32768 slots, at
// most an eighth full. A string in the table is known by its slot, a
// one-byte string by kSlots + byte. A slot holds a 16-bit tag, byte << 8 |
// whether the prefix is one byte << 7 | distance from the home slot, which
// with the home slot identifies the prefix. A hit thus needs the tag only
// for the branch: the next lookup starts from the slot at once.
constexpr unsigned kSlotBits = 15;
constexpr std::uint32_t kSlots = 1u << kSlotBits;
constexpr std::uint32_t kSlotMask = kSlots - 1;
constexpr std::uint32_t kMaxDistance = 126; // 127 could make kEmptyTag
constexpr std::uint32_t kEmptyTag = 0xffff;
// "No slot": a string too far from home is coded but never entered, which
// the decoder does not mind. Stores for it land here.
constexpr std::uint32_t kNone = kSlots + kFirst;

constexpr std::uint32_t literalId(std::uint32_t byte)
{
    return kSlots + byte;
}

constexpr std::uint32_t tagOf(std::uint32_t prefix, std::uint32_t byte, std::uint32_t distance)
{
    return (byte << 8) | ((prefix >> (kSlotBits - 7)) & 0x80) | distance;
}

// The byte's part of the home slot.
constexpr std::array<std::uint16_t, 256> kSpread = [] {
    std::array<std::uint16_t, 256> a{};
    for (std::uint32_t b = 0; b < 256; ++b)
        a[b] = std::uint16_t(((b + 1) * 0x9e3779b1u) >> (32 - kSlotBits));
    return a;
}();

// The prefix's part is multiplied so that strings sharing bytes in another
// order do not share a home; 9 is odd, so different prefixes still differ.
inline std::uint32_t homeSlot(std::uint32_t prefix, std::uint32_t byte)
{
    return (prefix * 9 + kSpread[byte]) & kSlotMask;
}

// Codes wait as string ids and are packed into bits in batches, which keeps
// widths and bit shifting out of the hot loop.
constexpr unsigned kCodeRoom = 8192;
constexpr unsigned kPackAt = 4096;
constexpr std::ptrdiff_t kSegment = 2048; // bytes the hot loop takes at a time

// Per byte: the longest string of it repeated that the table holds, as
// last seen, so a run is coded a whole string at a time; for a few bytes
// also every shorter one, so the end of a run is found at once too.
struct Run {
    unsigned generation; // of the table it was read from
    std::uint32_t length;
    std::uint32_t top;
    int chain; // index into Tables::chains, or -1
};
constexpr int kChains = 4;
struct Chain {
    std::uint16_t ids[kFull]; // ids[k] is the string of k bytes
};

struct Tables {
    std::uint16_t tags[kNone + 1];
    std::uint16_t codes[kNone + 1]; // by string id; literalId(b) holds b
    std::uint16_t waiting[kCodeRoom];
    Run runs[256];
    Chain chains[kChains];
};

// Whether (prefix, byte) is in the table: its slot, else the slot it would
// go to (kNone if none) and its tag there.
inline bool lookup(const Tables &t, std::uint32_t prefix, std::uint32_t byte, std::uint32_t *slot, std::uint32_t *tag)
{
    std::uint32_t h = homeSlot(prefix, byte);
    std::uint32_t want = tagOf(prefix, byte, 0);
    for (;;) {
        const std::uint32_t found = t.tags[h];
        if (found == want) {
            *slot = h;
            return true;
        }
        if (found == kEmptyTag)
            break;
        if ((want & 0x7f) == kMaxDistance) {
            h = kNone;
            break;
        }
        h = (h + 1) & kSlotMask;
        ++want;
    }
    *slot = h;
    *tag = want;
    return false;
}

inline std::uint64_t load64(const quint8 *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

constexpr std::uint64_t kEveryByte = 0x0101010101010101ull;

// Where the run of `byte` from p ends.
inline const quint8 *runEnd(const quint8 *p, const quint8 *end, std::uint32_t byte)
{
    while (end - p >= 8 && load64(p) == byte * kEveryByte)
        p += 8;
    while (p != end && *p == byte)
        ++p;
    return p;
}

// Runs shorter than about this are left to the hot loop, about as fast.
constexpr std::size_t kLongRun = 32;

// Where the first run of at least kLongRun - 1 equal bytes starts in [from,
// end), or end: three aligned 8-byte words of one byte in a row.
inline const quint8 *findRun(const quint8 *from, const quint8 *end)
{
    const std::ptrdiff_t toAligned = std::ptrdiff_t(-reinterpret_cast<std::uintptr_t>(from) & 7);
    if (end - from < toAligned + 24)
        return end;
    for (const quint8 *q = from + toAligned; end - q >= 24; q += 8) {
        const std::uint64_t w = load64(q);
        // One test, not three branches: short runs are common in some images.
        if (((w ^ load64(q + 8)) | (w ^ load64(q + 16)) | (w ^ (w & 0xff) * kEveryByte)) == 0) [[unlikely]] {
            const quint8 *first = q;
            while (first > from && first[-1] == *q)
                --first;
            return first;
        }
    }
    return end;
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
        // 8 bytes each time, moving on by the whole ones: no branch.
        auto put = [&](std::uint64_t value, unsigned count) {
            a = (a << count) | value;
            bits += count;
            qToBigEndian(a << (64 - bits), o);
            o += bits >> 3;
            bits &= 7;
        };
        unsigned i = 0;
        while (i < n) {
            // Codes left at this width; two at a time while both are plain
            // codes, which halves the chain through the bit accumulator.
            unsigned left = w < 12 ? (1u << w) - f : kFull;
            while (left >= 2 && n - i >= 2) {
                const std::uint32_t first = t.codes[t.waiting[i]];
                const std::uint32_t second = t.codes[t.waiting[i + 1]];
                if ((first == kClear) | (second == kClear)) [[unlikely]]
                    break;
                put((std::uint64_t(first) << w) | second, 2 * w);
                i += 2;
                f += 2;
                left -= 2;
            }
            if (w < 12 && f == 1u << w) {
                ++w;
                continue;
            }
            if (i == n)
                break;
            const std::uint32_t code = t.codes[t.waiting[i++]];
            put(code, w);
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
    std::uint32_t word; // id of the string matched so far
    unsigned n; // codes waiting
    unsigned freeEnt;
};

// The hot loop: codes the bytes before `stop`. Returns false early, just
// after the miss that fills the table.
Q_NEVER_INLINE bool advance(Tables &t, Hot *hot, const quint8 *stop)
{
    const quint8 *p = hot->p;
    std::uint32_t word = hot->word;
    unsigned n = hot->n;
    unsigned freeEnt = hot->freeEnt;
    // The tag bit of the prefix: set after a miss, clear after a hit.
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
            // The home slot holds another string.
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
                h = kNone;
        }
        t.tags[h] = std::uint16_t(want);
        t.codes[h] = std::uint16_t(freeEnt);
        t.waiting[n++] = std::uint16_t(word);
        word = literalId(c);
        oneByte = 0x80;
        if (++freeEnt == kFull) [[unlikely]] {
            *hot = Hot{p, word, n, freeEnt};
            return false;
        }
    }
    *hot = Hot{p, word, n, freeEnt};
    return true;
}

} // namespace

void lzwEncode(const quint8 *data, std::size_t size, std::vector<quint8> *out)
{
    // Kept per thread: a fresh one per strip costs page faults.
    thread_local const auto tables = std::make_unique_for_overwrite<Tables>();
    Tables &t = *tables;
    for (std::uint32_t b = 0; b < kFirst; ++b)
        t.codes[literalId(b)] = std::uint16_t(b);
    unsigned n = 0; // codes waiting
    auto push = [&](std::uint32_t id) { t.waiting[n++] = std::uint16_t(id); };

    // At most one code of 12 bits per input byte, a Clear every 3836 codes,
    // the first Clear, a last Clear, EOI, and slack for the 8-byte stores.
    // Coded into a buffer of this thread's, not into `out` made that large:
    // the worst case is 1.5 times the input, to be zeroed and given back per strip.
    const std::size_t room = size + size / 2 + size / 1024 + 24;
    // Rows wider than usual strips get a buffer for this strip only.
    constexpr std::size_t kKeptRoom = std::size_t(4) << 20;
    thread_local std::unique_ptr<quint8[]> kept;
    thread_local std::size_t keptSize = 0;
    std::unique_ptr<quint8[]> once;
    if (room > kKeptRoom) {
        once = std::make_unique_for_overwrite<quint8[]>(room);
    } else if (keptSize < room) {
        kept.reset();
        keptSize = 0;
        const std::size_t keep = std::max(room, kKeptRoom / 8);
        kept = std::make_unique_for_overwrite<quint8[]>(keep);
        keptSize = keep;
    }
    quint8 *const begin = once ? once.get() : kept.get();
    Packer packer{begin};
    auto pack = [&] {
        packer.pack(t, n);
        n = 0;
    };

    push(literalId(kClear));
    if (size > 0) {
        unsigned generation = 0;
        for (Run &run : t.runs)
            run = Run{generation, 1, 0, -1};
        auto clearTable = [&] {
            std::fill_n(t.tags, kSlots, kEmptyTag);
            ++generation;
        };
        clearTable();

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
            clearTable();
            ratio = 0;
            countFrom = p;
            clearBits = widthAt(freeEnt);
            freeEnt = kFirst;
        };
        // After code freeEnt - 1 went to a new string, p just past its last
        // byte: clears or checks the ratio as libtiff does.
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
        // Codes `prefix` and enters the new string at `slot` with `tag`.
        auto emitAndEnter = [&](std::uint32_t prefix, std::uint32_t slot, std::uint32_t tag) {
            push(prefix);
            t.tags[slot] = std::uint16_t(tag);
            t.codes[slot] = std::uint16_t(freeEnt);
            ++freeEnt;
            added();
        };
        // A run of c starts at p, just after a miss on c: codes it a whole
        // string at a time, adding the strings LZW would add. Returns the
        // string matched at its end, or c if the hot loop is to match the rest.
        int nextChain = 0;
        auto skipRun = [&](std::uint32_t c) -> std::uint32_t {
            std::size_t left = std::size_t(runEnd(p, end, c) - p);
            Run &run = t.runs[c];
            if (run.generation != generation)
                run = Run{generation, 1, literalId(c), -1};
            auto grow = [&](std::uint32_t slot) {
                run.top = slot;
                ++run.length;
                if (run.chain >= 0)
                    t.chains[run.chain].ids[run.length] = std::uint16_t(slot);
            };
            std::uint32_t slot, tag;
            while (lookup(t, run.top, c, &slot, &tag))
                grow(slot);
            while (1 + left > run.length) {
                if (n >= kPackAt)
                    pack();
                p += run.length;
                left -= run.length;
                const unsigned before = generation;
                emitAndEnter(run.top, slot, tag);
                if (generation != before)
                    run = Run{generation, 1, literalId(c), -1};
                else if (slot != kNone)
                    grow(slot);
                lookup(t, run.top, c, &slot, &tag); // not there: run is up to date
            }
            // Not worth reading a chain in for a short end: the hot loop
            // matches it, hitting all the way.
            if (left < kLongRun || (run.chain < 0 && left * 4 < run.length))
                return literalId(c);
            if (run.chain < 0) {
                // Take over the chain used longest ago and read it in.
                Chain &chain = t.chains[nextChain];
                for (Run &other : t.runs) {
                    if (other.chain == nextChain)
                        other.chain = -1;
                }
                run.chain = nextChain;
                nextChain = (nextChain + 1) % kChains;
                chain.ids[1] = std::uint16_t(literalId(c));
                for (std::uint32_t k = 1; k < run.length; ++k) {
                    lookup(t, chain.ids[k], c, &slot, &tag);
                    chain.ids[k + 1] = std::uint16_t(slot);
                }
            }
            p += left;
            return t.chains[run.chain].ids[1 + left];
        };

        std::uint32_t word = literalId(*p++); // the string matched so far
        // One byte, any case. Returns whether it went on through a run.
        auto step = [&] {
            const std::uint32_t c = *p++;
            std::uint32_t slot, tag;
            if (lookup(t, word, c, &slot, &tag)) {
                word = slot;
                return false;
            }
            emitAndEnter(word, slot, tag);
            word = literalId(c);
            if (end - p < 8 || load64(p) != c * kEveryByte)
                return false;
            word = skipRun(c);
            return true;
        };

        const quint8 *runsFrom = p; // where a run may start that is not yet coded
        while (p != end) {
            if (n >= kPackAt)
                pack();
            // Bytes the hot loop may take: it does not check the ratio.
            const std::ptrdiff_t room = std::min({kSegment, end - p, (countFrom - p) + std::ptrdiff_t(checkpoint) - 1});
            if (room <= 0) {
                step();
                continue;
            }
            const quint8 *const stop = p + room;
            const quint8 *const run = runsFrom < stop ? findRun(std::max(p, runsFrom), stop) : stop;
            if (run == p) {
                // Up to its first miss byte by byte, then most of it at once.
                runsFrom = runEnd(p, end, *p);
                while (p < runsFrom) {
                    if (n >= kPackAt)
                        pack();
                    if (step())
                        break;
                }
                continue;
            }
            Hot hot{p, word, n, freeEnt};
            const bool notFull = advance(t, &hot, run);
            p = hot.p;
            word = hot.word;
            n = hot.n;
            freeEnt = hot.freeEnt;
            if (!notFull)
                restart();
        }

        push(word);
        if (++freeEnt == kFull)
            push(literalId(kClear));
    }
    push(literalId(kEoi));
    pack();
    out->insert(out->end(), begin, packer.finish());
}

} // namespace quillon::image

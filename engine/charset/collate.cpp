// Collating string comparison. In UTF-8 mode strings are compared through
// weight tables that cover U+0000-U+024F; the tables are unpacked from the
// player's data on first use and kept until FreeCollationTables.
#include "engine/charset/collate.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "engine/charset/charset.h"
#include "engine/charset/collation_data.h"
#include "streams/cxpk/cxpk.h"
#include "streams/memory_name.h"

namespace {

using cx::collation::kSide;
using cx::collation::kTableBytes;

// Creation takes a lock so that a plug-in thread comparing strings cannot
// build a table twice; reading a built table takes none.
std::mutex g_buildLock;
std::atomic<unsigned char *> g_tables[2];  // [0] case-insensitive, [1] case-sensitive
std::atomic<uint16_t *> g_base;

const unsigned char *WeightTable(bool caseSensitive) {
    std::atomic<unsigned char *> &slot = g_tables[caseSensitive ? 1 : 0];
    if (unsigned char *table = slot.load(std::memory_order_acquire)) return table;
    std::lock_guard<std::mutex> hold(g_buildLock);
    if (unsigned char *table = slot.load(std::memory_order_relaxed)) return table;

    // Zeroed, so that a block that were ever shorter than the table leaves
    // entries that read as "alike" rather than as garbage.
    unsigned char *table = static_cast<unsigned char *>(std::calloc(kTableBytes, 1));
    if (!table) return nullptr;
    const cx::collation::PackedBlock &block =
        caseSensitive ? cx::collation::kPackedTableS : cx::collation::kPackedTableI;
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, block.data, block.size);
    if (UnpackCxpk("CXPK", name, nullptr, nullptr, 0, nullptr, nullptr, table, kTableBytes) != 0) {
        std::free(table);
        return nullptr;  // the next comparison tries again
    }
    slot.store(table, std::memory_order_release);
    return table;
}

// The base letters: the character map (from the pairs) folds accents and
// compatibility forms, then upper case applies; the entry holds the result.
// Some bases lie beyond the tables (U+00B5 folds to U+03BC, U+023F
// upper-cases to U+2C7E); such a code point stands for itself.
const uint16_t *BaseLetters() {
    if (uint16_t *map = g_base.load(std::memory_order_acquire)) return map;
    std::lock_guard<std::mutex> hold(g_buildLock);
    if (uint16_t *map = g_base.load(std::memory_order_relaxed)) return map;
    uint16_t *map = static_cast<uint16_t *>(std::malloc(kSide * sizeof(uint16_t)));
    if (!map) return nullptr;
    for (uint32_t c = 0; c < kSide; ++c) map[c] = static_cast<uint16_t>(c);
    for (const uint16_t *pair = cx::collation::kMapPairs[0]; pair[0] != 0; pair += 2)
        if (pair[0] < kSide) map[pair[0]] = pair[1];
    for (uint32_t c = 0; c < kSide; ++c) {
        const uint32_t base = UnicodeToUpper(map[c]);
        map[c] = static_cast<uint16_t>(base < kSide ? base : c);
    }
    g_base.store(map, std::memory_order_release);
    return map;
}

inline int Weigh(const unsigned char *table, uint32_t x, uint32_t y) {
    const unsigned char w = table[x * kSide + y];
    return w == 1 ? -1 : w == 3 ? 1 : 0;
}

}  // namespace

extern "C" int CollateStrings(const char *a, const char *b, int caseSensitive) {
    if (!a || !b) return 0;
    int invalid = 0;
    const size_t lengthA = Utf8StrLenChecked(a, &invalid);
    if (invalid) return 0;
    const size_t lengthB = Utf8StrLenChecked(b, &invalid);
    if (invalid) return 0;
    const unsigned char *table = WeightTable(caseSensitive != 0);
    if (!table) return 0;
    const uint16_t *base = BaseLetters();
    if (!base) return 0;
    const size_t common = lengthA < lengthB ? lengthA : lengthB;

    // First the base letters over all compared positions, so that case and
    // accents never outweigh a difference of letters further on; then the
    // shorter string first; then the characters as they stand, which is
    // where case (in table S) and accents decide.
    size_t ia = 0, ib = 0;
    for (size_t k = 0; k < common; ++k) {
        const uint32_t x = Utf8NextChar(a, &ia);
        const uint32_t y = Utf8NextChar(b, &ib);
        if (x >= kSide || y >= kSide) return 0;
        if (int r = Weigh(table, base[x], base[y])) return r;
    }
    if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
    ia = ib = 0;
    for (size_t k = 0; k < common; ++k) {
        const uint32_t x = Utf8NextChar(a, &ia);
        const uint32_t y = Utf8NextChar(b, &ib);
        if (int r = Weigh(table, x, y)) return r;
    }
    return 0;
}

extern "C" int CompareStrings(const char *a, const char *b, int caseSensitive) {
    if (GetUtf8Mode()) return CollateStrings(a, b, caseSensitive);
    if (caseSensitive) {
        // Byte order: the difference of the first unequal bytes.
        const unsigned char *x = reinterpret_cast<const unsigned char *>(a);
        const unsigned char *y = reinterpret_cast<const unsigned char *>(b);
        while (*x && *x == *y) ++x, ++y;
        return static_cast<int>(*x) - static_cast<int>(*y);
    }
    return Latin1CompareNoCase(a, b);
}

extern "C" void FreeCollationTables(void) {
    std::lock_guard<std::mutex> hold(g_buildLock);
    for (std::atomic<unsigned char *> &slot : g_tables) std::free(slot.exchange(nullptr));
    std::free(g_base.exchange(nullptr));
}

// The collation data built into the player (generated into
// collation_data.cpp by tools/collation-tables).
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace cx::collation {

// Code points U+0000-U+024F have weights; each table is kSide x kSide bytes.
constexpr uint32_t kSide = 592;
constexpr size_t kTableBytes = size_t{kSide} * kSide;

// Entry [x * kSide + y] of a weight table: 1 when x sorts before y, 2 when
// they sort alike, 3 when x sorts after y.
struct PackedBlock {
    const unsigned char *data;
    size_t size;
};

// CXPK packed weight tables: case-sensitive and case-insensitive.
extern const PackedBlock kPackedTableS;
extern const PackedBlock kPackedTableI;
// {code point, replacement} pairs of the character map, ended by {0, 0}.
extern const uint16_t kMapPairs[][2];

}  // namespace cx::collation

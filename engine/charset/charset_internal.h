// Helpers shared by the charset sources; not part of the layer's interface.
#pragma once

#include <stdint.h>

namespace cx::charset {

inline bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Simple case folding (CaseFolding.txt statuses C and S).
uint32_t FoldCase(uint32_t c);

}  // namespace cx::charset

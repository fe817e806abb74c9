// A writer of CDXL clips for tests, demos and benchmarks: pictures of
// 0x00RRGGBB pixels as 8 bitplanes over a 256-colour 12-bit palette (a
// fixed colour cube) or as HAM8, each chunk with optional 8-bit mono sound.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace cxtool {

struct CdxlClip {
    int width = 64, height = 48;  // width a multiple of 16
    bool ham8 = false;
    int soundBytes = 0;           // signed 8-bit samples per chunk, even
    std::vector<std::vector<uint32_t>> frames;     // width x height each
    std::vector<std::vector<int8_t>> sound;        // soundBytes each (or none)
};

// The file's bytes.
std::vector<uint8_t> MakeCdxl(const CdxlClip &clip);
bool WriteCdxl(const std::string &path, const CdxlClip &clip);
// The palette entry a colour maps to, and that entry's colour (0x00RRGGBB),
// so that callers know the exact pictures a decoder must give.
uint32_t CdxlCubeColour(uint32_t rgb);
// The chunk rate a clip plays at (from its chunk size).
double CdxlClipRate(const CdxlClip &clip);

}  // namespace cxtool

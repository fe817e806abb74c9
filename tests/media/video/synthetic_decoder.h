// A video decoder plug-in made by the tests: a synthetic stream whose
// pictures carry their frame number, with exact pts, an optional tone, a
// settable decoding cost and seekability, and faults on request. It joins
// the video decoders' list as a plug-in record of its own.
#pragma once

#include <stdint.h>

#include <atomic>
#include <string>

#include "include/calyxtone/cxplugin.h"

namespace videotest {

struct SyntheticSettings {
    int32_t width = 64, height = 16;
    int32_t frames = 50;
    double fps = 25;
    bool rgb = false;         // 32-bit pixels rather than Y, U, V planes
    int32_t toneRate = 0;     // 0: no sound
    int32_t toneChannels = 2;
    int32_t toneHz = 440;
    uint32_t decodeCostUs = 0;
    bool seekable = true;
    // Faults.
    bool negativeSize = false;  // every packet claims a negative size
    bool nanPts = false;        // every packet and picture has NaN pts
    bool hugePacket = false;    // the 3rd packet claims 1 GiB
    bool oversizeFrame = false; // pictures larger than announced
    bool badFormat = false;     // OpenVideo announces a negative width
    bool stallAfter5 = false;   // frame 5's decode takes 1.5 s
    int32_t soundBytesOverride = -1; // >= 0: frame 0's sound is this many bytes, the rest none
};

// The file name the decoder takes ("synthetic:" + anything); the settings
// of the next open.
void SetSyntheticSettings(const SyntheticSettings &s);
// The plug-in record (module name "synthetic"); Register adds it to the
// video decoders' list, Unregister takes it off.
cxPlugin *SyntheticPlugin();
void RegisterSyntheticDecoder();
void UnregisterSyntheticDecoder();
// Counters of the last opened stream.
extern std::atomic<int> g_syntheticOpens, g_syntheticSeeks;

// The frame number a picture's first row carries (-1 when unreadable):
// bit i of the number is block i (4 pixels) of row 0, white for 1.
int32_t FrameOfPicture(const uint32_t *argb, int32_t width);

}  // namespace videotest

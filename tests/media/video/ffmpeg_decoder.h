// A video decoder plug-in for the tests on the system's FFmpeg libraries:
// it plays real files (any container and codec FFmpeg reads with 4:2:0
// pictures) through the player's packet, frame and seek interface. The
// player ships no decoder of this kind; only the tests and benchmarks use it.
#pragma once

#include <atomic>

#include "include/calyxtone/cxplugin.h"

namespace videotest {

// The plug-in record (module name "ffmpeg"); Register adds it to the video
// decoders' list ahead of the others, Unregister takes it off.
cxPlugin *FfmpegPlugin();
void RegisterFfmpegDecoder();
void UnregisterFfmpegDecoder();
// Pictures and sound blocks decoded since the start (for the benchmarks).
extern std::atomic<long> g_ffmpegPictures, g_ffmpegSoundBlocks;
// Decoding threads of the files opened next (1 in the tests, 0 for as many
// as FFmpeg picks).
void SetFfmpegThreads(int threads);

}  // namespace videotest

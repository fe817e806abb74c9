// Writers of the sound formats the player reads: IFF 8SVX and 16SV, RIFF
// WAVE and "M.K." modules, for tests, demos and benchmarks. Each gives the
// whole file as bytes; the chunk layout can be bent to make broken files.
#pragma once

#include <stdint.h>

#include <array>
#include <string>
#include <vector>

namespace cxsound {

using Bytes = std::vector<uint8_t>;

// 8-bit signed samples; stereo data is interleaved left, right. The IFF
// body stores all left samples, then all right ones.
Bytes Make8SVX(const std::vector<int8_t> &samples, uint32_t rate, bool stereo);
// 16-bit samples (big-endian in the file).
Bytes Make16SV(const std::vector<int16_t> &samples, uint32_t rate, bool stereo);
// PCM of bits 8 (unsigned bytes as given) or 16 (little-endian), channels
// interleaved. extraChunk, when not empty, is a chunk written between
// "fmt " and "data" (id and data; odd sizes get their pad byte).
Bytes MakeWave(const Bytes &pcm, uint32_t bits, uint32_t channels, uint32_t rate,
               const std::string &extraId = "", const Bytes &extraData = {});
Bytes Wave16(const std::vector<int16_t> &samples, uint32_t channels, uint32_t rate);

// A Protracker module.
struct ModuleCell {
    uint16_t period = 0;
    uint8_t sample = 0;
    uint8_t effect = 0;
    uint8_t param = 0;
};
struct ModuleSample {
    std::string name;
    std::vector<int8_t> data; // even length
    uint8_t finetune = 0;
    uint8_t volume = 64;
    uint32_t loopStart = 0;  // bytes, even
    uint32_t loopLength = 2; // bytes, even; 2 means no loop
};
using ModulePattern = std::array<std::array<ModuleCell, 4>, 64>;
struct ModuleLayout {
    std::string title;
    std::vector<ModuleSample> samples; // up to 31
    std::vector<uint8_t> order;        // the song
    std::vector<ModulePattern> patterns;
    int songLength = -1;               // -1: order.size()
};
Bytes MakeModule(const ModuleLayout &layout);

// The period of a note (0 = C-1 ... 35 = B-3) at finetune 0.
uint16_t NotePeriod(int note);

// Test signals: n frames of a sine of frequency hz at rate, amplitude of
// full scale 0..1 (interleaved copies for stereo).
std::vector<int16_t> Sine16(uint32_t frames, double hz, uint32_t rate, double amplitude, uint32_t channels);
std::vector<int8_t> Sine8(uint32_t frames, double hz, uint32_t rate, double amplitude, uint32_t channels);

// A busy four-channel demonstration module: a bass line, chords by
// arpeggio, a lead with vibrato and portamento, a drum loop of noise;
// patterns patterns long.
ModuleLayout DemoModule(int patterns);

bool WriteFile(const std::string &path, const Bytes &data);

}  // namespace cxsound

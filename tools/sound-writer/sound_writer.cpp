#include "tools/sound-writer/sound_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace cxsound {

namespace {

void Put(Bytes &b, const char *id) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(id[i]));
}
void BE32(Bytes &b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void BE16(Bytes &b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void LE32(Bytes &b, uint32_t v) {
    for (int s = 0; s < 32; s += 8) b.push_back(uint8_t(v >> s));
}
void LE16(Bytes &b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// FORM, VHDR, optional CHAN and a BODY of the given bytes.
Bytes MakeIFF(const char *type, const Bytes &body, uint32_t frames, uint32_t rate, bool stereo) {
    Bytes b;
    Put(b, "FORM");
    BE32(b, 0);
    Put(b, type);
    Put(b, "VHDR");
    BE32(b, 20);
    BE32(b, frames); // one-shot part
    BE32(b, 0);
    BE32(b, 0);
    BE16(b, rate);
    b.push_back(1); // octaves
    b.push_back(0); // no compression
    BE32(b, 0x10000);
    if (stereo) {
        Put(b, "CHAN");
        BE32(b, 4);
        BE32(b, 6);
    }
    Put(b, "BODY");
    BE32(b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
    const uint32_t form = uint32_t(b.size() - 8);
    b[4] = uint8_t(form >> 24), b[5] = uint8_t(form >> 16), b[6] = uint8_t(form >> 8), b[7] = uint8_t(form);
    return b;
}

const uint16_t kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                               428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                               214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

}  // namespace

uint16_t NotePeriod(int note) { return kPeriods[note < 0 ? 0 : (note > 35 ? 35 : note)]; }

Bytes Make8SVX(const std::vector<int8_t> &samples, uint32_t rate, bool stereo) {
    const size_t frames = stereo ? samples.size() / 2 : samples.size();
    Bytes body(stereo ? frames * 2 : frames);
    for (size_t i = 0; i < frames; i++) {
        if (stereo) {
            body[i] = uint8_t(samples[2 * i]);
            body[frames + i] = uint8_t(samples[2 * i + 1]);
        } else {
            body[i] = uint8_t(samples[i]);
        }
    }
    return MakeIFF("8SVX", body, uint32_t(frames), rate, stereo);
}

Bytes Make16SV(const std::vector<int16_t> &samples, uint32_t rate, bool stereo) {
    const size_t frames = stereo ? samples.size() / 2 : samples.size();
    Bytes body;
    body.reserve(samples.size() * 2);
    for (int part = 0; part < (stereo ? 2 : 1); part++)
        for (size_t i = 0; i < frames; i++) BE16(body, uint16_t(samples[stereo ? 2 * i + part : i]));
    return MakeIFF("16SV", body, uint32_t(frames), rate, stereo);
}

Bytes MakeWave(const Bytes &pcm, uint32_t bits, uint32_t channels, uint32_t rate, const std::string &extraId,
               const Bytes &extraData) {
    Bytes b;
    Put(b, "RIFF");
    LE32(b, 0);
    Put(b, "WAVE");
    Put(b, "fmt ");
    LE32(b, 16);
    LE16(b, 1);
    LE16(b, channels);
    LE32(b, rate);
    LE32(b, rate * channels * bits / 8);
    LE16(b, channels * bits / 8);
    LE16(b, bits);
    if (!extraId.empty()) {
        b.insert(b.end(), extraId.begin(), extraId.begin() + 4);
        LE32(b, uint32_t(extraData.size()));
        b.insert(b.end(), extraData.begin(), extraData.end());
        if (extraData.size() & 1) b.push_back(0);
    }
    Put(b, "data");
    LE32(b, uint32_t(pcm.size()));
    b.insert(b.end(), pcm.begin(), pcm.end());
    if (pcm.size() & 1) b.push_back(0);
    const uint32_t riff = uint32_t(b.size() - 8);
    b[4] = uint8_t(riff), b[5] = uint8_t(riff >> 8), b[6] = uint8_t(riff >> 16), b[7] = uint8_t(riff >> 24);
    return b;
}

Bytes Wave16(const std::vector<int16_t> &samples, uint32_t channels, uint32_t rate) {
    Bytes pcm;
    pcm.reserve(samples.size() * 2);
    for (int16_t s : samples) LE16(pcm, uint16_t(s));
    return MakeWave(pcm, 16, channels, rate);
}

Bytes MakeModule(const ModuleLayout &layout) {
    Bytes b(20, 0);
    memcpy(b.data(), layout.title.data(), layout.title.size() < 20 ? layout.title.size() : 20);
    for (size_t i = 0; i < 31; i++) {
        Bytes h(30, 0);
        if (i < layout.samples.size()) {
            const ModuleSample &s = layout.samples[i];
            memcpy(h.data(), s.name.data(), s.name.size() < 22 ? s.name.size() : 22);
            const uint32_t words = uint32_t(s.data.size() / 2);
            h[22] = uint8_t(words >> 8), h[23] = uint8_t(words);
            h[24] = s.finetune & 15;
            h[25] = s.volume;
            h[26] = uint8_t(s.loopStart / 2 >> 8), h[27] = uint8_t(s.loopStart / 2);
            h[28] = uint8_t(s.loopLength / 2 >> 8), h[29] = uint8_t(s.loopLength / 2);
        }
        b.insert(b.end(), h.begin(), h.end());
    }
    b.push_back(uint8_t(layout.songLength >= 0 ? layout.songLength : int(layout.order.size())));
    b.push_back(127);
    for (size_t i = 0; i < 128; i++) b.push_back(i < layout.order.size() ? layout.order[i] : 0);
    Put(b, "M.K.");
    for (const ModulePattern &p : layout.patterns) {
        for (const auto &row : p) {
            for (const ModuleCell &c : row) {
                b.push_back(uint8_t((c.sample & 0xF0) | (c.period >> 8 & 0x0F)));
                b.push_back(uint8_t(c.period));
                b.push_back(uint8_t((c.sample & 0x0F) << 4 | (c.effect & 0x0F)));
                b.push_back(c.param);
            }
        }
    }
    for (const ModuleSample &s : layout.samples)
        for (int8_t v : s.data) b.push_back(uint8_t(v));
    return b;
}

std::vector<int16_t> Sine16(uint32_t frames, double hz, uint32_t rate, double amplitude, uint32_t channels) {
    std::vector<int16_t> out;
    out.reserve(size_t(frames) * channels);
    for (uint32_t i = 0; i < frames; i++) {
        const int16_t v = int16_t(std::lround(std::sin(2 * M_PI * hz * i / rate) * amplitude * 32767));
        for (uint32_t c = 0; c < channels; c++) out.push_back(v);
    }
    return out;
}

std::vector<int8_t> Sine8(uint32_t frames, double hz, uint32_t rate, double amplitude, uint32_t channels) {
    std::vector<int8_t> out;
    out.reserve(size_t(frames) * channels);
    for (uint32_t i = 0; i < frames; i++) {
        const int8_t v = int8_t(std::lround(std::sin(2 * M_PI * hz * i / rate) * amplitude * 127));
        for (uint32_t c = 0; c < channels; c++) out.push_back(v);
    }
    return out;
}

ModuleLayout DemoModule(int patterns) {
    ModuleLayout m;
    m.title = "calyxtone demo";
    ModuleSample bass{"bass", {}, 0, 48, 0, 32};
    for (int i = 0; i < 32; i++) bass.data.push_back(int8_t(i < 16 ? 100 : -100));
    ModuleSample lead{"lead", {}, 0, 40, 0, 32};
    for (int i = 0; i < 32; i++) lead.data.push_back(int8_t(std::lround(std::sin(2 * M_PI * i / 32) * 110)));
    ModuleSample chord{"chord", {}, 0, 36, 0, 64};
    for (int i = 0; i < 64; i++) chord.data.push_back(int8_t(i < 32 ? -96 + i * 6 : 96 - (i - 32) * 6));
    ModuleSample drum{"drum", {}, 0, 64, 0, 2};
    uint32_t seed = 12345;
    for (int i = 0; i < 2400; i++) {
        seed = seed * 1103515245 + 12345;
        const double env = std::exp(-i / 500.0);
        drum.data.push_back(int8_t(int((seed >> 16) % 200 - 100) * env));
    }
    m.samples = {bass, lead, chord, drum};
    static const int bassNotes[8] = {0, 0, 7, 5, 3, 3, 10, 7};
    static const int leadNotes[16] = {24, 27, 31, 29, 27, 24, 22, 24, 31, 29, 27, 26, 24, 22, 19, 24};
    for (int p = 0; p < patterns; p++) {
        ModulePattern pat{};
        for (int r = 0; r < 64; r++) {
            auto &row = pat[r];
            if (r % 8 == 0) row[0] = {NotePeriod(bassNotes[(r / 8 + p) % 8]), 1, 0, 0};
            if (r % 16 == 0) row[1] = {NotePeriod(12 + bassNotes[(r / 16 + p) % 8]), 3, 0x0, 0x47};
            else row[1] = {0, 0, 0x0, 0x47};
            if (r % 4 == 0) row[2] = {NotePeriod(leadNotes[(r / 4 + p * 3) % 16]), 2, 0x4, 0x46};
            else if (r % 4 == 2) row[2] = {0, 0, 0xA, 0x02};
            else if (r % 8 == 3) row[2] = {NotePeriod(leadNotes[(r / 4 + p * 3 + 1) % 16]), 0, 0x3, 0x08};
            if (r % 4 == 0) row[3] = {NotePeriod(24), 4, 0xC, uint8_t(r % 16 == 0 ? 64 : 40)};
        }
        if (p == 0) pat[0][3].effect = 0xF, pat[0][3].param = 6;
        m.patterns.push_back(pat);
        m.order.push_back(uint8_t(p));
    }
    return m;
}

bool WriteFile(const std::string &path, const Bytes &data) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

}  // namespace cxsound

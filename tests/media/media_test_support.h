// What the anim and AVI tests share: ffmpeg as the maker of fixtures and
// the second opinion, whole-file edits, and little-endian fields.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/shell/test_files.h"

namespace cxtest {

inline bool HaveTool(const char *name) {
    const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

// Runs a shell command; its standard output, or "" when it failed (status
// in *status when given).
inline std::string RunOutput(const std::string &cmd, int *status = nullptr) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = pclose(p);
    if (status) *status = rc;
    return out;
}

inline bool Run(const std::string &cmd) { return system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

inline uint32_t Le32At(const Bytes &b, size_t at) {
    return b[at] | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
inline void PutLe32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
inline size_t Find(const Bytes &b, const char *tag, size_t from = 0) {
    const size_t n = strlen(tag);
    for (size_t i = from; i + n <= b.size(); ++i)
        if (memcmp(b.data() + i, tag, n) == 0) return i;
    return std::string::npos;
}

// Frames as ffmpeg decodes them: 0x00RRGGBB words, frame after frame.
inline std::vector<uint32_t> FfmpegFrames(const std::string &file, int width, int height) {
    const std::string raw = file + ".rgb";
    std::vector<uint32_t> out;
    if (!Run("ffmpeg -v error -y -i '" + file + "' -f rawvideo -pix_fmt rgb24 '" + raw + "'")) return out;
    const Bytes b = ReadBytes(raw);
    const size_t frame = size_t(width) * size_t(height) * 3;
    for (size_t at = 0; at + frame <= b.size(); at += frame)
        for (size_t i = 0; i < frame; i += 3) out.push_back(uint32_t(b[at + i]) << 16 | uint32_t(b[at + i + 1]) << 8 | b[at + i + 2]);
    return out;
}

}  // namespace cxtest

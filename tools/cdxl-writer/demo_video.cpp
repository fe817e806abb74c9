// Writes the video demo's clip: 160 x 120 CDXL, a ball bouncing over a
// colour ramp with a bar that grows with the frame number, and a tune of
// rising notes as its sound (8-bit mono, 1,024 bytes a chunk).
//   demo_video FILE
#include <stdio.h>

#include <cmath>

#include "tools/cdxl-writer/cdxl_writer.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: demo_video FILE\n");
        return 2;
    }
    cxtool::CdxlClip c;
    c.width = 160;
    c.height = 120;
    c.soundBytes = 1024;
    const int frames = 90;
    const double rate = cxtool::CdxlClipRate(c);
    const double soundRate = c.soundBytes * rate;
    for (int f = 0; f < frames; ++f) {
        std::vector<uint32_t> px(size_t(c.width) * c.height);
        const double t = f / rate;
        const double bx = 20 + 120 * std::fabs(std::sin(t * 1.7)), by = 100 - 80 * std::fabs(std::sin(t * 3.1));
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                uint32_t colour = uint32_t(x * 255 / c.width) << 16 | uint32_t(y * 255 / c.height) << 8 | 0x60;
                const double dx = x - bx, dy = y - by;
                if (dx * dx + dy * dy < 14 * 14) colour = 0xFFFF40;
                if (y >= 112 && x < f * c.width / frames) colour = 0xFFFFFF;
                px[size_t(y) * c.width + x] = colour;
            }
        c.frames.push_back(px);
        std::vector<int8_t> s(size_t(c.soundBytes));
        const double note = 220.0 * std::pow(2.0, (f / 15) / 4.0);  // a new note every 15 frames
        for (int i = 0; i < c.soundBytes; ++i) {
            const double at = (double(f) * c.soundBytes + i) / soundRate;
            s[size_t(i)] = int8_t(90 * std::sin(2 * M_PI * note * at));
        }
        c.sound.push_back(s);
    }
    if (!cxtool::WriteCdxl(argv[1], c)) {
        fprintf(stderr, "demo_video: cannot write %s\n", argv[1]);
        return 1;
    }
    printf("%d frames at %.2f frames a second, sound at %.0f Hz\n", frames, rate, soundRate);
    return 0;
}

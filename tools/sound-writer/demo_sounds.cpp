// Writes the sound files of the sound demo:
//   demo_sounds bell <file.8svx>   a struck bell, 8-bit mono at 22,050 Hz
//   demo_sounds pad <file.wav>     a chord for looping, 16-bit stereo at 44,100 Hz
//   demo_sounds song <file.mod>    a four-channel module of four patterns
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/sound-writer/sound_writer.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: demo_sounds bell|pad|song <file>\n");
        return 2;
    }
    cxsound::Bytes data;
    if (!strcmp(argv[1], "bell")) {
        const uint32_t rate = 22050, frames = rate;
        std::vector<int8_t> s;
        for (uint32_t i = 0; i < frames; i++) {
            const double t = double(i) / rate, env = std::exp(-3.5 * t);
            const double v = std::sin(2 * M_PI * 880 * t) + 0.5 * std::sin(2 * M_PI * 2200 * t) * std::exp(-6 * t);
            s.push_back(int8_t(std::lround(v / 1.5 * env * 120)));
        }
        data = cxsound::Make8SVX(s, rate, false);
    } else if (!strcmp(argv[1], "pad")) {
        const uint32_t rate = 44100, frames = rate / 2;
        std::vector<int16_t> s;
        // Whole periods of each tone fit the loop, so it repeats without a click.
        for (uint32_t i = 0; i < frames; i++) {
            const double t = double(i) / rate;
            const double l = std::sin(2 * M_PI * 220 * t) + std::sin(2 * M_PI * 330 * t);
            const double r = std::sin(2 * M_PI * 220 * t) + std::sin(2 * M_PI * 276 * t);
            s.push_back(int16_t(std::lround(l / 2 * 9000)));
            s.push_back(int16_t(std::lround(r / 2 * 9000)));
        }
        data = cxsound::Wave16(s, 2, rate);
    } else if (!strcmp(argv[1], "song")) {
        data = cxsound::MakeModule(cxsound::DemoModule(4));
    } else {
        fprintf(stderr, "demo_sounds: unknown sound %s\n", argv[1]);
        return 2;
    }
    if (!cxsound::WriteFile(argv[2], data)) {
        fprintf(stderr, "demo_sounds: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

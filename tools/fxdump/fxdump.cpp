// fxdump: writes the frames of one transition effect, driven off screen by
// the effect harness, as numbered PNGs and a contact sheet.
//
//   fxdump EFFECT [options]
//     EFFECT            a number or a constant name (HSTRIPES, CROSSFADE ...)
//     --size WxH        the effect rectangle (default 64x48)
//     --speed N         the speed (default -1, NORMALSPEED)
//     --parameter N     the parameter (default -1)
//     --mode M          direct, layer or hide (default direct)
//     --channel C       opaque, mask or alpha (default opaque)
//     --out DIR         where the files go (default .)
//     --columns N       frames per row of the sheet (default 8)
//     --sheet N         at most N frames on the sheet, evenly picked (default 48)
//     --no-frames       the contact sheet only
//
// The old picture is dark and the new one bright, each a gradient of its
// own coordinates; layer modes show the canvas over grey; the band around
// the rectangle is not shown.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "layers/transitions/effect_traits.h"
#include "tests/layers/transitions/fx_harness.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: fxdump EFFECT [--size WxH] [--speed N] [--parameter N] [--mode direct|layer|hide]\n"
                 "              [--channel opaque|mask|alpha] [--out DIR] [--columns N] [--sheet N] [--no-frames]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return Usage();
    cxfx::FxCase c;
    c.width = 64, c.height = 48;
    const char *name = argv[1];
    char *end = nullptr;
    const long number = std::strtol(name, &end, 10);
    c.effect = (end && *end == 0) ? int(number) : FindEffectByName(name);
    if (c.effect < 0 || c.effect >= CX_FX_COUNT || !IsEffectBuilt(c.effect)) {
        std::fprintf(stderr, "fxdump: no effect %s\n", name);
        return 2;
    }
    std::string out = ".";
    int columns = 8, sheetMax = 48;
    bool frames = true;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--no-frames") {
            frames = false;
            continue;
        }
        if (!v) return Usage();
        ++i;
        if (a == "--size") {
            if (std::sscanf(v, "%dx%d", &c.width, &c.height) != 2) return Usage();
        } else if (a == "--speed") {
            c.speed = std::atoi(v);
        } else if (a == "--parameter") {
            c.parameter = std::atoi(v);
        } else if (a == "--mode") {
            c.mode = !std::strcmp(v, "layer") ? cxfx::Mode::Layer : !std::strcmp(v, "hide") ? cxfx::Mode::LayerHide : cxfx::Mode::Direct;
        } else if (a == "--channel") {
            c.channel = !std::strcmp(v, "mask") ? cxfx::Channel::Mask : !std::strcmp(v, "alpha") ? cxfx::Channel::Alpha : cxfx::Channel::Opaque;
        } else if (a == "--out") {
            out = v;
        } else if (a == "--columns") {
            columns = std::max(1, std::atoi(v));
        } else if (a == "--sheet") {
            sheetMax = std::max(1, std::atoi(v));
        } else {
            return Usage();
        }
    }
    if (c.width < 1 || c.height < 1 || c.width > 2047 || c.height > 2047) {
        std::fprintf(stderr, "fxdump: sizes from 1 to 2047\n");
        return 2;
    }
    c.readable = true;
    cxfx::FxRun run(c);
    if (int err = run.Prepare()) {
        std::fprintf(stderr, "fxdump: the set-up failed with %d\n", err);
        return 1;
    }
    auto look = [&] {
        std::vector<uint32_t> f = run.Frame();
        if (c.mode == cxfx::Mode::Direct) return f;
        // The canvas over grey, as its transparency lets it show.
        const std::vector<uint8_t> a = run.CanvasChannel();
        for (size_t i = 0; i < f.size(); ++i) {
            uint32_t mixed = 0;
            for (int sh = 0; sh < 24; sh += 8) {
                const uint32_t bg = 0x40, fg = (f[i] >> sh) & 0xFF;
                mixed |= ((bg * (255 - a[i]) + fg * a[i]) / 255) << sh;
            }
            f[i] = mixed;
        }
        return f;
    };
    std::vector<std::vector<uint32_t>> all;
    all.push_back(look());
    int done = 0;
    for (int32_t k = 0; !done && k < run.Steps() + 2; ++k) {
        if (int err = run.Step(&done)) {
            std::fprintf(stderr, "fxdump: step %d failed with %d\n", k, err);
            return 1;
        }
        all.push_back(look());
    }
    char file[4096];
    if (frames)
        for (size_t i = 0; i < all.size(); ++i) {
            std::snprintf(file, sizeof file, "%s/frame_%04zu.png", out.c_str(), i);
            if (int err = cxfx::WritePng(file, all[i], c.width, c.height)) {
                std::fprintf(stderr, "fxdump: cannot write %s (%d)\n", file, err);
                return 1;
            }
        }
    std::vector<std::vector<uint32_t>> picked;
    const size_t n = all.size(), m = std::min<size_t>(n, size_t(sheetMax));
    for (size_t i = 0; i < m; ++i) picked.push_back(all[m > 1 ? i * (n - 1) / (m - 1) : 0]);
    int sw = 0, sh = 0;
    const std::vector<uint32_t> sheet = cxfx::ContactSheet(picked, c.width, c.height, columns, &sw, &sh);
    std::snprintf(file, sizeof file, "%s/contact.png", out.c_str());
    if (int err = cxfx::WritePng(file, sheet, sw, sh)) {
        std::fprintf(stderr, "fxdump: cannot write %s (%d)\n", file, err);
        return 1;
    }
    std::printf("%s: %d steps, %zu frames, sheet %s\n", c.Describe().c_str(), run.Steps(), n, file);
    return 0;
}

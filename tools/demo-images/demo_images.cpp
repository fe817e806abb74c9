// Writes the demos' pictures:
//   demo_images ball OUT.png   a 96x96 shaded ball whose edge fades out (PNG with alpha)
//   demo_images tiles OUT.jpg  a 64x64 chequered tile (JPEG)
//   demo_images spinner OUT.gif  a 64x64 turning bar, 12 frames of 80 ms, clear around it (GIF anim)
//   demo_images bounce OUT.avi   a 128x96 bouncing ball, 32 frames at 25 per second (Motion JPEG AVI)
//   demo_images orb OUT.gif      a 40x40 ball whose light turns round it, 8 frames, clear around it (GIF anim)
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "images/formats/gif_codec.h"
#include "images/formats/jpeg_codec.h"
#include "images/formats/png_codec.h"
#include "media/avi/avi_writer.h"

namespace {

int Ball(const char *path) {
    const int n = 96;
    std::vector<uint32_t> px(n * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double dx = (x + 0.5 - n / 2.0) / (n / 2.0), dy = (y + 0.5 - n / 2.0) / (n / 2.0);
            const double r = std::sqrt(dx * dx + dy * dy);
            // Opaque inside, a soft rim, nothing outside.
            const double a = r < 0.8 ? 1.0 : r < 1.0 ? (1.0 - r) / 0.2 : 0.0;
            // Lit from the top left.
            const double light = std::max(0.0, 1.0 - std::hypot(dx + 0.35, dy + 0.35));
            const int red = int(200 + 55 * light), green = int(120 + 135 * light * light), blue = int(20 + 60 * light);
            px[y * n + x] = (uint32_t(a * 255 + 0.5) << 24) | (uint32_t(red) << 16) | (uint32_t(green) << 8) |
                            uint32_t(blue);
        }
    cxPngWriteRequest r{};
    r.file = path;
    r.pixels = px.data();
    r.bytesPerRow = n * 4;
    r.width = n;
    r.height = n;
    r.alpha = 1;
    SavePNGImage(&r);
    return r.error;
}

int Tiles(const char *path) {
    const int n = 64;
    std::vector<uint32_t> px(n * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) px[y * n + x] = ((x / 16 + y / 16) & 1) ? 0xFF2060C0u : 0xFFE0E0F0u;
    cxJpegWriteRequest r{};
    r.pixels = px.data();
    r.bytesPerRow = n * 4;
    r.width = n;
    r.height = n;
    r.quality = 90;
    WriteJpegImage(&r);
    if (r.error) return r.error;
    FILE *f = fopen(path, "wb");
    const bool ok = f && fwrite(r.data, 1, r.size, f) == r.size;
    if (f) fclose(f);
    FreeEncodedBuffer(r.encoded);
    return ok ? 0 : 1;
}

int Spinner(const char *path) {
    const int n = 64, frames = 12;
    cxGifWriter *g = nullptr;
    if (int err = CreateGIFFile(path, n, n, &g)) return err;
    for (int f = 0; f < frames; ++f) {
        // Index 0 clear, 1 the disc, 2 the bar, 3 the hub.
        std::vector<uint8_t> px(n * n, 0);
        const double angle = f * M_PI / frames;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const double dx = x + 0.5 - n / 2.0, dy = y + 0.5 - n / 2.0, r = std::hypot(dx, dy);
                if (r > 30) continue;
                const double along = dx * std::cos(angle) + dy * std::sin(angle);
                const double across = -dx * std::sin(angle) + dy * std::cos(angle);
                px[y * n + x] = r < 5 ? 3 : (std::fabs(across) < 5 && std::fabs(along) < 27) ? 2 : 1;
            }
        uint32_t palette[256] = {0xFF00FF, 0x203060, 0xF0C040, 0xFFFFFF};
        if (int err = WriteGIFFile(g, px.data(), n, n, 80, palette, 4, 0, 0, 0)) {
            FinishGIFFile(g);
            return err;
        }
    }
    return FinishGIFFile(g);
}

int Orb(const char *path) {
    const int n = 40, frames = 8;
    cxGifWriter *g = nullptr;
    if (int err = CreateGIFFile(path, n, n, &g)) return err;
    // Index 0 clear; 1 to 15 the ball from dark to lit.
    uint32_t palette[256] = {0xFF00FF};
    for (int i = 1; i < 16; ++i) palette[i] = uint32_t(60 + 13 * i) << 16 | uint32_t(20 + 14 * i) << 8 | uint32_t(120 + 9 * i);
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> px(n * n, 0);
        const double angle = 2 * M_PI * f / frames;
        const double lx = 0.45 * std::cos(angle), ly = 0.45 * std::sin(angle);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const double dx = (x + 0.5 - n / 2.0) / (n / 2.0), dy = (y + 0.5 - n / 2.0) / (n / 2.0);
                if (dx * dx + dy * dy > 1) continue;
                const double light = std::max(0.0, 1.0 - std::hypot(dx - lx, dy - ly));
                px[y * n + x] = uint8_t(1 + std::min(14, int(light * 15)));
            }
        if (int err = WriteGIFFile(g, px.data(), n, n, 60, palette, 16, 0, 0, 0)) {
            FinishGIFFile(g);
            return err;
        }
    }
    return FinishGIFFile(g);
}

int Bounce(const char *path) {
    const int w = 128, h = 96, frames = 32;
    cxAviWriter *a = nullptr;
    if (int err = BeginAviWriter(path, 25, 0, w, h, 90, 0, 0, "bounce", "", &a)) return err;
    std::vector<uint32_t> px(w * h);
    for (int f = 0; f < frames; ++f) {
        const double t = double(f) / frames;
        const double cx = 16 + (w - 32) * t, cy = h - 16 - (h - 32) * std::fabs(std::sin(2 * M_PI * t));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool ball = std::hypot(x + 0.5 - cx, y + 0.5 - cy) < 12;
                const uint32_t sky = 0xFF000000u | uint32_t(40 + y) << 16 | uint32_t(80 + y) << 8 | uint32_t(160 + y / 2);
                px[y * w + x] = ball ? 0xFFE04020u : sky;
            }
        if (int err = WriteAviFrameARGB(a, px.data(), w)) {
            FreeAviWriter(a);
            return err;
        }
    }
    return FinishAviWriter(a);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: demo_images ball|tiles|spinner|bounce|orb OUT\n");
        return 2;
    }
    const char *what = argv[1];
    const int err = strcmp(what, "ball") == 0      ? Ball(argv[2])
                    : strcmp(what, "tiles") == 0   ? Tiles(argv[2])
                    : strcmp(what, "spinner") == 0 ? Spinner(argv[2])
                    : strcmp(what, "bounce") == 0  ? Bounce(argv[2])
                    : strcmp(what, "orb") == 0     ? Orb(argv[2])
                                                   : 2;
    if (err) fprintf(stderr, "demo_images: cannot write %s (%d)\n", argv[2], err);
    return err ? 1 : 0;
}

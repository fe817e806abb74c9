// Writes the demos' pictures:
//   demo_images ball OUT.png   a 96x96 shaded ball whose edge fades out (PNG with alpha)
//   demo_images tiles OUT.jpg  a 64x64 chequered tile (JPEG)
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "images/formats/jpeg_codec.h"
#include "images/formats/png_codec.h"

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

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: demo_images ball|tiles OUT\n");
        return 2;
    }
    const int err = strcmp(argv[1], "ball") == 0 ? Ball(argv[2]) : strcmp(argv[1], "tiles") == 0 ? Tiles(argv[2]) : 2;
    if (err) fprintf(stderr, "demo_images: cannot write %s (%d)\n", argv[2], err);
    return err ? 1 : 0;
}

// Decoding and encoding beside the bare libraries, on one synthetic
// 1024 x 768 picture (smooth gradients with noise, like a photograph):
//   PNG decode vs png_image_finish_read to BGRA        goal within 1.1x
//   JPEG decode vs tjDecompress2 to BGRX               goal 1.1x, turned 1.5x
//   GIF frame 0 vs DGifSlurp + palette mapping         goal within 1.5x
//   JPEG encode vs tjCompress2                         goal within 1.2x
//   ILBM 320 x 256 x 8 planes to chunky                goal well under 1 ms
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <gif_lib.h>
#include <png.h>
#include <turbojpeg.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "images/formats/bitplanes.h"
#include "images/formats/gif_codec.h"
#include "images/formats/image_saver.h"
#include "images/formats/jpeg_codec.h"
#include "images/formats/png_codec.h"
#include "streams/memory_name.h"

namespace {

constexpr int kW = 1024, kH = 768;

std::vector<uint32_t> Picture() {
    std::vector<uint32_t> px(kW * kH);
    uint32_t seed = 12345;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) {
            seed = seed * 1103515245u + 12345u;
            const int n = (seed >> 16) % 9 - 4;
            auto c = [&](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            px[y * kW + x] = c(x / 4 + n) << 16 | c(y / 3 + n) << 8 | c((x + y) / 7 + n);
        }
    return px;
}

std::vector<uint8_t> ReadAll(const char *path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

struct Files {
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> png, jpeg, gif;
    Files() {
        pixels = Picture();
        char tmpl[] = "/tmp/cxbenchXXXXXX";
        const int fd = mkstemp(tmpl);
        close(fd);
        const std::string base = tmpl;
        SaveImage(CX_SAVE_PNG, pixels.data(), kW, kH, (base + ".png").c_str(), 0, 0, 0, 0);
        SaveImage(CX_SAVE_GIF, pixels.data(), kW, kH, (base + ".gif").c_str(), 0, 0, 256, 0);
        png = ReadAll((base + ".png").c_str());
        gif = ReadAll((base + ".gif").c_str());
        unlink((base + ".png").c_str());
        unlink((base + ".gif").c_str());
        unlink(tmpl);
        tjhandle tj = tjInitCompress();
        unsigned char *out = nullptr;
        unsigned long size = 0;
        tjCompress2(tj, reinterpret_cast<const unsigned char *>(pixels.data()), kW, 0, kH, TJPF_BGRX, &out, &size,
                    TJSAMP_420, 85, 0);
        jpeg.assign(out, out + size);
        tjFree(out);
        tjDestroy(tj);
    }
};

const Files &F() {
    static Files f;
    return f;
}

cxStream *OpenMemory(const std::vector<uint8_t> &b) {
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, b.data(), b.size());
    return OpenFileStream(name, CX_STREAM_READ, nullptr);
}

void PngOurs(benchmark::State &st) {
    for (auto _ : st) {
        cxStream *s = OpenMemory(F().png);
        int w, h, a, err;
        uint32_t *px = nullptr;
        LoadPNGImage(s, 0, &w, &h, &px, &a, &err);
        CloseFileStream(s);
        benchmark::DoNotOptimize(px);
        free(px);
    }
}
void PngLibpngSimplified(benchmark::State &st) {
    std::vector<uint8_t> out(kW * kH * 4);
    for (auto _ : st) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, F().png.data(), F().png.size());
        image.format = PNG_FORMAT_BGRA;
        png_image_finish_read(&image, nullptr, out.data(), 0, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
}

void JpegOurs(benchmark::State &st) {
    const int orientation = static_cast<int>(st.range(0));
    for (auto _ : st) {
        int w, h;
        uint32_t *px = nullptr;
        ReadJpegImage(F().jpeg.data(), F().jpeg.size(), 0, orientation, &w, &h, &px);
        benchmark::DoNotOptimize(px);
        free(px);
    }
}
void JpegTurbo(benchmark::State &st) {
    tjhandle tj = tjInitDecompress();
    for (auto _ : st) {
        // The same work as ours: the output buffer is allocated per picture.
        unsigned char *out = static_cast<unsigned char *>(malloc(kW * kH * 4));
        tjDecompress2(tj, F().jpeg.data(), F().jpeg.size(), out, kW, 0, kH, TJPF_BGRX, 0);
        benchmark::DoNotOptimize(out);
        free(out);
    }
    tjDestroy(tj);
}

void JpegEncodeOurs(benchmark::State &st) {
    for (auto _ : st) {
        cxJpegWriteRequest req{};
        req.pixels = F().pixels.data();
        req.bytesPerRow = kW * 4;
        req.width = kW;
        req.height = kH;
        req.quality = 85;
        WriteJpegImage(&req);
        benchmark::DoNotOptimize(req.data);
        FreeEncodedBuffer(req.encoded);
    }
}
void JpegEncodeTurbo(benchmark::State &st) {
    tjhandle tj = tjInitCompress();
    for (auto _ : st) {
        unsigned char *out = nullptr;
        unsigned long size = 0;
        tjCompress2(tj, reinterpret_cast<const unsigned char *>(F().pixels.data()), kW, 0, kH, TJPF_BGRX, &out, &size,
                    TJSAMP_420, 85, 0);
        benchmark::DoNotOptimize(out);
        tjFree(out);
    }
    tjDestroy(tj);
}

void GifOurs(benchmark::State &st) {
    for (auto _ : st) {
        int w, h, frames, t;
        cxGifReader *r = OpenGIFFile(OpenMemory(F().gif), &w, &h, &frames, 0, 0, 0);
        uint32_t *px = ReadGIFFrame(r, 0, &t);
        benchmark::DoNotOptimize(px);
        free(px);
        CloseGIFFile(r);
    }
}
struct MemRead {
    const std::vector<uint8_t> *b;
    size_t at;
};
int GifInput(GifFileType *gif, GifByteType *buf, int n) {
    MemRead *m = static_cast<MemRead *>(gif->UserData);
    const size_t take = std::min<size_t>(n, m->b->size() - m->at);
    memcpy(buf, m->b->data() + m->at, take);
    m->at += take;
    return static_cast<int>(take);
}
void GifGiflib(benchmark::State &st) {
    for (auto _ : st) {
        MemRead m{&F().gif, 0};
        int err = 0;
        GifFileType *gif = DGifOpen(&m, GifInput, &err);
        DGifSlurp(gif);
        const SavedImage &im = gif->SavedImages[0];
        const ColorMapObject *map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
        uint32_t pal[256] = {};
        for (int i = 0; i < map->ColorCount; i++)
            pal[i] = 0xFF000000u | uint32_t(map->Colors[i].Red) << 16 | uint32_t(map->Colors[i].Green) << 8 |
                     map->Colors[i].Blue;
        uint32_t *px = static_cast<uint32_t *>(malloc(size_t(gif->SWidth) * gif->SHeight * 4));
        const size_t n = size_t(im.ImageDesc.Width) * im.ImageDesc.Height;
        for (size_t i = 0; i < n; i++) px[i] = pal[im.RasterBits[i]];
        benchmark::DoNotOptimize(px);
        free(px);
        DGifCloseFile(gif, &err);
    }
}

void IlbmPlanarToChunky(benchmark::State &st) {
    const int w = 320, h = 256, depth = 8;
    const size_t bpr = CX_PLANE_ROW_BYTES(w);
    std::vector<uint8_t> planes(depth * h * bpr);
    for (size_t i = 0; i < planes.size(); i++) planes[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    std::vector<uint8_t> out(w * h);
    for (auto _ : st) {
        memset(out.data(), 0, out.size());
        ConvertBitplanes(planes.data(), w, h, depth, bpr, out.data(), w);
        benchmark::DoNotOptimize(out.data());
    }
}

}  // namespace

BENCHMARK(PngOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(PngLibpngSimplified)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegOurs)->Arg(1)->Arg(6)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegTurbo)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegEncodeOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegEncodeTurbo)->Unit(benchmark::kMillisecond);
BENCHMARK(GifOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(GifGiflib)->Unit(benchmark::kMillisecond);
BENCHMARK(IlbmPlanarToChunky)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();

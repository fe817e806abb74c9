// PNG files for the icon tests, read and written with libpng's own
// simplified interface only, so that the files the icon library writes are
// checked without its own image code.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace icontest {

// 0xAARRGGBB words, width x height.
struct Image {
    int width = 0;
    int height = 0;
    bool alpha = false;
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
};

// Writes RGBA (alpha set) or RGB.
inline bool WritePng(const std::string &path, const Image &img) {
    png_image pi{};
    pi.version = PNG_IMAGE_VERSION;
    pi.width = static_cast<png_uint_32>(img.width);
    pi.height = static_cast<png_uint_32>(img.height);
    pi.format = img.alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const int channels = img.alpha ? 4 : 3;
    std::vector<uint8_t> bytes;
    for (uint32_t p : img.px) {
        bytes.push_back(static_cast<uint8_t>(p >> 16));
        bytes.push_back(static_cast<uint8_t>(p >> 8));
        bytes.push_back(static_cast<uint8_t>(p));
        if (channels == 4) bytes.push_back(static_cast<uint8_t>(p >> 24));
    }
    return png_image_write_to_file(&pi, path.c_str(), 0, bytes.data(), 0, nullptr) != 0;
}

// Reads any PNG as RGBA words; alpha tells whether the file has alpha.
inline bool ReadPng(const std::string &path, Image *out) {
    png_image pi{};
    pi.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&pi, path.c_str())) return false;
    out->alpha = (pi.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    // linear data would be rescaled: ask for plain 8-bit sRGB RGBA
    pi.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(pi));
    if (!png_image_finish_read(&pi, nullptr, bytes.data(), 0, nullptr)) return false;
    out->width = static_cast<int>(pi.width);
    out->height = static_cast<int>(pi.height);
    out->px.resize(static_cast<size_t>(out->width) * out->height);
    for (size_t i = 0; i < out->px.size(); i++)
        out->px[i] = (uint32_t(bytes[i * 4 + 3]) << 24) | (uint32_t(bytes[i * 4]) << 16) |
                     (uint32_t(bytes[i * 4 + 1]) << 8) | bytes[i * 4 + 2];
    return true;
}

// A test pattern: every pixel differs, and seed tells images apart.
inline Image Pattern(int w, int h, uint32_t seed, bool alpha) {
    Image img;
    img.width = w;
    img.height = h;
    img.alpha = alpha;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint32_t a = alpha ? static_cast<uint32_t>((x * 7 + y * 3 + seed) & 0xFF) : 0xFF;
            img.px.push_back((a << 24) | ((seed * 40 + x) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8 | ((x ^ y) & 0xFF));
        }
    return img;
}

} // namespace icontest

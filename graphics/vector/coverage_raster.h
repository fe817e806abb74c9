// The scanline filler of the vector engine and the draw library: edges
// are accumulated as signed area into one float per pixel, and a running
// sum along each row turns them into 8-bit coverage. Its cost grows with
// the edges' length and the box's area, never with how often the edges
// cross a row, which is what long stroked outlines do.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <cstdint>
#include <vector>

class cxCoverageRaster {
public:
    // Makes the accumulator width x height, cleared. False when it cannot
    // be allocated (the raster then holds nothing and draws nothing).
    bool Begin(int32_t width, int32_t height);
    // An edge in pixels, y down; pixel (x, y) spans [x, x+1) x [y, y+1).
    // Whatever lies outside the box is clipped away, keeping its winding.
    void Line(double x0, double y0, double x1, double y1);
    // Every contour of a FreeType outline in 26.6 (its y taken as down),
    // moved by (dx, dy) pixels; curves are flattened to a tenth of a pixel.
    void Outline(const FT_Outline &outline, double dx, double dy);
    // Writes the coverage, by the even-odd or the non-zero rule, into
    // pixels (bytesPerRow apart), keeping the larger of it and what is
    // there when merge is set, and clears the accumulator for the next
    // outline.
    void Resolve(uint8_t *pixels, int32_t bytesPerRow, bool evenOdd, bool merge);

private:
    void Clipped(double x0, double y0, double x1, double y1);
    void Curve(const double *p, int degree);
    void Touch(int32_t y, int32_t x, int32_t count);
    std::vector<float> acc_;
    int32_t width_ = 0, height_ = 0, stride_ = 0;
    double dx_ = 0, dy_ = 0;
    bool dirty_ = false; // drawn into since the last Resolve
    // A bit for each cell drawn into, words_ words a row: resolving reads
    // only those.
    std::vector<uint64_t> marks_;
    int32_t words_ = 0;
};

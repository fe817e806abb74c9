// Drawing one styled run into the text image: glyphs through the font
// layer, the program's own bold, italic and underline, then shadow, edge
// and the text itself, each laid over what is below.
#pragma once

#include <cstdint>
#include <vector>

#include "text/layout/text_types.h"

// The text image under construction: straight-alpha 0xAARRGGBB pixels,
// and the work bitmaps the font layer renders glyphs into (image-sized,
// made on first use).
struct cxTextCanvas {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> argb;
    cxBitmap *glyphMask = nullptr;
    cxBitmap *glyphAlpha = nullptr;
    cxBitmap *glyphColour = nullptr;
    // Scratch kept between runs.
    std::vector<uint8_t> glyphs, edge;
    std::vector<uint32_t> glyphColours, sums;

    cxTextCanvas() = default;
    cxTextCanvas(const cxTextCanvas &) = delete;
    cxTextCanvas &operator=(const cxTextCanvas &) = delete;
    ~cxTextCanvas();
    // A cleared image of width x height. 0 or ERR_MEM.
    int Reset(int32_t w, int32_t h);
};

// Draws the run with its pen at (x, y) of the image (top of the line);
// width is the run's box width, grown by the caller to underline a
// justified gap. 0 or ERR_MEM, ERR_ALLOCMASK, ERR_ALLOCALPHA, ERR_BITMAP.
int EdgeDraw(cxTextCanvas &canvas, const cxTextRun &run, int32_t x, int32_t y, int32_t width, int32_t encoding);

// The edge of a coverage image of w x h: an image of (w + 2e) x (h + 2e)
// whose pixel (i, j) sums the coverage under the (2e + 1)-square window
// ending there. alphaText: sum / (2e + 1) clamped to 255; else 255 where
// any coverage lies under the window. Runs in time linear in the area
// whatever e is.
void BuildEdgeCoverage(const uint8_t *coverage, int32_t w, int32_t h, int32_t e, bool alphaText,
                       std::vector<uint32_t> &sums, std::vector<uint8_t> &out);

// Lays a coverage image of w x h at (x, y) over the canvas in a colour
// whose top byte is a transparency; colours, when given, are per pixel
// (colour fonts) and take the transparency of colour.
void CompositeCoverage(cxTextCanvas &canvas, const uint8_t *coverage, int32_t w, int32_t h, int32_t x, int32_t y,
                       uint32_t colour, const uint32_t *colours);

// Shadow offset of a direction (anything beyond 0..7 as south-east).
void ShadowOffset(int32_t dir, int32_t size, int32_t *dx, int32_t *dy);

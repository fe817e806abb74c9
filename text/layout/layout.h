// The layout engine's pure half: a text with its tags, tabs, line feeds and
// blanks becomes runs of one style placed on lines, wrapped and aligned;
// the runs then become one image with a mask or alpha channel.
#pragma once

#include <string>
#include <vector>

#include "engine/vm/lua.h"
#include "text/layout/text_types.h"

// Render modes.
enum { CX_RENDER_OBJECT = 8, CX_RENDER_DRAW = 9, CX_RENDER_PRINT = 11 };

struct cxTextLayout {
    std::string buffer;           // the text without its tags; runs point into it
    std::vector<cxTextRun> runs;  // in text order
    int32_t lineHeight = 0;
    int32_t endX = 0, endY = 0;   // the pen after the last character
    // The image's box in layout coordinates (the pen of the first line's
    // start is at x 0, or the start x in print mode; the first line's top is 0).
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool alphaImage = false;      // an alpha channel rather than a mask
    std::vector<int32_t> lineBreaks, tabChoices; // as recorded
};

// Lays out rec's text. In print mode the first line starts at
// cursorX - leftMargin and the wrap width is rightMargin - leftMargin + 1;
// otherwise rightMargin is the wrap width (0: none). Stored line-break and
// tab tables of rec are followed; new ones are recorded in out. 0 or the
// tag and font errors.
int LayoutText(lua_State *L, const cxTextRecord &rec, int mode, int tagsOff, cxTextLayout &out);

// The image of a layout. *bitmap and one of *mask / *alpha are new; the
// image's top-left lies at (layout.left, layout.top). 0 or ERR_MEM,
// ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA.
int DrawTextLayout(const cxTextLayout &layout, const cxTextRecord &rec, cxBitmap **bitmap, cxBitmap **mask,
                   cxBitmap **alpha);

// The width of a blank in the style (at least 1).
int32_t BlankWidth(const cxTextStyle &style, int32_t encoding);

// Dashing for the inbuilt engine: an outline's contours, flattened, cut
// into the on-lengths of a dash pattern, each piece an open polyline for
// the stroker.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <vector>

struct cxDashPiece {
    std::vector<FT_Vector> points;
};

// True and the pieces when the pattern can dash: at least one length, all
// finite and not negative, with a positive finite sum, and not so fine
// that the pieces would run into the millions. False means: draw solid.
// Points are in 26.6 with FreeType tags; ends and closed describe the
// contours.
bool MakeDashPieces(const FT_Vector *points, const char *tags, const short *ends, const char *closed, int contours,
                    const double *dashes, uint32_t count, double offset, std::vector<cxDashPiece> &pieces);

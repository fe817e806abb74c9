// Polylines stroked by FreeType's stroker straight into a coverage raster:
// the outlines of the draw library's shapes, in pieces small enough for
// FreeType's outlines however many points the polyline has.
#pragma once

#include <cstdint>

#include "graphics/vector/coverage_raster.h"

// Adds to the raster the stroke, width pixels wide with round caps, of the
// count points of xy (x, y pairs) moved by (dx, dy); closed joins the last
// point to the first. Joins are round, or mitred (bevelled past twice the
// width) when roundJoins is 0. A polyline that stays on one point is a dot.
// False when FreeType cannot stroke it (out of memory).
bool StrokePolyline(cxCoverageRaster &raster, const double *xy, int32_t count, bool closed, double width,
                    bool roundJoins, double dx, double dy);

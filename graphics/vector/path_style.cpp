#include "graphics/vector/path_style.h"

#include <cstdlib>
#include <cstring>

#include "errors/error_codes.h"
#include "graphics/vector/vector_fonts.h"

namespace {

cxPathStyle g_style = {CX_JOIN_MITER, CX_CAP_BUTT, 0, 0, nullptr, CX_FILLRULE_WINDING, 10.0, {}};

} // namespace

extern "C" cxPathStyle *GetVectorStyle(void) { return &g_style; }

extern "C" void ResetVectorStyle(void) {
    FreeDashArray(&g_style);
    g_style = cxPathStyle{CX_JOIN_MITER, CX_CAP_BUTT, 0, 0, nullptr, CX_FILLRULE_WINDING, 10.0, {}};
}

extern "C" void FreeDashArray(cxPathStyle *style) {
    free(style->dashes);
    style->dashes = nullptr;
    style->dashCount = 0;
    style->dashOffset = 0;
}

extern "C" int CopyDashArray(cxPathStyle *style) {
    if (!style->dashCount || !style->dashes) {
        style->dashes = nullptr;
        style->dashCount = 0;
        return 0;
    }
    const size_t bytes = size_t(style->dashCount) * sizeof(double);
    double *copy = static_cast<double *>(malloc(bytes));
    if (!copy) {
        style->dashes = nullptr;
        style->dashCount = 0;
        style->dashOffset = 0;
        return ERR_MEM;
    }
    memcpy(copy, style->dashes, bytes);
    style->dashes = copy;
    return 0;
}

extern "C" int SetVectorDashes(cxPathStyle *style, double offset, const double *lengths, uint32_t count) {
    FreeDashArray(style);
    if (!count) return 0;
    cxPathStyle tmp = *style;
    tmp.dashes = const_cast<double *>(lengths);
    tmp.dashCount = count;
    tmp.dashOffset = offset;
    if (int err = CopyDashArray(&tmp)) return err;
    *style = tmp;
    return 0;
}

extern "C" cxPathStyle *CopyPathStyle(const cxPathStyle *style) {
    cxPathStyle *copy = static_cast<cxPathStyle *>(malloc(sizeof(cxPathStyle)));
    if (!copy) return nullptr;
    *copy = *style;
    if (CopyDashArray(copy) && style->dashCount) {
        free(copy);
        return nullptr;
    }
    return copy;
}

extern "C" cxPathStyle *SnapshotVectorStyle(void) {
    cxPathStyle *copy = CopyPathStyle(&g_style);
    if (copy) copy->drawStyle = *GetDrawStyle();
    return copy;
}

extern "C" void FreePathStyle(cxPathStyle *style) {
    if (!style) return;
    free(style->dashes);
    free(style);
}

extern "C" void MakeVectorParams(const cxPathStyle *style, const cxPlugin *engine, cxVectorParams *out) {
    *out = cxVectorParams{};
    out->lineJoin = style->lineJoin;
    out->lineCap = style->lineCap;
    out->fillRule = style->fillRule;
    out->antialias = (style->drawStyle.formStyle & CX_FORM_ANTIALIAS) ? 1 : 0;
    out->dashOffset = style->dashOffset;
    out->dashes = style->dashCount ? style->dashes : nullptr;
    out->dashCount = style->dashes ? style->dashCount : 0;
    out->miterLimit = style->miterLimit;
    out->fontHandle = ResolveVectorFontKey;
    out->engine = engine;
}

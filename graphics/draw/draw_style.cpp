#include "graphics/draw/draw_style.h"

#include <cmath>

namespace {

cxDrawStyle g_style;

struct Tables {
    double sine[361], cosine[361];
    Tables() {
        for (int d = 0; d <= 360; ++d) {
            // Whole quarter turns exactly, so that boxes and circles meet
            // their axes without a stray pixel.
            const double r = d * (M_PI / 180.0);
            sine[d] = (d % 180 == 0) ? 0.0 : (d % 90 == 0) ? (d == 90 ? 1.0 : -1.0) : std::sin(r);
            cosine[d] = (d % 180 == 90) ? 0.0 : (d % 90 == 0) ? (d % 360 == 0 ? 1.0 : -1.0) : std::cos(r);
        }
    }
};

const Tables &GetTables() {
    static const Tables t;
    return t;
}

struct Init {
    Init() { ResetDrawStyle(); }
} g_init;

} // namespace

extern "C" cxDrawStyle *GetDrawStyle(void) { return &g_style; }

extern "C" void ResetDrawStyle(void) {
    g_style = cxDrawStyle{};
    g_style.fillStyle = CX_FILLNONE;
    g_style.formStyle = CX_FORM_NORMAL;
    g_style.gradient.type = 2;
    g_style.borderSize = 2;
    g_style.borderColor = 37853; // RGB 0, 147, 221
    g_style.shadowSize = 4;
    g_style.shadowDir = 3; // south-east
    g_style.shadowColor = 0;
    g_style.lineWidth = 1;
}

extern "C" const double *GetSineTable(void) { return GetTables().sine; }
extern "C" const double *GetCosineTable(void) { return GetTables().cosine; }

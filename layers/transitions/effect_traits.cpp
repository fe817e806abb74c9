#include "layers/transitions/effect_traits.h"

#include <cstring>

#include "layers/transitions/effect_families.h"

namespace {

// Short names for the rows below.
constexpr uint32_t BG = CX_FXT_BGPICONLY, OD = CX_FXT_OLD_DIRECT, OA = CX_FXT_OLD_ALWAYS, OL = CX_FXT_OLD_LAYER,
                   OW = CX_FXT_OLD_WITHLAYER, OWD = CX_FXT_OLD_WITHLAYER_DIRECT, KC = CX_FXT_KEEPCHANNEL,
                   HL = CX_FXT_HIDE_LAYERMODE, P2 = CX_FXT_PHASE2, FB = CX_FXT_FADEBORDER, SC = CX_FXT_SCROLL,
                   RV = CX_FXT_REVEAL;

// 113 has no effect of its own (the engine takes it as random).
#define NOFX nullptr, nullptr

// One row per effect number, in order. The mirror column names the effect
// a hiding run uses instead.
const cxEffectTraits kTraits[CX_FX_COUNT] = {
    {0, "HSTRIPES", StepStripesH, nullptr, RV, 0},
    {1, "HSTRIPES2", StepStripesH, nullptr, RV, 1},
    {2, "HSTRIPES4", StepStripesH, nullptr, RV, 2},
    {3, "HSTRIPES8", StepStripesH, nullptr, RV, 3},
    {4, "HSTRIPES16", StepStripesH, nullptr, RV, 4},
    {5, "HSTRIPES32", StepStripesH, nullptr, RV, 5},
    {6, "HSTRIPES64", StepStripesH, nullptr, RV, 6},
    {7, "VSTRIPES", StepStripesV, nullptr, RV, 7},
    {8, "VSTRIPES2", StepStripesV, nullptr, RV, 8},
    {9, "VSTRIPES4", StepStripesV, nullptr, RV, 9},
    {10, "VSTRIPES8", StepStripesV, nullptr, RV, 10},
    {11, "VSTRIPES16", StepStripesV, nullptr, RV, 11},
    {12, "VSTRIPES32", StepStripesV, nullptr, RV, 12},
    {13, "VSTRIPES64", StepStripesV, nullptr, RV, 13},
    {14, "HBLINDS8", StepBlindsH, nullptr, RV, 14},
    {15, "HBLINDS16", StepBlindsH, nullptr, RV, 15},
    {16, "HBLINDS32", StepBlindsH, nullptr, RV, 16},
    {17, "HBLINDS64", StepBlindsH, nullptr, RV, 17},
    {18, "HBLINDS128", StepBlindsH, nullptr, RV, 18},
    {19, "VBLINDS8", StepBlindsV, nullptr, RV, 19},
    {20, "VBLINDS16", StepBlindsV, nullptr, RV, 20},
    {21, "VBLINDS32", StepBlindsV, nullptr, RV, 21},
    {22, "VBLINDS64", StepBlindsV, nullptr, RV, 22},
    {23, "VBLINDS128", StepBlindsV, nullptr, RV, 23},
    {24, "VOPENCURTAIN", StepCurtainOpenV, nullptr, RV, 25},
    {25, "VCLOSECURTAIN", StepCurtainCloseV, nullptr, RV, 24},
    {26, "HOPENCURTAIN", StepCurtainOpenH, nullptr, RV, 27},
    {27, "HCLOSECURTAIN", StepCurtainCloseH, nullptr, RV, 26},
    {28, "BARS", StepBars, nullptr, RV, 28},
    {29, "QUARTERS", StepQuarters, nullptr, RV, 29},
    {30, "REVEALLEFT", StepRevealLeft, nullptr, RV, 31},
    {31, "REVEALRIGHT", StepRevealRight, nullptr, RV, 30},
    {32, "REVEALTOP", StepRevealTop, nullptr, RV, 33},
    {33, "REVEALBOTTOM", StepRevealBottom, nullptr, RV, 32},
    {34, "VLINES2", StepLines2V, nullptr, RV, 34},
    {35, "HLINES2", StepLines2H, nullptr, RV, 35},
    {36, "HLINES", StepLinesH, nullptr, RV, 36},
    {37, "VLINES", StepLinesV, nullptr, RV, 37},
    {38, "RECTCENTER", StepRectGrow, nullptr, RV, 88},
    {39, "RECTNORTH", StepRectGrow, nullptr, RV, 89},
    {40, "RECTNORTHEAST", StepRectGrow, nullptr, RV, 90},
    {41, "RECTEAST", StepRectGrow, nullptr, RV, 91},
    {42, "RECTSOUTHEAST", StepRectGrow, nullptr, RV, 92},
    {43, "RECTSOUTH", StepRectGrow, nullptr, RV, 93},
    {44, "RECTSOUTHWEST", StepRectGrow, nullptr, RV, 94},
    {45, "RECTWEST", StepRectGrow, nullptr, RV, 95},
    {46, "RECTNORTHWEST", StepRectGrow, nullptr, RV, 96},
    {47, "SCROLLLEFT", StepScroll, CleanupScroll, OD | KC | HL | P2 | SC, 47},
    {48, "SCROLLRIGHT", StepScroll, CleanupScroll, OD | KC | HL | P2 | SC, 48},
    {49, "SCROLLTOP", StepScroll, CleanupScroll, OD | KC | HL | P2 | SC, 49},
    {50, "SCROLLBOTTOM", StepScroll, CleanupScroll, OD | KC | HL | P2 | SC, 50},
    {51, "SCROLLNORTHEAST", StepScroll, CleanupScroll, OD | KC | HL | P2 | SC, 51},
    {52, "SCROLLSOUTHEAST", StepScroll, CleanupScroll, OD | KC | HL | P2 | SC, 52},
    {53, "SCROLLSOUTHWEST", StepScroll, CleanupScroll, OD | KC | HL | P2 | SC, 53},
    {54, "SCROLLNORTHWEST", StepScroll, CleanupScroll, OD | KC | HL | P2 | SC, 54},
    {55, "STRETCHLEFT", StepStretch, CleanupStretch, OD | KC | HL | P2, 55},
    {56, "STRETCHRIGHT", StepStretch, CleanupStretch, OD | KC | HL | P2, 56},
    {57, "STRETCHTOP", StepStretch, CleanupStretch, OD | KC | HL | P2, 57},
    {58, "STRETCHBOTTOM", StepStretch, CleanupStretch, OD | KC | HL | P2, 58},
    {59, "HSTRETCHCENTER", StepStretch, CleanupStretch, OD | KC | HL | P2, 59},
    {60, "VSTRETCHCENTER", StepStretch, CleanupStretch, OD | KC | HL | P2, 60},
    {61, "ZOOMCENTER", StepStretch, CleanupStretch, OD | KC | HL | P2, 61},
    {62, "ZOOMNORTH", StepStretch, CleanupStretch, OD | KC | HL | P2, 62},
    {63, "ZOOMNORTHEAST", StepStretch, CleanupStretch, OD | KC | HL | P2, 63},
    {64, "ZOOMEAST", StepStretch, CleanupStretch, OD | KC | HL | P2, 64},
    {65, "ZOOMSOUTHEAST", StepStretch, CleanupStretch, OD | KC | HL | P2, 65},
    {66, "ZOOMSOUTH", StepStretch, CleanupStretch, OD | KC | HL | P2, 66},
    {67, "ZOOMSOUTHWEST", StepStretch, CleanupStretch, OD | KC | HL | P2, 67},
    {68, "ZOOMWEST", StepStretch, CleanupStretch, OD | KC | HL | P2, 68},
    {69, "ZOOMNORTHWEST", StepStretch, CleanupStretch, OD | KC | HL | P2, 69},
    {70, "HFLOWTOP", StepFlow, nullptr, OD | KC | HL | P2, 70},
    {71, "HFLOWBOTTOM", StepFlow, nullptr, OD | KC | HL | P2, 71},
    {72, "VFLOWLEFT", StepFlow, nullptr, OD | KC | HL | P2, 72},
    {73, "VFLOWRIGHT", StepFlow, nullptr, OD | KC | HL | P2, 73},
    {74, "HOPENGATE", StepGate, nullptr, BG | OA | P2, 74},
    {75, "HCLOSEGATE", StepGate, nullptr, BG | OA | P2, 75},
    {76, "VOPENGATE", StepGate, nullptr, BG | OA | P2, 76},
    {77, "VCLOSEGATE", StepGate, nullptr, BG | OA | P2, 77},
    {78, "PUSHLEFT", StepPush, nullptr, BG | OA | P2, 78},
    {79, "PUSHRIGHT", StepPush, nullptr, BG | OA | P2, 79},
    {80, "PUSHTOP", StepPush, nullptr, BG | OA | P2, 80},
    {81, "PUSHBOTTOM", StepPush, nullptr, BG | OA | P2, 81},
    {82, "PUZZLE", StepPuzzle, CleanupPuzzle, RV, 82},
    {83, "DIAGONAL", StepDiagonal, nullptr, RV, 83},
    {84, "ROLLTOP", StepRoll, CleanupRoll, OD | KC | HL | P2, 84},
    {85, "ROLLLEFT", StepRoll, CleanupRoll, OD | KC | HL | P2, 85},
    {86, "WALLPAPERTOP", StepRoll, CleanupRoll, OD | KC | HL | P2, 86},
    {87, "WALLPAPERLEFT", StepRoll, CleanupRoll, OD | KC | HL | P2, 87},
    {88, "RECTBACKCENTER", StepRectShrink, nullptr, RV, 38},
    {89, "RECTBACKNORTH", StepRectShrink, nullptr, RV, 39},
    {90, "RECTBACKNORTHEAST", StepRectShrink, nullptr, RV, 40},
    {91, "RECTBACKEAST", StepRectShrink, nullptr, RV, 41},
    {92, "RECTBACKSOUTHEAST", StepRectShrink, nullptr, RV, 42},
    {93, "RECTBACKSOUTH", StepRectShrink, nullptr, RV, 43},
    {94, "RECTBACKSOUTHWEST", StepRectShrink, nullptr, RV, 44},
    {95, "RECTBACKWEST", StepRectShrink, nullptr, RV, 45},
    {96, "RECTBACKNORTHWEST", StepRectShrink, nullptr, RV, 46},
    {97, "CLOCKWIPE", StepClockWipe, CleanupShape, OD | OW | P2 | RV, 97},
    {98, "STAR", StepStar, CleanupShape, OD | OW | P2 | RV, 98},
    {99, "HSTRANGEPUSH", StepStrangePush, CleanupStrangePush, OD | KC | HL | P2, 99},
    {100, "VSTRANGEPUSH", StepStrangePush, CleanupStrangePush, OD | KC | HL | P2, 100},
    {101, "SLIDELEFT", StepSlide, nullptr, BG | OA | P2, 101},
    {102, "SLIDERIGHT", StepSlide, nullptr, BG | OA | P2, 102},
    {103, "SLIDETOP", StepSlide, nullptr, BG | OA | P2, 103},
    {104, "SLIDEBOTTOM", StepSlide, nullptr, BG | OA | P2, 104},
    {105, "SPIRAL", StepSpiral, nullptr, RV, 105},
    {106, "SWISS", StepSwiss, nullptr, RV, 106},
    {107, "QUADRECT", StepQuadRect, nullptr, RV, 107},
    {108, "HSPLIT", StepSplit, nullptr, RV, 108},
    {109, "VSPLIT", StepSplit, nullptr, RV, 109},
    {110, "UPNDOWN", StepUpNDown, nullptr, RV, 110},
    {111, "CARDTOP", StepCard, nullptr, BG | OA | P2, 111},
    {112, "CARDBOTTOM", StepCard, nullptr, BG | OA | P2, 112},
    {113, nullptr, NOFX, 0, 113},
    {114, "SUN", StepSun, CleanupShape, OD | OW | P2 | RV, 114},
    {115, "CROSSFADE", StepCrossfade, CleanupBlend, OA | OWD | P2 | FB, 115},
    {116, "FADE", StepFade, CleanupBlend, OD | OW | KC | HL | P2 | FB, 116},
    {117, "BLEND", StepFade, CleanupBlend, OD | OW | KC | HL | P2 | FB, 117},
    {118, "ZOOMIN", StepZoomInOut, CleanupStretch, BG | OA | P2, 118},
    {119, "ZOOMOUT", StepZoomInOut, CleanupStretch, BG | OA | P2, 119},
    {120, "CRUSHLEFT", StepCrush, CleanupScaling, BG | OA | P2, 120},
    {121, "CRUSHRIGHT", StepCrush, CleanupScaling, BG | OA | P2, 121},
    {122, "CRUSHTOP", StepCrush, CleanupScaling, BG | OA | P2, 122},
    {123, "CRUSHBOTTOM", StepCrush, CleanupScaling, BG | OA | P2, 123},
    {124, "VFLIPCOIN", StepFlipCoin, CleanupScaling, BG | OA | P2, 124},
    {125, "VLOWFLIPCOIN", StepFlipCoin, CleanupScaling, BG | OA | P2, 125},
    {126, "HFLIPCOIN", StepFlipCoin, CleanupScaling, BG | OA | P2, 126},
    {127, "HLOWFLIPCOIN", StepFlipCoin, CleanupScaling, BG | OA | P2, 127},
    {128, "TURNDOWNTOP", StepTurnDown, CleanupTurnDown, BG | OA | P2, 128},
    {129, "TURNDOWNBOTTOM", StepTurnDown, CleanupTurnDown, BG | OA | P2, 129},
    {130, "TURNDOWNLEFT", StepTurnDown, CleanupTurnDown, BG | OA | P2, 130},
    {131, "TURNDOWNRIGHT", StepTurnDown, CleanupTurnDown, BG | OA | P2, 131},
    {132, "PIXELZOOM1", StepPixelZoom, CleanupBlend, OD | KC | HL | P2, 132},
    {133, "PIXELZOOM2", StepPixelZoom, CleanupBlend, BG | OA | KC | HL | P2, 133},
    {134, "WATER1", StepWater, CleanupBlend, OD | OW | P2 | FB, 134},
    {135, "WATER2", StepWater, CleanupBlend, OD | OW | P2 | FB, 135},
    {136, "WATER3", StepWater, CleanupBlend, OD | OW | P2 | FB, 136},
    {137, "WATER4", StepWater, CleanupBlend, OD | OW | P2 | FB, 137},
    {138, "STRUDEL", StepStrudel, CleanupBlend, OD | OW | P2 | FB, 138},
    {139, "DISSOLVE", StepDissolve, CleanupBlend, OD | OW | P2, 139},
};

#undef NOFX

struct Alias {
    const char *name;
    int32_t number;
};
const Alias kAliases[] = {{"SCROLLWEST", 47}, {"SCROLLEAST", 48}, {"SCROLLNORTH", 49}, {"SCROLLSOUTH", 50}};

}  // namespace

extern "C" const cxEffectTraits *GetEffectTraits(int32_t effect) {
    if (effect < 0 || effect >= CX_FX_COUNT) return nullptr;
    return &kTraits[effect];
}

extern "C" int IsEffectBuilt(int32_t effect) {
    const cxEffectTraits *t = GetEffectTraits(effect);
    return t && t->step ? 1 : 0;
}

extern "C" int32_t FindEffectByName(const char *name) {
    if (!name) return -1;
    for (const cxEffectTraits &t : kTraits)
        if (t.name && std::strcmp(t.name, name) == 0) return t.number;
    for (const Alias &a : kAliases)
        if (std::strcmp(a.name, name) == 0) return a.number;
    if (std::strcmp(name, "RANDOMEFFECT") == 0) return CX_FX_RANDOM;
    return -1;
}

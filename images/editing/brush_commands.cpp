#include "images/editing/brush_commands.h"

#include "display/double_buffer.h"
#include "images/output/output_redirect.h"

namespace {

const luaL_reg kCommands[] = {
    {"ScaleBrush", CmdScaleBrush},
    {"RotateBrush", CmdRotateBrush},
    {"TransformBrush", CmdTransformBrush},
    {"FlipBrush", CmdFlipBrush},
    {"CropBrush", CmdCropBrush},
    {"TrimBrush", CmdTrimBrush},
    {"RasterizeBrush", CmdRasterizeBrush},
    {"SetBrushTransparency", CmdSetBrushTransparency},
    {"ChangeBrushTransparency", CmdChangeBrushTransparency},
    {"DeleteMask", CmdDeleteMask},
    {"DeleteAlphaChannel", CmdDeleteAlphaChannel},
    {"InvertMask", CmdInvertMask},
    {"InvertAlphaChannel", CmdInvertAlphaChannel},
    {"ReduceAlphaChannel", CmdReduceAlphaChannel},
    {"SetAlphaIntensity", CmdSetAlphaIntensity},
    {"SetMaskMode", CmdSetMaskMode},
    {"ReplaceColors", CmdReplaceColors},
    {"TintBrush", CmdTintBrush},
    {"InvertBrush", CmdInvertBrush},
    {"BrushToGray", CmdBrushToGray},
    {"BrushToMonochrome", CmdBrushToMonochrome},
    {"MixBrush", CmdMixBrush},
    {"QuantizeBrush", CmdQuantizeBrush},
    {"BlurBrush", CmdBlurBrush},
    {"SharpenBrush", CmdSharpenBrush},
    {"EdgeBrush", CmdEdgeBrush},
    {"EmbossBrush", CmdEmbossBrush},
    {"CharcoalBrush", CmdCharcoalBrush},
    {"OilPaintBrush", CmdOilPaintBrush},
    {"SolarizeBrush", CmdSolarizeBrush},
    {"SepiaToneBrush", CmdSepiaToneBrush},
    {"GammaBrush", CmdGammaBrush},
    {"ContrastBrush", CmdContrastBrush},
    {"ModulateBrush", CmdModulateBrush},
    {"SwirlBrush", CmdSwirlBrush},
    {"PixelateBrush", CmdPixelateBrush},
    {"WaterRippleBrush", CmdWaterRippleBrush},
    {"BarrelDistortBrush", CmdBarrelDistortBrush},
    {"PolarDistortBrush", CmdPolarDistortBrush},
    {"ArcDistortBrush", CmdArcDistortBrush},
    {"PerspectiveDistortBrush", CmdPerspectiveDistortBrush},
    {"ReadBrushPixel", CmdReadBrushPixel},
    {"WriteBrushPixel", CmdWriteBrushPixel},
    {"IsBrushEmpty", CmdIsBrushEmpty},
    {"BrushToRGBArray", CmdBrushToRGBArray},
    {"FloodFill", CmdFloodFill},
    {"SaveBrush", CmdSaveBrush},
    {"SelectBrush", CmdSelectBrush},
    {"SelectMask", CmdSelectMask},
    {"SelectAlphaChannel", CmdSelectAlphaChannel},
    {"SelectBGPic", CmdSelectBGPic},
    {"EndSelect", CmdEndSelect},
    {"BeginDoubleBuffer", CmdBeginDoubleBuffer},
    {"Flip", CmdFlip},
    {"EndDoubleBuffer", CmdEndDoubleBuffer},
    {nullptr, nullptr},
};

}  // namespace

extern "C" const luaL_reg *GetBrushEditingCommands(void) { return kCommands; }

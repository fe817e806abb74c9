// The library sub-tables of the plug-in API: FreeType, zlib, libjpeg and
// the built-in faces.
#include "include/calyxtone/cxplugin.h"

#include <stdio.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_STROKER_H
#include FT_SYNTHESIS_H
#include <jpeglib.h>
#include <zlib.h>

#include "shell/plugins/api_tables.h"

namespace {

// The table passes FreeType's and libjpeg's enumerations as int.
cxFT_Error SelectCharmap(cxFT_Face face, cxFT_Encoding encoding) {
    return FT_Select_Charmap(face, static_cast<FT_Encoding>(encoding));
}
cxFT_Error RenderGlyph(cxFT_GlyphSlot slot, cxFT_Render_Mode mode) {
    return FT_Render_Glyph(slot, static_cast<FT_Render_Mode>(mode));
}
void StrokerSet(cxFT_Stroker stroker, long radius, cxFT_LineCap cap, cxFT_LineJoin join, long miterLimit) {
    FT_Stroker_Set(stroker, radius, static_cast<FT_Stroker_LineCap>(cap), static_cast<FT_Stroker_LineJoin>(join),
                   miterLimit);
}
cxFT_Error GlyphToBitmap(cxFT_Glyph *glyph, cxFT_Render_Mode mode, const cxFT_Vector *origin, unsigned char destroy) {
    return FT_Glyph_To_Bitmap(glyph, static_cast<FT_Render_Mode>(mode), origin, destroy);
}
void SetColorspace(struct jpeg_compress_struct *cinfo, cxJpegColorSpace space) {
    jpeg_set_colorspace(cinfo, static_cast<J_COLOR_SPACE>(space));
}

}  // namespace

const cxApiFreeType kApiFreeType = {
    .FT_Init_FreeType = FT_Init_FreeType,
    .FT_Done_FreeType = FT_Done_FreeType,
    .FT_New_Face = FT_New_Face,
    .FT_New_Memory_Face = FT_New_Memory_Face,
    .FT_Done_Face = FT_Done_Face,
    .FT_Set_Char_Size = FT_Set_Char_Size,
    .FT_Set_Pixel_Sizes = FT_Set_Pixel_Sizes,
    .FT_Set_Transform = FT_Set_Transform,
    .FT_Get_Char_Index = FT_Get_Char_Index,
    .FT_Load_Glyph = FT_Load_Glyph,
    .FT_Load_Char = FT_Load_Char,
    .FT_Render_Glyph = RenderGlyph,
    .FT_Get_Kerning = FT_Get_Kerning,
    .FT_Select_Charmap = SelectCharmap,
    .FT_Set_Charmap = FT_Set_Charmap,
    .FT_Get_First_Char = FT_Get_First_Char,
    .FT_Get_Next_Char = FT_Get_Next_Char,
    .FT_Get_Glyph_Name = FT_Get_Glyph_Name,
    .FT_Get_Postscript_Name = FT_Get_Postscript_Name,
    .FT_Outline_Embolden = FT_Outline_Embolden,
    .FT_GlyphSlot_Embolden = FT_GlyphSlot_Embolden,
    .FT_MulFix = FT_MulFix,
    .FT_DivFix = FT_DivFix,
    .FT_Vector_Transform = FT_Vector_Transform,
    .FT_Outline_Decompose = FT_Outline_Decompose,
    .FT_Outline_Get_CBox = FT_Outline_Get_CBox,
    .FT_Outline_Translate = FT_Outline_Translate,
    .FT_Outline_Transform = FT_Outline_Transform,
    .FT_Outline_Get_Bitmap = FT_Outline_Get_Bitmap,
    .FT_Outline_Render = FT_Outline_Render,
    .FT_Stroker_New = FT_Stroker_New,
    .FT_Stroker_Set = StrokerSet,
    .FT_Stroker_Done = FT_Stroker_Done,
    .FT_Glyph_Stroke = FT_Glyph_Stroke,
    .FT_Get_Glyph = FT_Get_Glyph,
    .FT_Done_Glyph = FT_Done_Glyph,
    .FT_Glyph_Transform = FT_Glyph_Transform,
    .FT_Glyph_To_Bitmap = GlyphToBitmap,
};

const cxApiZlib kApiZlib = {
    .inflateInit_ = inflateInit_,
    .inflate = inflate,
    .inflateEnd = inflateEnd,
    .deflateInit_ = deflateInit_,
    .deflate = deflate,
    .deflateEnd = deflateEnd,
    .inflateInit2_ = inflateInit2_,
    .inflateReset = inflateReset,
    .deflateReset = deflateReset,
    .compress2 = compress2,
    .uncompress = uncompress,
    .deflateInit2_ = deflateInit2_,
    .crc32 = crc32,
};

const cxApiJpeg kApiJpeg = {
    .jpeg_CreateDecompress = jpeg_CreateDecompress,
    .jpeg_finish_decompress = jpeg_finish_decompress,
    .jpeg_destroy_decompress = jpeg_destroy_decompress,
    .jpeg_std_error = jpeg_std_error,
    .jpeg_read_header = jpeg_read_header,
    .jpeg_read_scanlines = jpeg_read_scanlines,
    .jpeg_start_decompress = jpeg_start_decompress,
    .jpeg_resync_to_restart = jpeg_resync_to_restart,
    .jpeg_CreateCompress = jpeg_CreateCompress,
    .jpeg_finish_compress = jpeg_finish_compress,
    .jpeg_destroy_compress = jpeg_destroy_compress,
    .jpeg_start_compress = jpeg_start_compress,
    .jpeg_set_defaults = jpeg_set_defaults,
    .jpeg_write_scanlines = jpeg_write_scanlines,
    .jpeg_set_quality = jpeg_set_quality,
    .jpeg_set_colorspace = SetColorspace,
    .jpeg_simple_progression = jpeg_simple_progression,
    .jpeg_destroy = jpeg_destroy,
    .jpeg_save_markers = jpeg_save_markers,
    .jpeg_stdio_src = jpeg_stdio_src,
    .jpeg_stdio_dest = jpeg_stdio_dest,
    .jpeg_abort_decompress = jpeg_abort_decompress,
    .jpeg_calc_output_dimensions = jpeg_calc_output_dimensions,
    .jpeg_mem_src = jpeg_mem_src,
    .jpeg_mem_dest = jpeg_mem_dest,
};

// The text subsystem ships the three faces; until then the slots are empty.
const cxApiBuiltinFonts kApiBuiltinFonts = {
    .faces = {nullptr, nullptr, nullptr},
    .sizes = {0, 0, 0},
};

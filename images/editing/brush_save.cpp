// SaveBrush: a brush written to an image file by the built-in savers or a
// saver plug-in.
#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/runtime/table_fields.h"
#include "engine/vm/lauxlib.h"
#include "images/editing/brush_commands.h"
#include "images/editing/brush_edit.h"
#include "images/formats/image_saver.h"

using namespace cx::edit;

// SaveBrush(id, file[, transparent colour, format, quality | {quality, colors, dither}])
extern "C" int CmdSaveBrush(lua_State *L) {
    CheckArgCount(L, 2, 5, 0, 0);
    const cxObjectID id = BrushArg(L);
    const char *file = GetFileNameArg(L, 2, 0, nullptr);
    // Without a colour nothing is keyed out: black pixels stay black.
    int32_t key = CX_NO_TRANSPARENT_COLOUR;
    if (!lua_isnoneornil(L, 3)) {
        const double v = luaL_checknumber(L, 3);
        key = Finite(v) && v >= 0 && v <= 0xFFFFFF ? int32_t(v) : CX_NO_TRANSPARENT_COLOUR;
    }
    const int format = luaL_optint(L, 4, CX_SAVE_BMP);
    int quality = 90, colours = 256;
    uint32_t dither = 0;
    if (lua_istable(L, 5)) {
        GetTableInt(L, 5, "quality", &quality, nullptr);
        GetTableInt(L, 5, "colors", &colours, nullptr);
        GetTableBool(L, 5, "dither", &dither, nullptr);
    } else if (!lua_isnoneornil(L, 5)) {
        quality = luaL_checkint(L, 5);
    }
    if (quality < 0 || quality > 100 || colours < 2 || colours > 256) return ERR_WRONGUSAGE;
    return EditBrush(L, id, kReadHardware, [&](cxBrush *b) {
        return SaveBitmapImage(format, b->bitmap, b->width, b->height, file, b->mask, b->mask || b->alpha ? -1 : key,
                               b->alpha, quality, colours, int(dither), int(b->hardware));
    });
}

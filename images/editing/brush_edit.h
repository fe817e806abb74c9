// The brush-editing protocol that every command changing a brush in place
// follows, in one place: argument checks of the command, then the
// active-brush check (the brush that output is redirected to is refused with
// ERR_MODIFYABR), the lookup with the command's access flags (locked
// brushes refused, layers that show the brush get a private copy first),
// the command's own work, and, for commands that make new bitmaps, the swap
// of the brush's bitmaps after all new ones exist. Internal to images/.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/vm/lua.h"
#include "graphics/bitmap/bitmap.h"
#include "images/brushes/brush.h"

namespace cx::edit {

// Lookup flags of the editing commands.
inline constexpr uint32_t kPlainBrush = CX_FIND_WRITE | CX_FIND_NOVECTOR;  // 9: write, no vector, no hardware
inline constexpr uint32_t kAnyBrush = CX_FIND_WRITE | CX_FIND_HARDWARE;    // 17: write, vector and hardware
inline constexpr uint32_t kVectorBrush = CX_FIND_WRITE;                    // 1: write, vector, no hardware
inline constexpr uint32_t kReadHardware = CX_FIND_HARDWARE;                // 16: read only, hardware allowed
inline constexpr uint32_t kRead = 0;                                       // read only

// New content for a brush, freed unless handed over with Replace.
struct NewImage {
    cxBitmap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t width = 0, height = 0;
    NewImage() = default;
    NewImage(const NewImage &) = delete;
    NewImage &operator=(const NewImage &) = delete;
    ~NewImage();
};

// 1 when the current display's output (image, mask or alpha channel) is
// redirected to the brush with this ID.
bool IsActiveBrush(cxObjectID id);

// Protocol steps 3 and 4: the active-brush check, then FindBrush.
int FindForEdit(lua_State *L, cxObjectID id, uint32_t flags, cxBrush **out);

// Protocol step 5: the brush takes the new bitmaps and size (its hardware
// link goes when a video bitmap is replaced by an ordinary one); the old
// ones are freed.
void ReplaceBrushImage(cxBrush *brush, NewImage &image);

// Steps 3 to 5 around the command's work: run(brush) returns 0 or an error.
template <class Run>
int EditBrush(lua_State *L, cxObjectID id, uint32_t flags, Run run) {
    cxBrush *brush = nullptr;
    if (int err = FindForEdit(L, id, flags, &brush)) return err;
    return run(brush);
}

// The brush ID of argument 1.
cxObjectID BrushArg(lua_State *L);
// A level 0..255: a number, or a percentage string of 255.
double LevelArg(lua_State *L, int index);
inline bool Finite(double v) { return std::isfinite(v); }
// A colour or ARGB number: its low 32 bits; NaN and infinities give 0.
uint32_t ColourArg(lua_State *L, int index);

}  // namespace cx::edit

// A display record for command tests without a window: its picture comes
// from the BGPic library's hooks, SafeBlt draws into it and presents
// nothing.
#pragma once

#include <cstdlib>
#include <functional>

#include "display/blit/safe_blt.h"
#include "display/display_record.h"
#include "display/picture.h"
#include "graphics/pixels/pixel_format.h"
#include "images/bgpics/bgpic.h"
#include "images/bgpics/bgpic_library.h"
#include "images/brushes/brush.h"
#include "images/brushes/brush_library.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace cxtest {

class BrushDisplayTest : public VmTest {
  protected:
    cxDisplay *d = nullptr;

    void SetUp() override {
        VmTest::SetUp();
        SetSafeBltHooks(nullptr);
        cxSafeBltHooks blit = *GetSafeBltHooks();
        blit.refreshRegion = nullptr;  // no window to present to
        blit.refreshDirect = nullptr;
        SetSafeBltHooks(&blit);
        ASSERT_EQ(InitDisplayRecords(), 0);
        ASSERT_EQ(OpenBrushLibrary(L), 0);
        ASSERT_EQ(OpenBGPicLibrary(L), 0);
        d = NewDisplayRecord();
        ASSERT_NE(d, nullptr);
        d->os.width = 64;
        d->os.height = 48;
        d->fillStyle = 1;
        d->fillColor = 0x000080;
        ASSERT_EQ(GetDisplayPictureHooks()->makeOwnPicture(L, d), 0);
        d->targetKind = CX_OBJECT_DISPLAY;
        LinkDisplay(d);
        SetCurrentDisplayRecord(d);
    }
    void TearDown() override {
        SetCurrentDisplayRecord(nullptr);
        UnlinkDisplay(d);
        GetDisplayPictureHooks()->freeOwnPicture(L, d);
        free(d);
        FreeAllBrushes(L);
        FreeAllBGPics(L);
        SetDisplayPictureHooks(nullptr);
        SetSafeBltHooks(nullptr);
        FreeDisplayRecords();
        VmTest::TearDown();
    }
    // The command with numbers and, when fill is given, an options table
    // that fill fills (with Field).
    int Cmd(const char *name, std::initializer_list<double> args, const std::function<void()> &fill = nullptr) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
            if (fill) {
                lua_newtable(L);
                fill();
            }
        });
    }
    void Field(const char *key, double v) {
        lua_pushstring(L, key);
        lua_pushnumber(L, v);
        lua_settable(L, -3);
    }
    static uint32_t PixelOf(cxBitmap *bm, int x, int y) {
        cxOsBitmapLock l;
        LockBitmap(bm, 0, &l);
        const uint32_t v = PixelToColor(LoadPixelValue(l.pixels + (size_t(y) * l.rowLength + x) * l.bytesPerPixel,
                                                       l.pixelFormat),
                                        l.pixelFormat, 0) &
                           0xFFFFFF;
        UnlockBitmap(&l);
        return v;
    }
    uint32_t Shown(int x, int y) { return PixelOf(d->picture, x, y); }
    static int CountBrushes() {
        int n = 0;
        for (cxBrush *b = GetFirstBrush(); b; b = reinterpret_cast<cxBrush *>(b->header.next)) ++n;
        return n;
    }
    static int CountBGPics() {
        int n = 0;
        for (cxBGPic *b = GetFirstBGPic(); b; b = reinterpret_cast<cxBGPic *>(b->header.next)) ++n;
        return n;
    }
};

}  // namespace cxtest

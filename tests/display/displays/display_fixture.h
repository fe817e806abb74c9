// A virtual machine with the display library open, for tests that run its
// commands the way a script does; displays are cleaned up after each test.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "display/display_hooks.h"
#include "display/display_record.h"
#include "display/library.h"
#include "display/present.h"
#include "engine/runtime/libraries.h"
#include "window/x11/x11_connection.h"
#include "window/x11/x11_window.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace cxtest {

using Field = std::pair<const char *, std::variant<double, const char *>>;

class DisplayTest : public VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        InstallDisplayHooks();
        SetScriptLibraryOpener("display", OpenDisplayLibrary);
        ASSERT_EQ(OpenScriptLibraries(L), 0);
    }
    void TearDown() override {
        CleanupDisplays(L);
        SetScriptLibraryOpener("display", nullptr);
        RemoveDisplayHooks();
        VmTest::TearDown();
    }
    static bool HaveX() {
        static const bool have = OsStartX11() != 0;
        return have;
    }
    void PushTable(const std::vector<Field> &fields) {
        lua_newtable(L);
        for (const Field &f : fields) {
            lua_pushstring(L, f.first);
            if (std::holds_alternative<double>(f.second))
                lua_pushnumber(L, std::get<double>(f.second));
            else
                lua_pushstring(L, std::get<const char *>(f.second));
            lua_settable(L, -3);
        }
    }
    int Create(int id, const std::vector<Field> &fields = {}) {
        return Call("CreateDisplay", [&] {
            lua_pushnumber(L, id);
            PushTable(fields);
        });
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
    int CmdTable(const char *name, const std::vector<Field> &fields) {
        return Call(name, [&] { PushTable(fields); });
    }
    cxDisplay *Display(int id) {
        cxDisplay *d = nullptr;
        FindDisplay(cxObjectID{id, nullptr}, &d);
        return d;
    }
    // Reads a window pixel as 0xRRGGBB through the display's own connection.
    static uint32_t WindowPixel(cxDisplay *d, int x, int y) {
        cxOsWindow *w = OsGetDisplayWindow(&d->os);
        if (!w) return 0xDEADBEEF;
        XSync(w->dpy, False);
        XImage *img = XGetImage(w->dpy, w->window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img) return 0xDEADBEEF;
        const unsigned long p = XGetPixel(img, 0, 0);
        const Visual *v = w->visual;
        auto channel = [&](unsigned long mask) {
            int shift = 0;
            while (mask && !(mask & 1)) {
                mask >>= 1;
                ++shift;
            }
            int bits = 0;
            for (unsigned long m = mask; m & 1; m >>= 1) ++bits;
            const uint32_t value = uint32_t((p >> shift) & mask);
            return bits >= 8 ? value >> (bits - 8) : (value << (8 - bits)) | (value >> (2 * bits - 8 > 0 ? 2 * bits - 8 : 0));
        };
        const uint32_t rgb = channel(v->red_mask) << 16 | channel(v->green_mask) << 8 | channel(v->blue_mask);
        XDestroyImage(img);
        return rgb;
    }
};

}  // namespace cxtest

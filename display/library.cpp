#include "display/library.h"

#include <cstdlib>

#include "display/backend.h"
#include "display/commands.h"
#include "display/display_record.h"
#include "display/menus.h"
#include "display/open.h"
#include "display/present.h"
#include "engine/runtime/runtime.h"
#include "engine/vm/lauxlib.h"
#include "window/x11/x11_window_ops.h"

namespace {

const luaL_reg kCommands[] = {
    {"ChangeDisplaySize", CmdChangeDisplaySize},
    {"SetTitle", CmdSetTitle},
    {"MoveDisplay", CmdMoveDisplay},
    {"HideDisplay", CmdHideDisplay},
    {"ShowDisplay", CmdShowDisplay},
    {"SetDisplayAttributes", CmdSetDisplayAttributes},
    {"CreateDisplay", CmdCreateDisplay},
    {"FreeDisplay", CmdFreeDisplay},
    {"OpenDisplay", CmdOpenDisplay},
    {"CloseDisplay", CmdCloseDisplay},
    {"SelectDisplay", CmdSelectDisplay},
    {"ActivateDisplay", CmdActivateDisplay},
    {"ChangeDisplayMode", CmdChangeDisplayMode},
    {"GetDisplayModes", CmdGetDisplayModes},
    {"GetMonitors", CmdGetMonitors},
    {"CreateMenu", CmdCreateMenu},
    {"FreeMenu", CmdFreeMenu},
    {"SelectMenuItem", CmdSelectMenuItem},
    {"DeselectMenuItem", CmdDeselectMenuItem},
    {"IsMenuItemSelected", CmdIsMenuItemSelected},
    {"DisableMenuItem", CmdDisableMenuItem},
    {"EnableMenuItem", CmdEnableMenuItem},
    {"IsMenuItemDisabled", CmdIsMenuItemDisabled},
    {"GetPubScreens", CmdUnsupportedScreenCommand},
    {"ShowScreen", CmdUnsupportedScreenCommand},
    {"HideScreen", CmdUnsupportedScreenCommand},
    {"SetScreenTitle", CmdUnsupportedScreenCommand},
    {"GetFrontScreen", CmdUnsupportedScreenCommand},
    {"SetSubtitle", CmdUnsupportedScreenCommand},
    {nullptr, nullptr},
};

}  // namespace

extern "C" int OpenDisplayLibrary(lua_State *L) {
    if (int err = InitDisplayRecords()) return err;
    // Pictures are made in the screen's own layout, so presenting copies.
    if (!HasDisplayAdapter() && OsCanOpenDisplays()) OsDetectPixelFormat();
    luaL_openlib(L, nullptr, kCommands, 0);
    if (int err = AddCommandLibrary(kCommands, "display")) return err;
    static const luaL_Const constants[] = {{"DISPSTATE_OPEN", nullptr, 1}, {nullptr, nullptr, 0}};
    luaL_openconstants(L, constants, 0);
    RegisterObjectList(GetMenuObjectList());
    return 0;
}

extern "C" void CleanupDisplays(lua_State *L) {
    // Closing calls X11 and the adapter: the list mutex is held only while
    // the list itself changes.
    SetCurrentDisplayRecord(nullptr);
    for (cxDisplay *d = GetFirstDisplay(); d; d = GetNextDisplay(d))
        if (d->os.state != CX_DISPLAY_CLOSED && !d->backfillWindow) CloseDisplayWindow(L, d, CX_CLOSE_FREEBACKFILL);
    SetCurrentDisplayRecord(nullptr);
    while (cxDisplay *d = GetFirstDisplay()) {
        UnlinkDisplay(d);
        CloseDisplayWindow(L, d, 0);
        FreeDisplayResources(L, d, 1);
        free(d);
    }
    FreeAllMenus(L);
    UnregisterObjectList(GetMenuObjectList());
    FreeScaleBuffer();
    FreeDisplayRecords();
}

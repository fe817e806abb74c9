// Calls into the display adapter plug-in's bitmap and drawing hooks. Every
// call goes through the plug-in's calling convention: an adapter whose
// functions cannot be called answers 0 (or null) to each.
#pragma once

#include <cstdint>
#include <utility>

#include "engine/plugins/plugin_registry.h"
#include "include/calyxtone/cxadapterbitmap.h"

namespace cx::gfx {

// The registered display adapter, or null.
inline const cxPlugin *Adapter() { return GetDisplayAdapter(); }

// The adapter when it has all of the display-adapter flags given, else null.
inline const cxPlugin *AdapterWith(uint32_t displayFlags) {
    const cxPlugin *a = GetDisplayAdapter();
    return a && (a->displayFlags & displayFlags) == displayFlags ? a : nullptr;
}

// The adapter when it takes the drawing operation (CX_DRAW_*), else null.
inline const cxPlugin *AdapterDrawing(uint32_t drawFlag) {
    const cxPlugin *a = GetDisplayAdapter();
    return a && (a->drawFlags & drawFlag) ? a : nullptr;
}

// Calls a display-adapter slot with the prototype Hook.
template <class Hook, class... A>
auto CallHook(const cxPlugin *adapter, cxPluginFunc slot, A &&...args) {
    return CallPluginEntry(adapter, reinterpret_cast<Hook>(slot), std::forward<A>(args)...);
}

} // namespace cx::gfx

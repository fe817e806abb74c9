// The ID argument of the commands that make brushes and BGPics: a number
// (an existing object of that number goes first) or Nil for an automatic
// ID, which the command returns.
#pragma once

#include "engine/runtime/objects.h"
#include "engine/runtime/runtime.h"

struct NewID {
    cxObjectID id{};
    bool automatic = false;
};

inline NewID ReadNewID(lua_State *L, int index) {
    const cxObjectID id = ReadNewObjectID(L, index);
    return {id, id.pointer != nullptr};
}

// The command's results: the automatic ID, or none.
inline int NewIDResult(lua_State *L, const NewID &n) { return n.automatic ? PushObjectID(L, n.id) : 0; }

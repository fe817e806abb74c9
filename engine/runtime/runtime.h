// The command runtime: everything a command needs besides the virtual
// machine's own interface.
#pragma once

#include "errors/errors.h"
#include "engine/runtime/args.h"
#include "engine/runtime/calls.h"
#include "engine/runtime/console.h"
#include "engine/runtime/kernel.h"
#include "engine/runtime/libraries.h"
#include "engine/runtime/lists.h"
#include "engine/runtime/objects.h"
#include "engine/runtime/table_fields.h"
#include "engine/runtime/table_sort.h"
#include "engine/runtime/text_utils.h"
#include "engine/vm/lauxlib.h"
#include "engine/vm/lua.h"

// Sorting a range of a script table in place.
#pragma once

#include "engine/vm/lua.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Sorts the entries low..high of the table at index. With useComparator
   the function on top of the stack orders them (it returns true when its
   first argument sorts first; it is left on the stack); otherwise numbers
   sort numerically before strings, which sort by the collating compare
   (CompareStrings, case-sensitive); without a comparator an entry that is
   neither raises ERR_WRONGUSAGE. The comparator's answer is read by the
   script truth rule. The sort is a stable merge sort that stays in bounds
   whatever the comparator answers; a comparator error is raised. An empty
   range (high < low) does nothing. */
void SortTableRange(lua_State *L, int index, int useComparator, int low, int high);

#ifdef __cplusplus
}
#endif

/* Not a plug-in: a module built like one, by the C compiler, that tells the
   offsets and sizes of the interface's records as plug-ins see them. */
#include <stddef.h>

#include "include/calyxtone/cxplugin.h"

static const size_t layout[] = {
#define FIELD(record, member) offsetof(record, member),
#define SIZE(record) sizeof(record),
#include "tests/shell/plugins/cxp/record_layout.def"
#undef FIELD
#undef SIZE
};

CX_PLUGIN_EXPORT const size_t *RecordLayout(size_t *count) {
    *count = sizeof layout / sizeof layout[0];
    return layout;
}

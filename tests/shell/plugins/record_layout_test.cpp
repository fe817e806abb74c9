// The records of the plug-in interface as a plug-in compiled in C lays them
// out, read at run time from such a module, against the player's C++ view:
// on the armhf build this is the platform's own ABI. (The 32-bit offsets
// themselves are fixed by record_layout_arm.cpp.)
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "include/calyxtone/cxplugin.h"

namespace {

struct Fact {
    const char *what;
    size_t value;
};

const std::vector<Fact> kPlayerView = {
#define FIELD(record, member) {#record "." #member, offsetof(record, member)},
#define SIZE(record) {"sizeof " #record, sizeof(record)},
#include "tests/shell/plugins/cxp/record_layout.def"
#undef FIELD
#undef SIZE
};

TEST(PluginRecordLayout, CPluginsAndThePlayerAgree) {
    void *module = dlopen(CX_TEST_LAYOUT_CXP, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    using LayoutFunc = const size_t *(*)(size_t *);
    auto layout = reinterpret_cast<LayoutFunc>(dlsym(module, "RecordLayout"));
    ASSERT_NE(layout, nullptr);
    size_t count = 0;
    const size_t *seen = layout(&count);
    ASSERT_EQ(count, kPlayerView.size());
    for (size_t i = 0; i < count; i++) EXPECT_EQ(seen[i], kPlayerView[i].value) << kPlayerView[i].what;
    // Pointers and function slots are words of the platform.
    EXPECT_EQ(sizeof(cxApiLocale) % sizeof(void *), 0u);
    dlclose(module);
}

}  // namespace

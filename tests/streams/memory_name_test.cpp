#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "errors/errors.h"
#include "streams/cxpk/cxpk.h"
#include "streams/memory_name.h"

namespace {

TEST(MemoryName, NamesARegisteredBlock) {
    static const char block[] = "some bytes";
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, block, sizeof block);
    EXPECT_EQ(std::string(name).rfind(CX_MEMORY_NAME_PREFIX, 0), 0u);
    EXPECT_EQ(std::string(name).substr(std::string(name).rfind(':') + 1), std::to_string(sizeof block));
    const void *pointer = nullptr;
    size_t length = 0;
    ASSERT_EQ(ParseMemoryName(name, &pointer, &length), 1);
    EXPECT_EQ(pointer, block);
    EXPECT_EQ(length, sizeof block);
    ReleaseMemoryName(block, sizeof block);
    EXPECT_EQ(ParseMemoryName(name, &pointer, &length), 0);
}

TEST(MemoryName, ForgedOrMalformedNamesNeverResolve) {
    static const char block[] = "registered";
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, block, sizeof block);
    char forged[CX_MEMORY_NAME_MAX];
    std::snprintf(forged, sizeof forged, "%s", name);
    forged[std::string(forged).size() - 1] = '9';  // another length: not what was registered
    const char *bad[] = {nullptr,
                         "",
                         "::memory:10:5",
                         ":::memory:",
                         ":::memory:zz:1",
                         ":::memory:10:",
                         ":::memory:10:5x",
                         ":::memory::5",
                         ":::memory:1234567890abcdef12345:1",
                         ":::memory:10:99999999999999999999999",
                         ":::memory:dead:10",
                         forged};
    for (const char *n : bad) EXPECT_EQ(ParseMemoryName(n, nullptr, nullptr), 0) << (n ? n : "(null)");
    // Unpacking by a forged name treats it as a file name that does not exist.
    char out[4];
    EXPECT_EQ(UnpackCxpk("CXPK", ":::memory:dead:10", nullptr, nullptr, 0, nullptr, nullptr, out, sizeof out), ERR_READFILE);
    ReleaseMemoryName(block, sizeof block);
}

}  // namespace

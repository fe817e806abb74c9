// The ARexx commands exist and answer that the feature is missing here,
// whatever they are given.
#include "io/arexx/arexx_library.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

class ARexx : public cxtest::VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        ASSERT_EQ(OpenARexxLibrary(L), 0);
    }
};

TEST_F(ARexx, EveryCommandRaisesUnsupportedWithAnyArguments) {
    const std::function<void()> argumentSets[] = {
        [] {},
        [this] { lua_pushstring(L, "CALYXTONE.1"); },
        [this] {
            lua_pushstring(L, "PORT");
            lua_pushstring(L, "command");
            lua_newtable(L);
            lua_pushnil(L);
            lua_pushnumber(L, 7);
        },
    };
    for (const char *name : {"SendRexxCommand", "RunRexxScript", "CreateRexxPort"}) {
        for (const auto &push : argumentSets) EXPECT_EQ(Call(name, push), ERR_UNSUPPORTEDFEAT) << name;
    }
    char text[256];
    EXPECT_STREQ(GetErrorText(ERR_UNSUPPORTEDFEAT, text, sizeof text),
                 "This feature is currently not supported on this platform!");
}

} // namespace

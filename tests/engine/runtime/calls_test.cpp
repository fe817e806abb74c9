// Calling commands by name, constants and the library order.
#include "tests/engine/runtime/vm_fixture.h"

namespace {

using cxtest::VmTest;

TEST_F(VmTest, CommandsAreCalledByNameWithTypedArguments) {
    ASSERT_EQ(OpenScriptLibraries(L), 0);
    lua_settop(L, 0);
    ASSERT_EQ(CallCommandByName(L, "AllocMem", 1, 2, LUA_TNIL, LUA_TNUMBER, 16.0), 0);
    ASSERT_EQ(lua_gettop(L), 1);
    void *block = lua_touserdata(L, 1);
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(CallCommandByName(L, "POKE", 0, 3, LUA_TLIGHTUSERDATA, block, LUA_TNUMBER, 0.0, LUA_TNUMBER, 258.0), 0);
    EXPECT_EQ(CallCommandByName(L, "Peek", 1, 3, LUA_TLIGHTUSERDATA, block, LUA_TNUMBER, 3.0, LUA_TNUMBER, 7.0), 0);
    EXPECT_EQ(Num(-1), 2);
    lua_settop(L, 0);
    EXPECT_EQ(CallCommandByName(L, "FreeMem", 0, 1, LUA_TNUMBER, 99.0), ERR_FINDMEMBLK);
    EXPECT_EQ(lua_gettop(L), 0);
    EXPECT_EQ(CallCommandByName(L, "NoSuchCommand", 0, 0), ERR_FUNCDECLA);
    EXPECT_EQ(Detail(), "NoSuchCommand");
}

TEST_F(VmTest, ConstantsAreFoundByNameWithoutCase) {
    ASSERT_EQ(OpenScriptLibraries(L), 0);
    size_t used = 0;
    int type = 0;
    double value = 0;
    EXPECT_EQ(ParseConstantName(L, "#err_mem,rest", &used, &type, &value), 0);
    EXPECT_EQ(used, 8u);
    EXPECT_EQ(type, LUA_TNUMBER);
    EXPECT_EQ(value, 1000);
    EXPECT_EQ(ParseConstantName(L, "#LittleEndian]", &used, &type, &value), 0);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(ParseConstantName(L, "#NOPE)", &used, &type, &value), ERR_FINDCST);
    EXPECT_EQ(Detail(), "NOPE");
    EXPECT_EQ(ParseConstantName(L, "ERR_MEM", &used, &type, &value), ERR_FINDCST);
    const char *names[] = {"ERR_NONE", "ERR_OLDAPPLET", "ERR_EMPTYTABLE", "ENCODING_UTF8", "LONG", "DOUBLE", "BRUSH", "MEMORY"};
    const double values[] = {0, 1566, 1599, 1, 1, 12, 3, 39};
    for (int i = 0; i < 8; i++) {
        std::string text = std::string("#") + names[i];
        EXPECT_EQ(ParseConstantName(L, text.c_str(), nullptr, nullptr, &value), 0) << names[i];
        EXPECT_EQ(value, values[i]) << names[i];
    }
}

TEST(Libraries, FixedOrderStartsWithString) {
    EXPECT_STREQ(GetScriptLibraryName(0), "string");
    EXPECT_STREQ(GetScriptLibraryName(3), "memblock");
    EXPECT_STREQ(GetScriptLibraryName(CX_LIBRARY_COUNT - 1), "arexx");
    EXPECT_EQ(GetScriptLibraryName(CX_LIBRARY_COUNT), nullptr);
    EXPECT_EQ(SetScriptLibraryOpener("nosuchlib", nullptr), ERR_WRONGUSAGE);
}

int g_opened = 0;
int OpenFake(lua_State *) { return g_opened++ == 0 ? 0 : ERR_MEM; }

TEST_F(VmTest, LaterLibrariesAreOpenedInOrder) {
    ASSERT_EQ(SetScriptLibraryOpener("display", OpenFake), 0);
    ASSERT_EQ(SetScriptLibraryOpener("dos", OpenFake), 0);
    EXPECT_EQ(OpenScriptLibraries(L), ERR_MEM); // the second fake fails
    EXPECT_EQ(g_opened, 2);
    SetScriptLibraryOpener("display", nullptr);
    SetScriptLibraryOpener("dos", nullptr);
    int names = 0;
    for (const cxCommandLibrary *lib = GetCommandLibraries(); lib; lib = lib->next) names++;
    EXPECT_EQ(names, 4);
    EXPECT_STREQ(GetCommandLibraries()->name, "string");
}

} // namespace

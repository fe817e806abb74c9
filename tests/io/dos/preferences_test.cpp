// The preferences file of the engine, written and read through the table
// codec that the dos library registers when it opens.
#include <cstdlib>

#include "engine/runtime/preferences.h"
#include "tests/io/dos/dos_fixture.h"

namespace cxtest {
namespace {

class Preferences : public DosTest {
protected:
    std::string oldHome;
    bool hadHome = false;

    void SetUp() override {
        DosTest::SetUp();
        if (const char *h = getenv("HOME")) hadHome = true, oldHome = h;
        setenv("HOME", dir.c_str(), 1);
    }
    void TearDown() override {
        if (hadHome) setenv("HOME", oldHome.c_str(), 1);
        else unsetenv("HOME");
        DosTest::TearDown();
    }
    void PushSample() {
        lua_newtable(L);
        lua_pushstring(L, "volume");
        lua_pushnumber(L, 48);
        lua_settable(L, -3);
        lua_pushnumber(L, 1);
        lua_pushstring(L, "first");
        lua_settable(L, -3);
    }
};

TEST_F(Preferences, SaveAndLoadRoundTrip) {
    lua_settop(L, 0);
    PushSample();
    ASSERT_EQ(SavePrefsFile(L, -1, "my.applet"), 0);
    const std::string bytes = Get(".calyxtone-data/preferences/my.applet");
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes.substr(0, 4), "PRFS");
    EXPECT_EQ(bytes.back(), '\0');  // the table body's end byte
    // Nothing is left beside it.
    EXPECT_EQ(Shell("ls -A '" + dir + "/.calyxtone-data/preferences'"), "my.applet");

    lua_settop(L, 0);
    ASSERT_EQ(LoadPrefsFile(L, "my.applet"), 0);
    ASSERT_EQ(lua_gettop(L), 1);
    ASSERT_TRUE(lua_istable(L, 1));
    EXPECT_EQ(Field(1, "volume"), "48");
    lua_pushnumber(L, 1);
    lua_gettable(L, 1);
    EXPECT_EQ(Str(-1), "first");
}

TEST_F(Preferences, MissingForeignOrDamagedFilesGiveAnEmptyTable) {
    auto loadsEmpty = [&](const char *id) {
        lua_settop(L, 0);
        if (LoadPrefsFile(L, id) != 0 || lua_gettop(L) != 1 || !lua_istable(L, 1)) return false;
        lua_pushnil(L);
        return lua_next(L, 1) == 0;
    };
    EXPECT_TRUE(loadsEmpty("never.saved"));
    ASSERT_EQ(system(("mkdir -p '" + dir + "/.calyxtone-data/preferences'").c_str()), 0);
    Put(".calyxtone-data/preferences/foreign", "CXT0\0");
    EXPECT_TRUE(loadsEmpty("foreign"));
    Put(".calyxtone-data/preferences/cut", std::string("PRFS\x03\x00\x00\x00\x05" "ab", 11));
    EXPECT_TRUE(loadsEmpty("cut"));
    EXPECT_TRUE(loadsEmpty(nullptr));  // no running applet, no identifier
}

TEST_F(Preferences, UnusableIdentifiersAndAMissingCodecWriteNothing) {
    lua_settop(L, 0);
    PushSample();
    for (const char *id : {"", "..", "a/b"}) EXPECT_EQ(SavePrefsFile(L, 1, id), 0) << id;
    EXPECT_EQ(Shell("ls -A '" + dir + "'"), "");
    const cxTableCodecHooks saved = *GetTableCodecHooks();
    SetTableCodecHooks(nullptr);
    EXPECT_EQ(SavePrefsFile(L, 1, "x"), 0);
    EXPECT_EQ(Shell("ls -A '" + dir + "'"), "");
    SetTableCodecHooks(&saved);
}

TEST_F(Preferences, AFailedWriteKeepsThePreviousFile) {
    lua_settop(L, 0);
    PushSample();
    ASSERT_EQ(SavePrefsFile(L, 1, "keep"), 0);
    const std::string good = Get(".calyxtone-data/preferences/keep");
    // A key the encoding refuses (a table) fails the write.
    lua_newtable(L);
    lua_newtable(L);
    lua_pushnumber(L, 1);
    lua_settable(L, -3);
    EXPECT_EQ(SavePrefsFile(L, 2, "keep"), ERR_WRONGUSAGE);
    EXPECT_EQ(Get(".calyxtone-data/preferences/keep"), good);
    EXPECT_EQ(Shell("ls -A '" + dir + "/.calyxtone-data/preferences'"), "keep");
}

}  // namespace
}  // namespace cxtest

// The argument-count check, object IDs and the number-or-percent reader.
#include <cstdlib>
#include <cstring>

#include "streams/applet_record.h"
#include "tests/engine/runtime/vm_fixture.h"

namespace {

using cxtest::VmTest;

struct CountCase {
    int min, max, given, expected;
};

class ArgCount : public VmTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(ArgCount, RaisesByTheCountRules) {
    const CountCase c = GetParam();
    int code = Probe(
        [&](lua_State *S) {
            CheckArgCount(S, c.min, c.max, 0, 0);
            return 0;
        },
        [&] {
            for (int i = 0; i < c.given; i++) lua_pushnumber(L, i);
        });
    EXPECT_EQ(code, c.expected);
    if (code) {
        EXPECT_STREQ(GetErrorPosition()->command, "Probe");
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, ArgCount,
                         ::testing::Values(CountCase{0, 0, 1, ERR_TOOMANYARGS}, CountCase{0, 0, 0, 0},
                                           CountCase{2, 0, 5, 0}, CountCase{2, 0, 1, ERR_MISSINGPARAMTR},
                                           CountCase{1, 3, 0, ERR_MISSINGPARAMTR}, CountCase{1, 3, 4, ERR_TOOMANYARGS},
                                           CountCase{1, 3, 3, 0}, CountCase{2, 2, 2, 0}));

TEST_F(VmTest, OldAppletIsRefusedWithTheNeededVersionAsDetail) {
    cxApplet *applet = NewApplet();
    ASSERT_NE(applet, nullptr);
    auto needs60 = [](lua_State *S) {
        CheckArgCount(S, 0, 0, 6, 0);
        return 0;
    };
    // unknown version (no applet): passes
    EXPECT_EQ(Probe(needs60), 0);
    SetRunningApplet(applet);
    struct {
        int major, minor, expected;
    } cases[] = {{5, 3, ERR_OLDAPPLET}, {5, 9, ERR_OLDAPPLET}, {6, 0, 0}, {6, 1, 0}, {7, 0, 0}};
    for (const auto &c : cases) {
        applet->versionMajor = c.major;
        applet->versionMinor = c.minor;
        SetErrorDetail(nullptr);
        EXPECT_EQ(Probe(needs60), c.expected) << c.major << "." << c.minor;
        if (c.expected) {
            EXPECT_EQ(Detail(), "6.0");
            char text[512];
            EXPECT_STREQ(GetErrorText(ERR_OLDAPPLET, text, sizeof text),
                         "This functionality is only available to applets compiled by Calyxtone 6.0 or higher!");
        }
    }
    SetRunningApplet(nullptr);
    FreeApplet(applet);
}

TEST_F(VmTest, ObjectIdArgumentsTakeBothForms) {
    int marker = 0;
    cxObjectID id{99, &marker};
    auto read = [&](lua_State *S) {
        GetObjectIDArg(&id, S, 1);
        return 0;
    };
    EXPECT_EQ(Probe(read, [&] { lua_pushlightuserdata(L, &marker); }), 0);
    EXPECT_EQ(id.number, 0);
    EXPECT_EQ(id.pointer, &marker);
    EXPECT_EQ(Probe(read, [&] { lua_pushnumber(L, 0); }), 0);
    EXPECT_EQ(id.number, 0);
    EXPECT_EQ(id.pointer, nullptr);
    EXPECT_EQ(Probe(read, [&] { lua_pushstring(L, "12"); }), 0);
    EXPECT_EQ(id.number, 12);
    EXPECT_EQ(Probe(read, [&] { lua_pushnumber(L, 7.9); }), 0);
    EXPECT_EQ(id.number, 7);
    EXPECT_EQ(Probe(read, [&] { lua_pushnil(L); }), ERR_NUMEXPECTED);
    EXPECT_EQ(GetErrorNumber(), 1);
    EXPECT_EQ(Probe(read, [&] { lua_pushstring(L, "brush"); }), ERR_NUMEXPECTED);
}

TEST_F(VmTest, OptionalNumberTellsNilApart) {
    cxOptionalNumber n{-5, 7};
    auto read = [&](lua_State *S) {
        GetOptionalNumberArg(&n, S, 1);
        return 0;
    };
    EXPECT_EQ(Probe(read, [&] { lua_pushnil(L); }), 0);
    EXPECT_EQ(n.value, 0);
    EXPECT_EQ(n.wasNil, 1u);
    EXPECT_EQ(Probe(read, [&] { lua_pushnumber(L, 4); }), 0);
    EXPECT_EQ(n.value, 4);
    EXPECT_EQ(n.wasNil, 0u);
    EXPECT_EQ(Probe(read, [&] { lua_newtable(L); }), ERR_NUMEXPECTED);
}

TEST_F(VmTest, PushObjectIdPushesNumberOrPointer) {
    int marker = 0;
    EXPECT_EQ(Probe([&](lua_State *S) {
                  PushObjectID(S, cxObjectID{5, nullptr});
                  return PushObjectID(S, cxObjectID{0, &marker}) + 1;
              }),
              0);
    ASSERT_EQ(lua_gettop(L), 2);
    EXPECT_EQ(lua_type(L, 1), LUA_TNUMBER);
    EXPECT_EQ(Num(1), 5);
    EXPECT_EQ(lua_touserdata(L, 2), &marker);
}

struct PercentCase {
    const char *text; // null: push a table
    double base;
    int over100;
    int expectedCode;
    double expected;
    int expectedPercent;
};

class Percent : public VmTest, public ::testing::WithParamInterface<PercentCase> {};

TEST_P(Percent, ReadsNumbersAndPercentages) {
    const PercentCase c = GetParam();
    double got = -1;
    int isPercent = 0;
    int code = Probe(
        [&](lua_State *S) {
            lua_settop(S, 2);
            got = GetNumberOrPercentArg(S, 2, c.base, c.over100, &isPercent);
            return 0;
        },
        [&] {
            lua_pushnumber(L, 1);
            if (c.text)
                lua_pushstring(L, c.text);
            else
                lua_newtable(L);
        });
    EXPECT_EQ(code, c.expectedCode);
    if (code == 0) {
        EXPECT_DOUBLE_EQ(got, c.expected);
        EXPECT_EQ(isPercent, c.expectedPercent);
    } else {
        EXPECT_EQ(GetErrorNumber(), 2); // the argument index
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Percent,
    ::testing::Values(PercentCase{"50%", 640, 0, 0, 320, 0}, PercentCase{"50%", 0, 0, 0, 0.5, 1},
                      PercentCase{"150%", 10, 0, ERR_PERCENTFORMAT, 0, 0}, PercentCase{"150%", 10, 1, 0, 15, 0},
                      PercentCase{"-5%", 10, 1, ERR_PERCENTFORMAT, 0, 0},
                      PercentCase{"abc", 10, 0, ERR_PERCENTFORMAT, 0, 0}, PercentCase{"%", 10, 0, ERR_PERCENTFORMAT, 0, 0},
                      PercentCase{"12px", 10, 0, 0, 12, 0}, PercentCase{"2.5", 10, 0, 0, 2.5, 0},
                      PercentCase{nullptr, 10, 0, ERR_STRORNUM, 0, 0}));

TEST_F(VmTest, PercentReaderTakesNumbersAndNil) {
    double a = -1, b = -1;
    EXPECT_EQ(Probe(
                  [&](lua_State *S) {
                      a = GetNumberOrPercentArg(S, 1, 100, 0, nullptr);
                      b = GetNumberOrPercentArg(S, 2, 100, 0, nullptr);
                      return 0;
                  },
                  [&] {
                      lua_pushnumber(L, 250);
                      lua_pushnil(L);
                  }),
              0);
    EXPECT_EQ(a, 250);
    EXPECT_EQ(b, 0);
}

TEST_F(VmTest, CheckedStringsCountCharactersAndRefuseBadUtf8) {
    size_t length = 0, bytes = 0;
    auto read = [&](lua_State *S) {
        GetStringArgChecked(S, 1, &length, 1, &bytes);
        return 0;
    };
    EXPECT_EQ(Probe(read, [&] { lua_pushstring(L, "a\xC3\xA9z"); }), 0);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(bytes, 4u);
    EXPECT_EQ(Probe(read, [&] { lua_pushstring(L, "a\xC3"); }), ERR_INVALIDUTF8ARG);
    EXPECT_EQ(GetErrorNumber(), 1);
}

} // namespace

namespace {

using cxtest::VmTest;

TEST_F(VmTest, FileNameArgumentsResolveLinkedFiles) {
    cxApplet *applet = NewApplet();
    ASSERT_NE(applet, nullptr);
    strcpy(applet->path, "/tmp/demo.cxa");
    cxLinkedFile *file = static_cast<cxLinkedFile *>(calloc(1, sizeof(cxLinkedFile)));
    file->name = strdup("gfx/Sky.png");
    file->offset = 100;
    file->length = 50;
    applet->files = file;
    SetRunningApplet(applet);
    std::string resolved;
    int linked = 0;
    auto read = [&](lua_State *S) {
        resolved = GetFileNameArg(S, 1, 0, &linked);
        return 0;
    };
    EXPECT_EQ(Probe(read, [&] { lua_pushstring(L, "GFX\\sky.PNG"); }), 0);
    EXPECT_EQ(linked, 1);
    EXPECT_EQ(resolved.rfind(":::chunk", 0), 0u) << resolved;
    linked = 0;
    EXPECT_EQ(Probe(read, [&] { lua_pushstring(L, "other.png"); }), 0);
    EXPECT_EQ(linked, 0);
    EXPECT_EQ(resolved, "other.png");
    SetRunningApplet(nullptr);
    FreeApplet(applet);
}

} // namespace

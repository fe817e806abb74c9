// Option-table field readers and the table writers.
#include <cstdlib>
#include <cstring>

#include "tests/engine/runtime/vm_fixture.h"

namespace {

using cxtest::VmTest;

class TableFields : public VmTest {
protected:
    // Runs body with an option table at stack index 1 built by fill().
    int WithTable(const std::function<void()> &fill, const std::function<int(lua_State *)> &body) {
        return Probe(body, [&] {
            lua_newtable(L);
            fill();
        });
    }
    void Field(const char *key, double v) {
        lua_pushstring(L, key);
        lua_pushnumber(L, v);
        lua_settable(L, -3);
    }
    void Field(const char *key, const char *v) {
        lua_pushstring(L, key);
        lua_pushstring(L, v);
        lua_settable(L, -3);
    }
    void TableField(const char *key) {
        lua_pushstring(L, key);
        lua_newtable(L);
        lua_settable(L, -3);
    }
};

TEST_F(TableFields, AbsentFieldsKeepDefaultsAndPresentOnesAreRead) {
    int i = 42, found = 0, present = -1;
    double d = 1.5;
    uint32_t u = 7;
    char buf[8] = "dflt";
    EXPECT_EQ(WithTable(
                  [&] {
                      Field("width", 300.9);
                      Field("color", 4278190335.0); // 0xFF0000FF
                      Field("name", "a long name");
                  },
                  [&](lua_State *S) {
                      present = GetTableInt(S, 1, "height", &i, &found);
                      EXPECT_EQ(present, 0);
                      EXPECT_EQ(found, 0);
                      EXPECT_EQ(GetTableDouble(S, 1, "missing", &d, &found), 0);
                      EXPECT_EQ(GetTableInt(S, 1, "width", &i, &found), 1);
                      EXPECT_EQ(GetTableBool(S, 1, "color", &u, nullptr), 1);
                      EXPECT_EQ(GetTableString(S, 1, "name", buf, sizeof buf, nullptr), 1);
                      return 0;
                  }),
              0);
    EXPECT_EQ(i, 300);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(u, 0xFF0000FFu);
    EXPECT_STREQ(buf, "a long "); // cut to the buffer, terminated
}

TEST_F(TableFields, TruthFollowsTheScriptRule) {
    int a = -1, b = -1, c = -1, d = -1;
    EXPECT_EQ(WithTable(
                  [&] {
                      Field("zero", 0.0);
                      Field("one", 1.0);
                      Field("empty", "");
                      lua_pushstring(L, "yes");
                      lua_pushboolean(L, 1);
                      lua_settable(L, -3);
                  },
                  [&](lua_State *S) {
                      GetTableTruth(S, 1, "zero", &a, nullptr);
                      GetTableTruth(S, 1, "one", &b, nullptr);
                      GetTableTruth(S, 1, "empty", &c, nullptr);
                      GetTableTruth(S, 1, "yes", &d, nullptr);
                      return 0;
                  }),
              0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(d, 1);
}

struct WrongType {
    const char *name;
    std::function<void(lua_State *)> read;
    int expected;
};

TEST_F(TableFields, WrongTypesRaiseWithTheKeyAsDetail) {
    int i;
    double d, four[4];
    uint32_t u;
    char buf[16];
    int32_t p;
    cxObjectID id;
    const WrongType cases[] = {
        {"int", [&](lua_State *S) { GetTableInt(S, 1, "tbl", &i, nullptr); }, ERR_NUMTABLEARG},
        {"int from word", [&](lua_State *S) { GetTableInt(S, 1, "word", &i, nullptr); }, ERR_NUMTABLEARG},
        {"double", [&](lua_State *S) { GetTableDouble(S, 1, "word", &d, nullptr); }, ERR_NUMTABLEARG},
        {"bool", [&](lua_State *S) { GetTableBool(S, 1, "word", &u, nullptr); }, ERR_NUMTABLEARG},
        {"string", [&](lua_State *S) { GetTableString(S, 1, "tbl", buf, sizeof buf, nullptr); }, ERR_STRTABLEARG},
        {"id", [&](lua_State *S) { GetTableObjectID(S, 1, "word", &id, nullptr); }, ERR_NUMTABLEARG},
        {"percent word", [&](lua_State *S) { GetTablePercent(S, 1, "word", 0, &p, nullptr); }, ERR_PERCENTFORMATSTR},
        {"percent 101", [&](lua_State *S) { GetTablePercent(S, 1, "p101", 0, &p, nullptr); }, ERR_PERCENTFORMATSTR},
        {"percent negative", [&](lua_State *S) { GetTablePercent(S, 1, "pneg", 1, &p, nullptr); }, ERR_PERCENTFORMATSTR},
        {"number or percent", [&](lua_State *S) { GetTableNumberOrPercent(S, 1, "tbl", 10, 0, &d, nullptr, nullptr); },
         ERR_NUMTABLEARG},
        {"numbers not a table", [&](lua_State *S) { GetTableNumbers(S, 1, "word", four, nullptr); }, ERR_TABEXPECTED2},
        {"numbers too few", [&](lua_State *S) { GetTableNumbers(S, 1, "three", four, nullptr); }, ERR_MISSINGPARAMTR},
        {"numbers non-number", [&](lua_State *S) { GetTableNumbers(S, 1, "bad4", four, nullptr); }, ERR_NUMTABLEARG},
        {"layer pos table", [&](lua_State *S) { GetTableLayerPos(S, 1, "tbl", &i, nullptr); }, ERR_WRONGUSAGE},
    };
    for (const WrongType &c : cases) {
        SetErrorDetail(nullptr);
        int code = WithTable(
            [&] {
                TableField("tbl");
                Field("word", "wide");
                Field("p101", "101%");
                Field("pneg", "-3%");
                lua_pushstring(L, "three");
                lua_newtable(L);
                for (int k = 0; k < 3; k++) {
                    lua_pushnumber(L, k);
                    lua_rawseti(L, -2, k);
                }
                lua_settable(L, -3);
                lua_pushstring(L, "bad4");
                lua_newtable(L);
                for (int k = 0; k < 4; k++) {
                    if (k == 2)
                        lua_pushstring(L, "x");
                    else
                        lua_pushnumber(L, k);
                    lua_rawseti(L, -2, k);
                }
                lua_settable(L, -3);
            },
            [&](lua_State *S) {
                c.read(S);
                return 0;
            });
        EXPECT_EQ(code, c.expected) << c.name;
        if (std::string(c.name).rfind("numbers", 0) == 0 && c.expected != ERR_TABEXPECTED2)
            EXPECT_TRUE(Detail() == "three" || Detail() == "bad4") << c.name;
        else if (std::string(c.name) == "percent 101")
            EXPECT_EQ(Detail(), "p101");
        else if (std::string(c.name) == "percent negative")
            EXPECT_EQ(Detail(), "pneg");
        else
            EXPECT_TRUE(Detail() == "tbl" || Detail() == "word") << c.name << ": " << Detail();
    }
    char text[256];
    SetErrorDetail("width");
    EXPECT_STREQ(GetErrorText(ERR_NUMTABLEARG, text, sizeof text), "Number expected in table argument \"width\"!");
}

TEST_F(TableFields, PercentFieldsAreStoredNegated) {
    int32_t a = 0, b = 0, c = 0, d = 0;
    double x = 0, y = 0;
    int isPercent = 0;
    EXPECT_EQ(WithTable(
                  [&] {
                      Field("a", "100.9%");
                      Field("b", "50%");
                      Field("c", 640.0);
                      Field("d", "250%");
                      Field("x", "25%");
                      Field("y", "25%");
                  },
                  [&](lua_State *S) {
                      GetTablePercent(S, 1, "a", 0, &a, nullptr);
                      GetTablePercent(S, 1, "b", 0, &b, nullptr);
                      GetTablePercent(S, 1, "c", 0, &c, nullptr);
                      GetTablePercent(S, 1, "d", 1, &d, nullptr);
                      GetTableNumberOrPercent(S, 1, "x", 200, 0, &x, nullptr, nullptr);
                      GetTableNumberOrPercent(S, 1, "y", 0, 0, &y, &isPercent, nullptr);
                      return 0;
                  }),
              0);
    EXPECT_EQ(a, -100);
    EXPECT_EQ(b, -50);
    EXPECT_EQ(c, 640);
    EXPECT_EQ(d, -250);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 0.25);
    EXPECT_EQ(isPercent, 1);
}

TEST_F(TableFields, TransformImagesAndLayerPositions) {
    double m[4] = {9, 9, 9, 9};
    cxObjectID *ids = nullptr;
    int count = -1, pos = 0, pos2 = 0, marker = 0;
    SetLayerNameResolver([](lua_State *, const char *name, int *position) {
        if (strcmp(name, "sky") != 0) return static_cast<int>(ERR_FINDLAYER);
        *position = 3;
        return 0;
    });
    EXPECT_EQ(WithTable(
                  [&] {
                      lua_pushstring(L, "transform");
                      lua_newtable(L);
                      for (int k = 0; k < 4; k++) {
                          lua_pushnumber(L, k + 1);
                          lua_rawseti(L, -2, k);
                      }
                      lua_settable(L, -3);
                      lua_pushstring(L, "images");
                      lua_newtable(L);
                      lua_pushnumber(L, 4);
                      lua_rawseti(L, -2, 0);
                      lua_pushlightuserdata(L, &marker);
                      lua_rawseti(L, -2, 1);
                      lua_settable(L, -3);
                      Field("insertpos", "sky");
                      Field("other", 2.0);
                      Field("nolayer", "ground");
                  },
                  [&](lua_State *S) {
                      GetTableNumbers(S, 1, "transform", m, nullptr);
                      GetTableImageList(S, 1, "images", &ids, &count, nullptr);
                      GetTableLayerPos(S, 1, "insertpos", &pos, nullptr);
                      GetTableLayerPos(S, 1, "other", &pos2, nullptr);
                      GetTableLayerPos(S, 1, "nolayer", &pos2, nullptr);
                      return 0;
                  }),
              ERR_FINDLAYER);
    EXPECT_EQ(Detail(), "ground");
    SetLayerNameResolver(nullptr);
    EXPECT_EQ(m[0], 1);
    EXPECT_EQ(m[3], 4);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(ids[0].number, 4);
    EXPECT_EQ(ids[1].pointer, &marker);
    free(ids);
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(pos2, 2);
}

TEST_F(TableFields, StringAllocAndFunctionReferences) {
    char *copy = nullptr;
    size_t len = 0;
    int ref = LUA_NOREF;
    EXPECT_EQ(WithTable(
                  [&] {
                      lua_pushstring(L, "file");
                      lua_pushlstring(L, "a\0b", 3);
                      lua_settable(L, -3);
                      Field("callback", "any value");
                  },
                  [&](lua_State *S) {
                      GetTableStringAlloc(S, 1, "file", 0, nullptr, &copy, &len, nullptr);
                      GetTableFunction(S, 1, "callback", &ref, nullptr);
                      return 0;
                  }),
              0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(std::string(copy, 3), std::string("a\0b", 3));
    free(copy);
    lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
    EXPECT_EQ(Str(-1), "any value");
    luaL_unref(L, LUA_REGISTRYINDEX, ref);
}

TEST_F(TableFields, WritersFillTheTableOnTop) {
    int marker = 0;
    lua_newtable(L);
    SetTableNumber(L, "n", -5);
    SetTableUnsigned(L, "u", 0xFFFFFFFFu);
    SetTableDouble(L, "d", 0.25);
    SetTableString(L, "s", "text");
    SetTableObjectID(L, "id", cxObjectID{0, &marker});
    const char *keys[] = {"n", "u", "d", "s", "id"};
    for (const char *k : keys) {
        lua_pushstring(L, k);
        lua_gettable(L, 1);
    }
    EXPECT_EQ(Num(2), -5);
    EXPECT_EQ(Num(3), 4294967295.0);
    EXPECT_EQ(Num(4), 0.25);
    EXPECT_EQ(Str(5), "text");
    EXPECT_EQ(lua_touserdata(L, 6), &marker);
}

} // namespace

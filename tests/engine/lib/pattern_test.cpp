// The pattern commands.
#include <string>

#include "tests/engine/runtime/vm_fixture.h"

namespace {

class Pattern : public cxtest::VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
    }
    int Find(const std::string &s, const std::string &p, double start = 0) {
        return Call("PatternFindStrDirect", [&] {
            lua_pushlstring(L, s.data(), s.size());
            lua_pushlstring(L, p.data(), p.size());
            lua_pushnumber(L, start);
        });
    }
    int Replace(const std::string &s, const std::string &p, const std::string &r, double max = -1) {
        return Call("PatternReplaceStr", [&] {
            lua_pushlstring(L, s.data(), s.size());
            lua_pushlstring(L, p.data(), p.size());
            lua_pushlstring(L, r.data(), r.size());
            lua_pushnumber(L, max);
        });
    }
};

TEST_F(Pattern, FindsPositionsAndCaptures) {
    struct Case {
        const char *s, *p;
        double start, first, last;
        const char *capture; // first capture, or null
    } cases[] = {
        {"hello world", "o w", 0, 4, 6, nullptr},
        {"hello world", "(%a+)$", 0, 6, 10, "world"},
        {"key = value", "(%w+)%s*=%s*(%w+)", 0, 0, 10, "key"},
        {"abc", "^b", 0, -1, -1, nullptr},
        {"abc", "b", 2, -1, -1, nullptr},
        {"x = 10;", "%d+", 0, 4, 5, nullptr},
        {"f(a(b)c)d", "%b()", 0, 1, 7, nullptr},
        {"THE (quick) fox", "%f[%a]%a+", 1, 5, 9, nullptr},
        {"aaa", "a-b", 0, -1, -1, nullptr},
        {"aaab", "a-b", 0, 0, 3, nullptr},
        {"[x]", "[]]", 0, 2, 2, nullptr},
        {"a.b", "%.", 0, 1, 1, nullptr},
        {"abcabc", "(abc)%1", 0, 0, 5, "abc"},
        {"ab12", "[^%a]+", 0, 2, 3, nullptr},
        {"", "^$", 0, 0, -1, nullptr},
        {"a b", "()b", 0, 2, 2, nullptr},
        {"zZ", "%u", 0, 1, 1, nullptr},
        {"a\0b", "%z", 0, 1, 1, nullptr},
    };
    for (const auto &c : cases) {
        std::string s = c.s;
        if (std::string(c.p) == "%z") s = std::string("a\0b", 3);
        ASSERT_EQ(Find(s, c.p, c.start), 0) << c.p;
        EXPECT_EQ(Num(1), c.first) << c.s << " / " << c.p;
        EXPECT_EQ(Num(2), c.last) << c.s << " / " << c.p;
        if (c.capture) {
            EXPECT_EQ(Str(3), c.capture) << c.p;
        }
    }
    ASSERT_EQ(Find("a b", "()b"), 0);
    EXPECT_EQ(Num(3), 2); // a position capture
}

TEST_F(Pattern, Utf8StepsByCharacters) {
    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC";
    ASSERT_EQ(Find(e + euro + "x", "."), 0);
    EXPECT_EQ(Num(1), 0);
    EXPECT_EQ(Num(2), 0);
    ASSERT_EQ(Find(e + euro + "x1", "x%d"), 0);
    EXPECT_EQ(Num(1), 2); // in characters
    ASSERT_EQ(Find("1" + e + e + "2", "%a+"), 0);
    EXPECT_EQ(Num(1), 1);
    EXPECT_EQ(Num(2), 2);
    ASSERT_EQ(Find("a" + euro, "[" + e + "-" + euro + "]"), 0);
    EXPECT_EQ(Num(1), 1);
    ASSERT_EQ(Replace(e + "b", ".", "<%0>"), 0);
    EXPECT_EQ(Str(1), "<" + e + "><b>");
    SetUtf8Mode(0);
    ASSERT_EQ(Find(e + "x", "x"), 0);
    EXPECT_EQ(Num(1), 2); // bytes
}

TEST_F(Pattern, MalformedPatternsGiveTheirCodes) {
    struct Case {
        const char *p;
        int expected;
    } cases[] = {
        {"%", ERR_MALFORMPAT1},
        {"[a", ERR_MALFORMPAT2},
        {"[%", ERR_MALFORMPAT2},
        {"%b", ERR_UNBALANCEDPAT},
        {"%ba", ERR_UNBALANCEDPAT},
        {"(a", ERR_UNFINISHEDCAPTURE},
        {"a)", ERR_INVPATCAP},
        {"%1", ERR_INVCAPIDX},
        {"%fa", ERR_MISSINGOPBRACK},
        {"((((((((((((((((((((((((((((((((((a))))))))))))))))))))))))))))))))))", ERR_TOOMANYCAPTURES},
    };
    for (const auto &c : cases) EXPECT_EQ(Find("a", c.p), c.expected) << c.p;
    // a subject long enough to nest the matcher too deeply
    std::string deep(5000, 'a');
    std::string nested;
    for (int i = 0; i < 300; i++) nested += "a?";
    EXPECT_EQ(Find(deep, nested), ERR_COMPLEXPATTERN);
    EXPECT_EQ(Find(deep, std::string(300, '.')), 0); // plain items need no nesting
    EXPECT_EQ(Replace("abc", "b", "%2"), ERR_INVCAPIDX);
    EXPECT_EQ(Replace("abc", "b", "%x"), ERR_ESCREPLACE);
    EXPECT_EQ(Replace("abc", "b", "%"), ERR_ESCREPLACE);
    EXPECT_EQ(Call("PatternReplaceStr", [&] {
                  lua_pushstring(L, "abc");
                  lua_pushstring(L, "b");
                  lua_pushboolean(L, 1);
              }),
              ERR_INVREPLACE);
}

// Backtracking that would take minutes is refused with the complexity
// error; a long match still sees the user's stop request.
TEST_F(Pattern, WorkIsBoundedAndAStopRequestIsSeen) {
    EXPECT_EQ(Find(std::string(24, 'a'), "a*a*a*a*a*a*a*a*a*b"), ERR_COMPLEXPATTERN);
    EXPECT_EQ(Find(std::string(40, 'a'), "a-a-a-a-a-a-a-a-a-b"), ERR_COMPLEXPATTERN);
    // Plain work on a large subject stays well inside the bound.
    const std::string big(4 << 20, 'a');
    EXPECT_EQ(Replace(big + "b", "a*b", "x"), 0);
    EXPECT_EQ(Find(big, "b"), 0);

    *GetUserAbortFlagAddress() = 1;
    EXPECT_EQ(Find(big, "b"), ERR_USERABORT);
    *GetUserAbortFlagAddress() = 0;
}

TEST_F(Pattern, ReplacesWithStringsTablesAndFunctions) {
    ASSERT_EQ(Replace("hello world", "(%w+)", "<%1>"), 0);
    EXPECT_EQ(Str(1), "<hello> <world>");
    EXPECT_EQ(Num(2), 2);
    ASSERT_EQ(Replace("abc", "", "-"), 0);
    EXPECT_EQ(Str(1), "-a-b-c-");
    ASSERT_EQ(Replace("aaa", "a", "b", 2), 0);
    EXPECT_EQ(Str(1), "bba");
    ASSERT_EQ(Replace("100%", "%%", "%%%%"), 0);
    EXPECT_EQ(Str(1), "100%%");
    ASSERT_EQ(Call("PatternReplaceStr", [&] {
                  lua_pushstring(L, "$name is $age");
                  lua_pushstring(L, "%$(%w+)");
                  lua_newtable(L);
                  SetTableString(L, "name", "Ann");
              }),
              0);
    EXPECT_EQ(Str(1), "Ann is $age");
    ASSERT_EQ(Call("PatternReplaceStr", [&] {
                  lua_pushstring(L, "1 2 3");
                  lua_pushstring(L, "%d");
                  lua_pushcfunction(L, [](lua_State *S) {
                      lua_pushnumber(S, lua_tonumber(S, 1) * 2);
                      return 1;
                  });
              }),
              0);
    EXPECT_EQ(Str(1), "2 4 6");
}

TEST_F(Pattern, IteratorAndShortForm) {
    ASSERT_EQ(Call("PatternFindStr", [&] {
                  lua_pushstring(L, "one two  three");
                  lua_pushstring(L, "%a+");
              }),
              0);
    ASSERT_EQ(lua_type(L, 1), LUA_TFUNCTION);
    std::string words;
    for (int i = 0; i < 10; i++) {
        lua_pushvalue(L, 1);
        ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
        if (lua_isnil(L, -1)) break;
        words += Str(-1) + ",";
        lua_pop(L, 1);
    }
    EXPECT_EQ(words, "one,two,three,");
    ASSERT_EQ(Call("PatternFindStrShort", [&] {
                  lua_pushstring(L, "date: 2024-03-05");
                  lua_pushstring(L, "(%d+)-(%d+)-(%d+)");
              }),
              0);
    ASSERT_EQ(lua_gettop(L), 3);
    EXPECT_EQ(Str(1), "2024");
    EXPECT_EQ(Str(3), "05");
    ASSERT_EQ(Call("PatternFindStrShort", [&] {
                  lua_pushstring(L, "abc");
                  lua_pushstring(L, "%d");
              }),
              0);
    EXPECT_TRUE(lua_isnil(L, 1));
}

} // namespace

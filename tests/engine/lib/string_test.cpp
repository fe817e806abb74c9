// The string library through its script commands.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/engine/runtime/vm_fixture.h"

namespace {

// A value to push: a number, a string (may hold NULs) or Nil.
struct V {
    enum Kind { Num, Str, Nil } kind;
    double n = 0;
    std::string s;
    V(double v) : kind(Num), n(v) {}
    V(int v) : kind(Num), n(v) {}
    V(const char *v) : kind(Str), s(v) {}
    V(std::string v) : kind(Str), s(std::move(v)) {}
    static V nil() {
        V v(0);
        v.kind = Nil;
        return v;
    }
};

class StringLib : public cxtest::VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
    }
    int Run(const char *cmd, std::vector<V> args) {
        return Call(cmd, [&] {
            for (const V &a : args) {
                if (a.kind == V::Num)
                    lua_pushnumber(L, a.n);
                else if (a.kind == V::Str)
                    lua_pushlstring(L, a.s.data(), a.s.size());
                else
                    lua_pushnil(L);
            }
        });
    }
    std::string S(const char *cmd, std::vector<V> args) {
        int code = Run(cmd, std::move(args));
        EXPECT_EQ(code, 0) << cmd;
        return code ? "<error>" : Str(1);
    }
    double N(const char *cmd, std::vector<V> args) {
        int code = Run(cmd, std::move(args));
        EXPECT_EQ(code, 0) << cmd;
        return code ? -12345 : Num(1);
    }
};

const std::string kE = "\xC3\xA9";     // U+00E9, two bytes
const std::string kEuro = "\xE2\x82\xAC"; // three bytes

TEST_F(StringLib, RegistersItsCommandsInOrder) {
    const cxCommandLibrary *lib = GetCommandLibraries();
    ASSERT_NE(lib, nullptr);
    EXPECT_STREQ(lib->name, "string");
    int n = 0;
    for (const luaL_reg *r = lib->commands; r->name; r++) n++;
    EXPECT_EQ(n, 65);
    EXPECT_STREQ(lib->commands[0].name, "LowerStr");
    EXPECT_STREQ(lib->commands[64].name, "ByteStrStr");
}

TEST_F(StringLib, ErrorCasesOfTheSpecifiedCommands) {
    struct Case {
        const char *cmd;
        std::vector<V> args;
        int expected;
    };
    const Case cases[] = {
        {"ByteChr", {256}, ERR_WRONGUSAGE},
        {"ByteChr", {-1}, ERR_WRONGUSAGE},
        {"RepeatStr", {"ab", -1}, ERR_WRONGUSAGE},
        {"ByteOffset", {"a" + kE + "b", 3}, ERR_WRONGUSAGE},
        {"ByteOffset", {"abc", -1}, ERR_WRONGUSAGE},
        {"StrLen", {"a\xC3"}, ERR_INVALIDUTF8ARG},
        {"StrLen", {"abc", 2}, ERR_BADENCODING},
        {"ConvertStr", {"abc", 0, 2}, ERR_TEXTCONVERT},
        {"ByteStrStr", {1, 3}, ERR_WRONGUSAGE},
        {"ByteStrStr", {1, 99}, ERR_WRONGUSAGE},
        {"ByteStrStr", {1, 1, 5}, ERR_WRONGUSAGE},
        {"ByteVal", {"ab", 1}, ERR_STRTOOSHORT},
        {"Chr", {0x110000}, ERR_WRONGUSAGE},
        {"Chr", {256, 0}, ERR_WRONGUSAGE},
        {"InsertStr", {"abc", "x", 4}, ERR_WRONGUSAGE},
        {"LeftStr", {"abc", -1}, ERR_WRONGUSAGE},
        {"SplitStr", {"abc", ""}, ERR_WRONGUSAGE},
        {"Base64Str", {"ab$c", 1}, ERR_BADBASE64},
        {"Base64Str", {"abc", 1}, ERR_BADBASE64},
        {"ToNumber", {"12x"}, ERR_NUMEXPECTED},
        {"ToNumber", {"12", 37}, ERR_WRONGUSAGE},
        {"FormatStr", {"%d %d", 1}, ERR_MISSINGPARAMTR},
        {"FormatStr", {"%y", 1}, ERR_WRONGUSAGE},
        {"FormatStr", {"%999d", 1}, ERR_WRONGUSAGE},
        {"FormatStr", {"%d", "x"}, ERR_NUMEXPECTED},
        {"Eval", {"1/0"}, ERR_ZERODIVISION},
        {"Eval", {"(1+2"}, ERR_BRACKETCLOSE},
        {"Eval", {"2 3"}, ERR_SYNTAXERROR},
        {"Eval", {"x+1"}, ERR_FINDCST},
        {"TrimStr", {"abc", "ab"}, ERR_WRONGUSAGE},
        {"StrLen", {}, ERR_MISSINGPARAMTR},
        {"StrLen", {"a", 1, 2}, ERR_TOOMANYARGS},
    };
    for (const Case &c : cases) EXPECT_EQ(Run(c.cmd, c.args), c.expected) << c.cmd;
}

// The result's size decides the work: an empty result is immediate however
// large the count, one past the string limit is refused at once.
TEST_F(StringLib, RepeatStrWorkFollowsTheResultSize) {
    EXPECT_EQ(S("RepeatStr", {"", 1e15}), "");
    EXPECT_EQ(Run("RepeatStr", {"ab", 1e15}), ERR_MEM);
    EXPECT_EQ(Run("RepeatStr", {"ab", 1073741825}), ERR_MEM);
    std::string expect;
    for (int i = 0; i < 99999; i++) expect += "xyz";
    EXPECT_EQ(S("RepeatStr", {"xyz", 99999}), expect);
}

// %d converts through a checked path: exact for every value that fits in
// 64 bits, saturated beyond, NaN as 0 (never undefined behaviour).
TEST_F(StringLib, FormatStrIntegersAreExactAndNeverUndefined) {
    const std::pair<double, const char *> cases[] = {
        {9.21e18, "9210000000000000000"},
        {-9.21e18, "-9210000000000000000"},
        {9223372036854774784.0, "9223372036854774784"},  // the largest double below 2^63
        {-9223372036854775808.0, "-9223372036854775808"},
        {9223372036854775808.0, "9223372036854775807"},
        {1e300, "9223372036854775807"},
        {-1e300, "-9223372036854775808"},
        {-2.9, "-2"},
        {std::nan(""), "0"},
        {HUGE_VAL, "9223372036854775807"},
    };
    for (const auto &c : cases) EXPECT_EQ(S("FormatStr", {"%d", c.first}), c.second) << c.first;
}

TEST_F(StringLib, SpecifiedResults) {
    ASSERT_EQ(Run("ByteChr", {0}), 0);
    EXPECT_EQ(Str(1), std::string("\0", 1));
    EXPECT_EQ(S("RepeatStr", {"ab", 0}), "");
    EXPECT_EQ(S("RepeatStr", {"ab", 3}), "ababab");
    EXPECT_EQ(N("EmptyStr", {""}), 1);
    EXPECT_EQ(N("EmptyStr", {"   "}), 1);
    EXPECT_EQ(N("EmptyStr", {" x "}), 0);
    EXPECT_EQ(S("StripStr", {" \t x y \n"}), "x y");
    EXPECT_EQ(S("StripStr", {"   "}), "");
    EXPECT_EQ(S("ReverseStr", {"a" + kE + "b"}), "b" + kE + "a");
    EXPECT_EQ(S("ReverseStr", {"a" + kE + "b", 0}), "b\xA9\xC3" "a");
    EXPECT_EQ(N("StrLen", {"a" + kE + kEuro}), 3);
    EXPECT_EQ(N("StrLen", {"a" + kE, 0}), 3);
    EXPECT_EQ(N("StrLen", {"a\xC3", 0}), 2);
    EXPECT_EQ(N("ByteLen", {"a" + kE}), 3);
    EXPECT_EQ(N("ByteOffset", {"a" + kE + "b", 2}), 3);
    EXPECT_EQ(N("ByteOffset", {"a" + kE + "b", 2, 0}), 2);
    EXPECT_EQ(S("ConvertStr", {"caf" + kE, 1, 0}), "caf\xE9");
    EXPECT_EQ(S("ConvertStr", {"caf\xE9", 0, 1}), "caf" + kE);
    EXPECT_EQ(S("ConvertStr", {"abc", 1, 1}), "abc");
    ASSERT_EQ(Run("ValidateStr", {"a" + kE}), 0);
    EXPECT_EQ(Num(1), 1);
    EXPECT_EQ(Num(2), 2);
    ASSERT_EQ(Run("ValidateStr", {"ab\xED\xA0\x80"}), 0);
    EXPECT_EQ(Num(1), 0);
    EXPECT_EQ(Num(2), 2);
    ASSERT_EQ(Run("ValidateStr", {"\xFF", 0}), 0);
    EXPECT_EQ(Num(1), 1);
    EXPECT_EQ(Num(2), -1);
    EXPECT_EQ(S("ByteStrStr", {0x11223344}), "\x11\x22\x33\x44");
    EXPECT_EQ(S("ByteStrStr", {0x1122, 6, 2}), "\x22\x11");
    EXPECT_EQ(S("ByteStrStr", {-1, 7}), "\xFF");
    EXPECT_EQ(S("ByteStrStr", {1.5, 12, 0}), std::string("\x3F\xF8\0\0\0\0\0\0", 8));
    EXPECT_EQ(N("ByteVal", {"\x11\x22\x33\x44"}), 0x11223344);
    EXPECT_EQ(N("ByteVal", {"\x22\x11", 6, 2}), 0x1122);
    EXPECT_EQ(N("ByteVal", {std::string("\x3F\xF8\0\0\0\0\0\0", 8), 12}), 1.5);
}

TEST_F(StringLib, CuttingCountsCharactersInUtf8) {
    const std::string s = "a" + kE + "b" + kEuro + "c"; // 5 characters
    EXPECT_EQ(S("LeftStr", {s, 2}), "a" + kE);
    EXPECT_EQ(S("LeftStr", {s, 99}), s);
    EXPECT_EQ(S("RightStr", {s, 2}), kEuro + "c");
    EXPECT_EQ(S("UnleftStr", {s, 2}), "b" + kEuro + "c");
    EXPECT_EQ(S("UnrightStr", {s, 2}), "a" + kE + "b");
    EXPECT_EQ(S("UnrightStr", {s, 9}), "");
    EXPECT_EQ(S("MidStr", {s, 1, 3}), kE + "b" + kEuro);
    EXPECT_EQ(S("MidStr", {s, 3}), kEuro + "c");
    EXPECT_EQ(S("MidStr", {s, 9, 2}), "");
    EXPECT_EQ(S("UnmidStr", {s, 1, 3}), "ac");
    EXPECT_EQ(S("InsertStr", {s, "XY", 1}), "aXY" + kE + "b" + kEuro + "c");
    EXPECT_EQ(S("InsertStr", {s, "!", 5}), s + "!");
    EXPECT_EQ(S("LeftStr", {s, 2, 0}), "a\xC3");
    EXPECT_EQ(N("Asc", {kEuro}), 0x20AC);
    EXPECT_EQ(N("Asc", {kEuro, 0}), 0xE2);
    EXPECT_EQ(S("Chr", {0x20AC}), kEuro);
    EXPECT_EQ(S("Chr", {0xE9, 0}), "\xE9");
    EXPECT_EQ(N("CharWidth", {0x20AC}), 3);
    EXPECT_EQ(N("CharOffset", {s, 3}), 2);
    ASSERT_EQ(Run("StrToArray", {"a" + kE}), 0);
    EXPECT_EQ(Num(2), 2);
    lua_rawgeti(L, 1, 1);
    EXPECT_EQ(Str(-1), kE);
}

TEST_F(StringLib, SearchingAndReplacing) {
    EXPECT_EQ(N("FindStr", {"Hello hello", "hello"}), 6);
    EXPECT_EQ(N("FindStr", {"Hello hello", "HELLO", 0}), 0);
    EXPECT_EQ(N("FindStr", {"Hello hello", "hello", 1, 7}), -1);
    EXPECT_EQ(N("FindStr", {"", "a"}), -1);
    EXPECT_EQ(N("FindStr", {"ab", "abc"}), -1);
    EXPECT_EQ(N("FindStr", {kE + "x" + kE + "y", kE + "y"}), 2);
    EXPECT_EQ(N("FindStr", {"x\xC3\x89y", kE, 0}), 1); // case-blind U+00C9 / U+00E9
    EXPECT_EQ(N("CountStr", {"aaaa", "aa"}), 2);
    EXPECT_EQ(N("CountStr", {"aAaA", "a", 0}), 4);
    ASSERT_EQ(Run("ReplaceStr", {"one two one", "one", "1"}), 0);
    EXPECT_EQ(Str(1), "1 two 1");
    EXPECT_EQ(Num(2), 2);
    ASSERT_EQ(Run("ReplaceStr", {"ONE two one", "one", "1", 0, 1}), 0);
    EXPECT_EQ(Str(1), "1 two one");
    EXPECT_EQ(Num(2), 1);
    EXPECT_EQ(N("StartsWith", {"Hello", "He"}), 1);
    EXPECT_EQ(N("StartsWith", {"Hello", "he"}), 0);
    EXPECT_EQ(N("StartsWith", {"Hello", "he", 0}), 1);
    EXPECT_EQ(N("EndsWith", {"Hello", "LLO", 0}), 1);
    EXPECT_EQ(N("EndsWith", {"Hello", "lo"}), 1);
    EXPECT_EQ(N("EndsWith", {"lo", "Hello"}), 0);
    EXPECT_EQ(N("CompareStr", {"apple", "APPLE", 0}), 0);
    EXPECT_EQ(N("CompareStr", {"a", "A"}), -1);
    EXPECT_EQ(N("CompareStr", {"abc", "abcd"}), -1);
    ASSERT_EQ(Run("SplitStr", {"a,,b", ","}), 0);
    EXPECT_EQ(Num(2), 3);
    lua_rawgeti(L, 1, 2);
    EXPECT_EQ(Str(-1), "b");
}

TEST_F(StringLib, Conversions) {
    EXPECT_EQ(S("LowerStr", {"\xC3\x80" "B"}), "\xC3\xA0" "b");
    EXPECT_EQ(S("UpperStr", {"abc" + kE}), "ABC\xC3\x89");
    EXPECT_EQ(S("UpperStr", {"\xE9\xFF", 0}), "\xC9\xFF");
    ASSERT_EQ(Run("Val", {"  $1F rest"}), 0);
    EXPECT_EQ(Num(1), 31);
    EXPECT_EQ(Num(2), 5);
    EXPECT_EQ(N("Val", {"abc"}), 0);
    EXPECT_EQ(N("Val", {"%101"}), 5);
    EXPECT_EQ(S("StrStr", {2.5}), "2.5");
    EXPECT_EQ(S("StrStr", {2.0 / 3, 2}), "0.67");
    EXPECT_EQ(S("HexStr", {255}), "$FF");
    EXPECT_EQ(S("HexStr", {-1}), "$FFFFFFFF");
    EXPECT_EQ(S("BinStr", {5, 4}), "%0101");
    EXPECT_EQ(S("PadNum", {7, 3}), "007");
    EXPECT_EQ(S("PadNum", {1234, 2}), "1234");
    EXPECT_EQ(N("ToNumber", {" 2.5 "}), 2.5);
    EXPECT_EQ(N("ToNumber", {"ff", 16}), 255);
    EXPECT_EQ(N("ToNumber", {"-101", 2}), -5);
    EXPECT_EQ(S("ToString", {V::nil()}), "nil");
    EXPECT_EQ(S("ToString", {12}), "12");
    ASSERT_EQ(Call("ToString", [&] { lua_newtable(L); }), 0);
    EXPECT_EQ(Str(1).rfind("Table: ", 0), 0u);
    EXPECT_EQ(S("TrimStr", {"xxabxx", "x"}), "abxx");
    EXPECT_EQ(S("TrimStr", {"xxabxx", "x", 1}), "xxab");
    EXPECT_EQ(S("AddStr", {"ab", "cd"}), "abcd");
    EXPECT_EQ(S("MD5Str", {""}), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(S("MD5Str", {"The quick brown fox jumps over the lazy dog"}), "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(S("MD5Str", {std::string(1000, 'a')}), "cabe45dcc9ae5b66ba86600cca6b8ba8");
    EXPECT_EQ(N("CRC32Str", {"123456789"}), 0xCBF43926u);
    EXPECT_EQ(N("CRC32Str", {""}), 0);
    EXPECT_EQ(S("Base64Str", {"Man is"}), "TWFuIGlz");
    EXPECT_EQ(S("Base64Str", {"ab"}), "YWI=");
    EXPECT_EQ(S("Base64Str", {"YW\nI=", 1}), "ab");
    EXPECT_EQ(S("Base64Str", {"YQ==", 1}), "a");
    EXPECT_EQ(N("IsAlpha", {kE}), 1);
    EXPECT_EQ(N("IsAlpha", {"\xAA", 0}), 0);
    EXPECT_EQ(N("IsDigit", {"7x"}), 1);
    EXPECT_EQ(N("IsUpper", {""}), 0);
    EXPECT_EQ(N("IsSpace", {"\t"}), 1);
    EXPECT_EQ(N("IsXDigit", {"g"}), 0);
    EXPECT_EQ(N("IsPrint", {" "}), 1);
    EXPECT_EQ(N("IsPunct", {"!"}), 1);
    EXPECT_EQ(N("IsCntrl", {"\x01"}), 1);
    EXPECT_EQ(N("IsLower", {kE}), 1);
    EXPECT_EQ(N("IsGraph", {" "}), 0);
    EXPECT_EQ(N("IsAlNum", {"_"}), 0);
    EXPECT_EQ(N("ByteAsc", {"\xFF"}), 255);
    ASSERT_EQ(Call("ArrayToStr", [&] {
                  lua_newtable(L);
                  lua_pushstring(L, "ab");
                  lua_rawseti(L, -2, 0);
                  lua_pushnumber(L, 3);
                  lua_rawseti(L, -2, 1);
              }),
              0);
    EXPECT_EQ(Str(1), "ab3");
    int marker = 0;
    char text[64];
    snprintf(text, sizeof text, "UserData: %p", static_cast<void *>(&marker));
    ASSERT_EQ(Run("ToUserData", {text}), 0);
    EXPECT_EQ(lua_touserdata(L, 1), &marker);
}

// Every recursive path of Eval counts its depth: a million signs or powers
// are refused with the complexity error instead of overflowing the stack.
TEST_F(StringLib, EvalDepthIsBoundedOnEveryRecursivePath) {
    for (const std::string &deep :
         {std::string(1000000, '-') + "1", std::string(1000000, '+') + "1",
          [] {
              std::string s;
              for (int i = 0; i < 300000; i++) s += "2^";
              return s + "1";
          }(),
          std::string(300000, '(') + "1"}) {
        EXPECT_EQ(Run("Eval", {deep}), ERR_COMPLEXPATTERN) << deep.substr(0, 8);
    }
    EXPECT_EQ(N("Eval", {std::string(100, '-') + "1"}), 1);
    EXPECT_EQ(N("Eval", {"2^2^-1"}), std::pow(2.0, std::pow(2.0, -1.0)));
}

TEST_F(StringLib, FormatAndEval) {
    EXPECT_EQ(S("FormatStr", {"%5.2f|%-4d|%+d|%x|%s|%%", 3.14159, 7, 5, 255, "hi"}), " 3.14|7   |+5|ff|hi|%");
    EXPECT_EQ(S("FormatStr", {"%05d|%#o|% d|%.3s|%4s", 42, 8, 3, "abcdef", "ab"}), "00042|010| 3|abc|  ab");
    EXPECT_EQ(S("FormatStr", {"%c%c", 65, 0x20AC}), "A" + kEuro);
    EXPECT_EQ(S("FormatStr", {"%.2s", kE + kE}), kE); // no half characters
    EXPECT_EQ(N("Eval", {"1 + 2 * 3"}), 7);
    EXPECT_EQ(N("Eval", {"(1 + 2) * 3 - -1"}), 10);
    EXPECT_EQ(N("Eval", {"2 ^ 3 ^ 2"}), 512);
    EXPECT_EQ(N("Eval", {"$10 + %11 + 7 % 4"}), 22);
    EXPECT_EQ(N("Eval", {"#ERR_MEM + 1"}), 1001);
    ASSERT_EQ(Call("Eval", [&] {
                  lua_pushstring(L, "w * H");
                  lua_newtable(L);
                  const char *names[] = {"w", "h"};
                  for (int i = 0; i < 2; i++) {
                      lua_newtable(L);
                      SetTableString(L, "name", names[i]);
                      SetTableNumber(L, "value", 6 + i);
                      lua_rawseti(L, -2, i);
                  }
              }),
              0);
    EXPECT_EQ(Num(1), 42);
}

TEST_F(StringLib, ReadersInIsoMode) {
    SetUtf8Mode(0);
    EXPECT_EQ(N("StrLen", {"a" + kE}), 3);
    EXPECT_EQ(S("LeftStr", {"a" + kE, 2}), "a\xC3");
    EXPECT_EQ(S("ReverseStr", {"ab\xE9"}), "\xE9" "ba");
    EXPECT_EQ(S("UpperStr", {"\xE9"}), "\xC9");
    ASSERT_EQ(Run("ValidateStr", {"\xFF"}), 0);
    EXPECT_EQ(Num(1), 1);
    EXPECT_EQ(Num(2), -1);
}

} // namespace

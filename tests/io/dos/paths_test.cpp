// Paths, names, patterns, attributes and dates.
#include <chrono>
#include <string>

#include "tests/io/dos/dos_fixture.h"

namespace cxtest {
namespace {

using Paths = DosTest;

TEST(Patterns, Table) {
    struct Case {
        const char *name;
        const char *list;
        int expected;
    } cases[] = {
        {"file7.txt", "file#.txt", 1},
        {"fileA.txt", "file#.txt", 0},
        {"b.png", "*.jpg;*.png", 1},
        {"b.gif", "*.jpg;*.png", 0},
        {"anything", "", 0},
        {"c", "[!a-b]", 1},
        {"a", "[!a-b]", 0},
        {"-", "[a-]", 1},
        {"b", "[a-c]", 1},
        {"ABC", "abc", 0},
        {"abc", "a?c", 1},
        {"ac", "a?c", 0},
        {"", "*", 1},
        {"x", "**?**", 1},
        {"abcabd", "*abd", 1},
        {"a[b", "a[b", 1},  // a bracket without an end stands for itself
        {"zz", "[z-a]z", 1}, // no range: z, - and a stand for themselves
    };
    for (const Case &c : cases) EXPECT_EQ(MatchPatternList(c.list, c.name), c.expected) << c.name << " ~ " << c.list;
}

TEST(Patterns, PathologicalPatternsFinishQuickly) {
    const std::string name(20000, 'a');
    const std::string pattern = "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MatchWildcard(pattern.data(), pattern.size(), name.c_str()), 0);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 2000);  // a backtracking matcher would not end in our lifetime
}

TEST(FileDates, Forms) {
    int64_t t = 0;
    EXPECT_TRUE(ParseFileDate("01-jan-2020 10:00:00", &t));
    EXPECT_TRUE(ParseFileDate("31-DEC-1999 23:59:59", &t));
    const char *bad[] = {"1-Jan-2020 10:00:00", "01-Jan-2020 24:00:00", "01-Jan-2020 10:60:00", "01-Jan-2020 10:00:60",
                         "00-Jan-2020 10:00:00", "32-Jan-2020 10:00:00", "01-Foo-2020 10:00:00", "31-Apr-2020 10:00:00",
                         "01/Jan/2020 10:00:00", "01-Jan-2020 10:00:00x", "", "01-Jan-20x0 10:00:00", "01-jan-0220 10:00:00"};
    for (const char *b : bad) EXPECT_FALSE(ParseFileDate(b, &t)) << b;
}

TEST_F(Paths, PartsAndJoining) {
    struct Case {
        const char *cmd;
        const char *a;
        const char *b;
        const char *expected;
    } cases[] = {
        {"PathPart", "a/b/c.txt", nullptr, "a/b/"},
        {"PathPart", "c.txt", nullptr, ""},
        {"PathPart", "a\\b.txt", nullptr, "a\\"},
        {"FilePart", "a/b/c.txt", nullptr, "c.txt"},
        {"FilePart", "vol:x.txt", nullptr, "x.txt"},
        {"FilePart", ":::chunk10:20*part.png?/some/applet", nullptr, "part.png"},
        {"FullPath", "a", "b", "a/b"},
        {"FullPath", "a/", "b", "a/b"},
        {"FullPath", "", "b", "b"},
        {"GetAsset", "x/y", nullptr, "x/y"},
        {"GetVolumeName", "/", nullptr, "unimplemented"},
    };
    for (const Case &c : cases) {
        int r = c.b ? Do(c.cmd, {c.a, c.b}) : Do(c.cmd, {c.a});
        ASSERT_EQ(r, 0) << c.cmd << " " << c.a;
        EXPECT_EQ(Str(1), c.expected) << c.cmd << " " << c.a;
    }
    EXPECT_EQ(Do("PathPart", {":::chunk1:2*x?y"}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("GetVolumeName", {""}), ERR_WRONGUSAGE);
    ASSERT_EQ(Do("FullPath", {std::string(1000, 'f'), std::string(100, 'n')}), 0);
    EXPECT_EQ(Str(1).size(), 1023u);
    EXPECT_EQ(Do("FullPath", {std::string(2000, 'f'), "name"}), ERR_MEM);  // not even the "/" fits
}

TEST_F(Paths, ExistenceKindAndSize) {
    Put("f.txt", "12345");
    ASSERT_EQ(Do("MakeDirectory", {Path("d")}), 0);
    struct Case {
        const char *cmd;
        std::string arg;
        double expected;
    } cases[] = {
        {"Exists", Path("f.txt"), 1},  {"Exists", Path("nope"), 0},  {"Exists", "", 0},
        {"FileSize", Path("f.txt"), 5}, {"FileSize", Path("d"), -1},  {"FileSize", Path("nope"), -1},
        {"FileSize", "", -1},          {"IsDirectory", Path("d"), 1}, {"IsDirectory", Path("f.txt"), 0},
        {"HaveVolume", "/", 1},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Do(c.cmd, {c.arg}), 0) << c.cmd << " " << c.arg;
        EXPECT_EQ(Num(1), c.expected) << c.cmd << " " << c.arg;
    }
    EXPECT_EQ(Do("IsDirectory", {Path("nope")}), ERR_STAT);
    EXPECT_EQ(Detail(), Path("nope"));
}

TEST_F(Paths, MakeDirectoryCreatesEveryLevel) {
    ASSERT_EQ(Do("MakeDirectory", {Path("x/y/z/")}), 0);
    EXPECT_EQ(Shell("test -d '" + Path("x/y/z") + "' && stat -c %a '" + Path("x/y/z") + "'"), "755");
    ASSERT_EQ(Do("MakeDirectory", {Path("x/y")}), 0);  // existing levels are fine
    Put("file", "");
    EXPECT_EQ(Do("MakeDirectory", {Path("file/sub")}), ERR_CREATEDIR);
    EXPECT_EQ(Detail(), Path("file/sub"));
    EXPECT_EQ(Do("MakeDirectory", {""}), ERR_WRONGUSAGE);
}

TEST_F(Paths, RenameStaysInTheOldFolder) {
    ASSERT_EQ(Do("MakeDirectory", {Path("dir")}), 0);
    Put("dir/x.txt", "x");
    ASSERT_EQ(Do("Rename", {Path("dir/x.txt"), "other/y.txt"}), 0);
    EXPECT_EQ(Get("dir/y.txt"), "x");
    EXPECT_EQ(Do("Rename", {Path("dir/none"), "z"}), ERR_RENAME);
    EXPECT_EQ(Do("Rename", {"", "z"}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("Rename", {":::chunk1:2*a?b", "z"}), ERR_WRONGUSAGE);
    // A name in use is refused, as MoveFile refuses it: nothing is lost.
    Put("dir/taken.txt", "taken");
    mkdir(Path("dir/folder").c_str(), 0755);
    EXPECT_EQ(Do("Rename", {Path("dir/y.txt"), "taken.txt"}), ERR_RENAME);
    EXPECT_EQ(Do("Rename", {Path("dir/folder"), "taken.txt"}), ERR_RENAME);
    EXPECT_EQ(Get("dir/taken.txt"), "taken");
    EXPECT_EQ(Get("dir/y.txt"), "x");
    ASSERT_EQ(Do("Rename", {Path("dir/y.txt"), "y.txt"}), 0);  // its own name
    EXPECT_EQ(Get("dir/y.txt"), "x");
}

TEST_F(Paths, AttributesMatchTheSystemsOwnTools) {
    Put("a.txt", "hello");
    ASSERT_EQ(Do("SetFileAttributes", {Path("a.txt"), nullptr}), ERR_TABEXPECTED);
    // flags 0x1000|0x200|1|2 = rw-r--r--, and both dates.
    ASSERT_EQ(Call("SetFileAttributes",
                   [&] {
                       lua_pushstring(L, Path("a.txt").c_str());
                       lua_newtable(L);
                       SetTableNumber(L, "flags", 1 | 2 | 0x200 | 0x1000);
                       SetTableString(L, "time", "02-Mar-2021 04:05:06");
                       SetTableString(L, "lastaccesstime", "03-mar-2021 04:05:06");
                   }),
              0);
    EXPECT_EQ(Shell("stat -c %a '" + Path("a.txt") + "'"), "644");
    EXPECT_EQ(Shell("date -d '2021-03-02 04:05:06' +%s"), Shell("stat -c %Y '" + Path("a.txt") + "'"));
    EXPECT_EQ(Shell("date -d '2021-03-03 04:05:06' +%s"), Shell("stat -c %X '" + Path("a.txt") + "'"));

    ASSERT_EQ(Do("GetFileAttributes", {Path("a.txt")}), 0);
    EXPECT_EQ(Field(1, "type"), "0");
    EXPECT_EQ(Field(1, "size"), "5");
    EXPECT_EQ(Field(1, "flags"), std::to_string(1 | 2 | 4 | 0x200 | 0x1000));
    EXPECT_EQ(Field(1, "time"), "02-Mar-2021 04:05:06");
    EXPECT_EQ(Field(1, "lastaccesstime"), "03-Mar-2021 04:05:06");
    EXPECT_EQ(Field(1, "path"), Path("a.txt"));
    EXPECT_EQ(Field(1, "virtual"), "0");

    ASSERT_EQ(Do("OpenFile", {1, Path("a.txt")}), 0);
    ASSERT_EQ(Do("FileAttributes", {1}), 0);
    EXPECT_EQ(Field(1, "size"), "5");
    EXPECT_EQ(Field(1, "streaming"), "0");
    EXPECT_EQ(Field(1, "noseek"), "0");

    // A bad date changes nothing, not even the flags given beside it.
    ASSERT_EQ(Call("SetFileAttributes",
                   [&] {
                       lua_pushstring(L, Path("a.txt").c_str());
                       lua_newtable(L);
                       SetTableNumber(L, "flags", 1);
                       SetTableString(L, "time", "1-Jan-2020 10:00:00");
                   }),
              ERR_INVALIDDATE);
    EXPECT_EQ(Shell("stat -c %a '" + Path("a.txt") + "'"), "644");
    ASSERT_EQ(Call("SetFileAttributes",
                   [&] {
                       lua_pushstring(L, Path("a.txt").c_str());
                       lua_newtable(L);
                       SetTableNumber(L, "flags", 65536 | 8);
                   }),
              0);
    EXPECT_EQ(Shell("stat -c %a '" + Path("a.txt") + "'"), "644");  // NORMAL wins
    ASSERT_EQ(Call("SetFileAttributes",
                   [&] {
                       lua_pushstring(L, Path("missing").c_str());
                       lua_newtable(L);
                   }),
              ERR_LOCK2);
    EXPECT_EQ(Detail(), Path("missing"));
    EXPECT_EQ(Do("GetFileAttributes", {Path("missing")}), ERR_READFILE);
}

TEST_F(Paths, AttributesOfAWindow) {
    Put("src.bin", std::string(200, 'q'));
    ASSERT_EQ(Do("DefineVirtualFile", {Path("src.bin"), 100, 50, "part.png"}), 0);
    const std::string name = Str(1);
    ASSERT_EQ(Do("GetFileAttributes", {name}), 0);
    EXPECT_EQ(Field(1, "virtual"), "1");
    EXPECT_EQ(Field(1, "size"), "50");
    EXPECT_EQ(Field(1, "path"), name);
    ASSERT_EQ(Do("FileSize", {name}), 0);
    EXPECT_EQ(Num(1), 50);
}

}  // namespace
}  // namespace cxtest

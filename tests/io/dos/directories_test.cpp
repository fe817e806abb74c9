// Directory objects, listings into tables, the iterator and monitors.
#include <set>
#include <string>

#include "platform/os_files.h"
#include "tests/io/dos/dos_fixture.h"

namespace cxtest {
namespace {

class Directories : public DosTest {
protected:
    void SetUp() override {
        DosTest::SetUp();
        Put("one.txt", "1");
        Put("two.txt", "22");
        ASSERT_EQ(Do("MakeDirectory", {Path("sub")}), 0);
    }
    // Names returned by NextDirectoryEntry until it returns nothing.
    std::multiset<std::string> Walk(int id) {
        std::multiset<std::string> names;
        for (;;) {
            EXPECT_EQ(Do("NextDirectoryEntry", {id}), 0);
            if (lua_gettop(L) == 0 || lua_isnil(L, 1)) break;
            names.insert(Field(1, "name"));
        }
        return names;
    }
};

TEST_F(Directories, WalkRewindCountAndRecursion) {
    ASSERT_EQ(Do("OpenDirectory", {1, dir}), 0);
    EXPECT_EQ(Walk(1), (std::multiset<std::string>{"one.txt", "sub", "two.txt"}));
    EXPECT_TRUE(Walk(1).empty());  // still at the end
    ASSERT_EQ(Do("RewindDirectory", {1}), 0);
    EXPECT_EQ(Walk(1).size(), 3u);

    ASSERT_EQ(Do("RewindDirectory", {1}), 0);
    ASSERT_EQ(Do("NextDirectoryEntry", {1}), 0);  // in the middle of a walk
    for (auto [what, n] : {std::pair{0, 2}, {1, 1}, {2, 3}}) {
        ASSERT_EQ(Do("CountDirectoryEntries", {1, what}), 0);
        EXPECT_EQ(Num(1), n) << what;
    }
    EXPECT_EQ(Walk(1).size(), 3u);  // counting restarted the walk

    ASSERT_EQ(Call("OpenDirectory",
                   [&] {
                       lua_pushnumber(L, 2);
                       lua_pushstring(L, dir.c_str());
                       lua_newtable(L);
                       SetTableNumber(L, "recursive", 0);
                   }),
              0);
    EXPECT_EQ(Walk(2), (std::multiset<std::string>{"one.txt", "two.txt"}));
}

TEST_F(Directories, EntriesCarryAttributes) {
    ASSERT_EQ(Do("OpenDirectory", {1, dir}), 0);
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(Do("NextDirectoryEntry", {1}), 0);
        const std::string name = Field(1, "name");
        if (name == "two.txt") {
            EXPECT_EQ(Field(1, "type"), "0");
            EXPECT_EQ(Field(1, "size"), "2");
        } else if (name == "sub") {
            EXPECT_EQ(Field(1, "type"), "1");
            EXPECT_EQ(Field(1, "size"), "<nil>");
        }
        EXPECT_EQ(Field(1, "time").size(), 20u);
    }
    ASSERT_EQ(Do("GetDirectoryEntry", {1, "one.txt"}), 0);
    EXPECT_EQ(Str(1), Path("one.txt"));
    EXPECT_EQ(Do("GetDirectoryEntry", {1, "none"}), ERR_READFILE);
    // As in virtual folders, names are looked up without regard to case and
    // with "\\" read as "/": the entry's own name comes back.
    mkdir(Path("sub/Docs").c_str(), 0755);
    Put("sub/Docs/Guide.TXT", "g");
    Put("Mixed.Case", "m");
    const std::pair<const char *, std::string> names[] = {
        {"ONE.TXT", Path("one.txt")},
        {"mixed.case", Path("Mixed.Case")},
        {"SUB\\docs\\guide.txt", Path("sub/Docs/Guide.TXT")},
        {"sub/DOCS/", Path("sub/Docs")},
    };
    for (const auto &[asked, found] : names) {
        ASSERT_EQ(Do("GetDirectoryEntry", {1, asked}), 0) << asked;
        EXPECT_EQ(Str(1), found) << asked;
    }
    EXPECT_EQ(Do("GetDirectoryEntry", {1, "sub\\none.txt"}), ERR_READFILE);
    EXPECT_EQ(Detail(), "sub\\none.txt");
}

TEST_F(Directories, Errors) {
    EXPECT_EQ(Do("OpenDirectory", {1, Path("missing")}), ERR_LOCK2);
    EXPECT_EQ(Detail(), Path("missing"));
    EXPECT_EQ(Do("OpenDirectory", {1, Path("one.txt")}), ERR_NOTADIR);
    EXPECT_EQ(Do("CloseDirectory", {7}), ERR_FINDDIR);
    EXPECT_EQ(Do("NextDirectoryEntry", {7}), ERR_FINDDIR);
    // No folder watching here: the object is not kept.
    EXPECT_EQ(Do("MonitorDirectory", {3, dir}), ERR_MONITORDIR);
    EXPECT_EQ(Do("CloseDirectory", {3}), ERR_FINDDIR);
}

TEST_F(Directories, ReadDirectoryTablesHoldNamesFromZero) {
    lua_settop(L, 0);
    lua_newtable(L);
    lua_newtable(L);
    const int files = lua_gettop(L) - 1, folders = lua_gettop(L);
    lua_pushstring(L, "readdirectory");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushstring(L, dir.c_str());
    lua_pushvalue(L, files);
    lua_pushvalue(L, folders);
    ASSERT_EQ(lua_pcall(L, 3, 2, 0), 0);
    EXPECT_EQ(Num(-2), 2);  // files
    EXPECT_EQ(Num(-1), 1);  // folders
    const char *want[] = {"one.txt", "two.txt", ""};
    for (int i = 0; i < 3; i++) {
        lua_rawgeti(L, files, i);
        EXPECT_EQ(Str(-1), want[i]);
        lua_pop(L, 1);
    }
    lua_rawgeti(L, folders, 0);
    EXPECT_EQ(Str(-1), "sub");
    lua_pop(L, 1);
    EXPECT_EQ(Do("ReadDirectory", {Path("missing"), 0, 0}), ERR_TABEXPECTED);
}

// for name, attrs in DirectoryItems(path) do n = n + 1 (stop early at stopat)
const char *kItemsLoop = R"(
        LOADK 0 #0
        GETGLOBAL 1 "directoryitems"
        GETGLOBAL 2 "path"
        CALL 1 2 2
        JMP check
body:   ADD 0 0 #1
        GETGLOBAL 5 "stopat"
        EQ 0 0 5
        JMP check
        JMP done
check:  TFORLOOP 1 1
        JMP body
done:   RETURN 0 2
)";

TEST_F(Directories, ItemsIteratorReleasesItsScan) {
    const int before = OsCountOpenDescriptors();
    SetGlobal("path", dir);
    SetGlobal("stopat", -1);
    ASSERT_EQ(RunAsm(kItemsLoop), 0);
    EXPECT_EQ(Num(1), 3);
    EXPECT_EQ(OsCountOpenDescriptors(), before);
    SetGlobal("stopat", 1);
    ASSERT_EQ(RunAsm(kItemsLoop), 0);
    EXPECT_EQ(OsCountOpenDescriptors(), before + 1);
    lua_settop(L, 0);
    FullCollect();
    EXPECT_EQ(OsCountOpenDescriptors(), before);
    EXPECT_EQ(Do("DirectoryItems", {Path("missing")}), ERR_LOCK2);
}

TEST_F(Directories, VirtualFoldersFromAnEntryTree) {
    // top: a.txt (window 5..7 of the applet file), folder "Pics" with b.png
    cxVirtualEntry b{nullptr, nullptr, const_cast<char *>("b.png"), 0, 10, 4};
    cxVirtualEntry pics{nullptr, &b, const_cast<char *>("Pics"), 1, 0, 0};
    cxVirtualEntry a{&pics, nullptr, const_cast<char *>("a.txt"), 0, 5, 3};
    RegisterVirtualFolder(&a);  // as the applet loader does
    ASSERT_EQ(Call("OpenDirectory",
                   [&] {
                       lua_pushnumber(L, 4);
                       lua_pushstring(L, "applet");
                       lua_newtable(L);
                       lua_pushstring(L, "__direntries");
                       lua_pushlightuserdata(L, &a);
                       lua_settable(L, -3);
                   }),
              0);
    EXPECT_EQ(Walk(4), (std::multiset<std::string>{"a.txt", "Pics"}));
    ASSERT_EQ(Do("GetDirectoryEntry", {4, "pics"}), 0);  // case-blind
    const std::string sub = Str(1);
    EXPECT_EQ(sub, ":::4,Pics");
    ASSERT_EQ(Do("OpenDirectory", {5, sub}), 0);
    ASSERT_EQ(Do("NextDirectoryEntry", {5}), 0);
    EXPECT_EQ(Field(1, "name"), "b.png");
    EXPECT_EQ(Field(1, "size"), "4");
    EXPECT_EQ(Field(1, "flags"), "15");
    ASSERT_EQ(Do("GetDirectoryEntry", {5, "B.PNG"}), 0);
    EXPECT_EQ(Str(1).rfind(":::chunk10:4*Pics/b.png?", 0), 0u) << Str(1);
    EXPECT_EQ(Do("OpenDirectory", {6, ":::9,Pics"}), ERR_FINDDIR);
    ASSERT_EQ(Do("CloseDirectory", {5}), 0);
    ASSERT_EQ(Do("CloseDirectory", {4}), 0);  // the tree stays with its owner
    ForgetVirtualFolder(&a);
}

// Only entry trees that the applet loader made are listed: any other light
// userdata (an automatic object ID, say) is refused with 1055.
TEST_F(Directories, EntryTreesMustComeFromTheAppletLoader) {
    Put("f.txt", "x");
    ASSERT_EQ(Do("OpenFile", {nullptr, Path("f.txt")}), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    void *objectId = lua_touserdata(L, 1);
    cxVirtualEntry forgotten{nullptr, nullptr, const_cast<char *>("gone.txt"), 0, 1, 1};
    RegisterVirtualFolder(&forgotten);
    ForgetVirtualFolder(&forgotten);
    for (void *bogus : {objectId, static_cast<void *>(&forgotten)}) {
        EXPECT_EQ(Call("OpenDirectory",
                       [&] {
                           lua_pushnumber(L, 1);
                           lua_pushstring(L, "applet");
                           lua_newtable(L);
                           lua_pushstring(L, "__direntries");
                           lua_pushlightuserdata(L, bogus);
                           lua_settable(L, -3);
                       }),
                  ERR_WRONGUSAGE);
    }
    EXPECT_EQ(Do("NextDirectoryEntry", {1}), ERR_FINDDIR);
    // A tree taken back lists nothing more in the objects still open on it.
    RegisterVirtualFolder(&forgotten);
    ASSERT_EQ(Call("OpenDirectory",
                   [&] {
                       lua_pushnumber(L, 2);
                       lua_pushstring(L, "applet");
                       lua_newtable(L);
                       lua_pushstring(L, "__direntries");
                       lua_pushlightuserdata(L, &forgotten);
                       lua_settable(L, -3);
                   }),
              0);
    ForgetVirtualFolder(&forgotten);
    ASSERT_EQ(Do("NextDirectoryEntry", {2}), 0);
    EXPECT_EQ(lua_gettop(L), 0);
}

}  // namespace
}  // namespace cxtest

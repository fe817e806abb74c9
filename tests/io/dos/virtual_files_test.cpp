// Virtual files: windows of files and strings opened as files.
#include <string>

#include "tests/io/dos/dos_fixture.h"

namespace cxtest {
namespace {

using VirtualFiles = DosTest;

TEST_F(VirtualFiles, WindowsAndNestedWindows) {
    std::string data(300, '\0');
    for (int i = 0; i < 300; i++) data[i] = static_cast<char>(i);
    Put("src.bin", data);
    ASSERT_EQ(Do("DefineVirtualFile", {Path("src.bin"), 100, 50, "part.png"}), 0);
    const std::string outer = Str(1);
    ASSERT_EQ(Do("FilePart", {outer}), 0);
    EXPECT_EQ(Str(1), "part.png");
    ASSERT_EQ(Do("FileToString", {outer}), 0);
    EXPECT_EQ(Str(1), data.substr(100, 50));

    ASSERT_EQ(Do("DefineVirtualFile", {Path("src.bin"), 0, 25, "w25"}), 0);
    EXPECT_EQ(Do("DefineVirtualFile", {Str(1), 10, 20, "inner"}), ERR_WRONGUSAGE);  // leaves the outer window
    ASSERT_EQ(Do("DefineVirtualFile", {outer, 10, 20, "inner"}), 0);
    ASSERT_EQ(Do("FileToString", {Str(1)}), 0);
    EXPECT_EQ(Str(1), data.substr(110, 20));

    EXPECT_EQ(Do("DefineVirtualFile", {Path("src.bin"), 0, 0, "x"}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("DefineVirtualFile", {"", 0, 5, "x"}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("DefineVirtualFile", {Path("src.bin"), 0, 5}), ERR_MISSINGPARAMTR);
    EXPECT_EQ(Do("DefineVirtualFile", {Path("src.bin"), 0, 5, std::string(1100, 'n')}), ERR_MEM);
    // A window cannot be written.
    ASSERT_EQ(Do("OpenFile", {1, outer, MODE_WRITE}), ERR_WRITEFILE);
}

TEST_F(VirtualFiles, StringFiles) {
    ASSERT_EQ(Do("DefineVirtualFileFromString", {"line1\nline2", "text.txt"}), 0);
    const std::string name = Str(1);
    ASSERT_EQ(Do("OpenFile", {1, name}), 0);
    ASSERT_EQ(Do("ReadLine", {1}), 0);
    EXPECT_EQ(Str(1), "line1");
    ASSERT_EQ(Do("FileLength", {1}), 0);
    EXPECT_EQ(Num(1), 11);
    ASSERT_EQ(Do("CloseFile", {1}), 0);
    // The script's own string is never written through.
    EXPECT_EQ(Do("OpenFile", {1, name, MODE_READWRITE}), ERR_WRITEFILE);

    ASSERT_EQ(Do("DefineVirtualFileFromString", {"", "buf", 1}), 0);
    const std::string copy = Str(1);
    ASSERT_EQ(Do("OpenFile", {2, copy, MODE_WRITE}), 0);
    ASSERT_EQ(Do("WriteInt", {2, 0x41424344}), 0);
    ASSERT_EQ(Do("WriteBytes", {2, std::string(70000, 'z')}), 0);  // grows past the reserve
    ASSERT_EQ(Do("CloseFile", {2}), 0);
    ASSERT_EQ(Do("FileToString", {copy}), 0);
    EXPECT_EQ(Str(1), "ABCD" + std::string(70000, 'z'));

    ASSERT_EQ(Do("UndefineVirtualStringFile", {copy}), 0);
    EXPECT_EQ(Do("UndefineVirtualStringFile", {copy}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("FileToString", {copy}), ERR_READFILE);
    EXPECT_EQ(Do("UndefineVirtualStringFile", {"plain.txt"}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("DefineVirtualFileFromString", {"x", ""}), ERR_WRONGUSAGE);
}

TEST_F(VirtualFiles, StringKeptAliveUntilUndefined) {
    lua_settop(L, 0);
    std::string text(5000, 'k');
    ASSERT_EQ(Do("DefineVirtualFileFromString", {text, "alive"}), 0);
    const std::string name = Str(1);
    lua_settop(L, 0);
    FullCollect();  // only the registry holds the string now
    ASSERT_EQ(Do("FileToString", {name}), 0);
    EXPECT_EQ(Str(1), text);
}

// A string file cannot be undefined while a file is open on it: its bytes
// would go from under the file. The undefine says 1055, the file reads on,
// and once it is closed the undefine goes through. A stream still open when
// the clean-up frees every string file (a FileLines loop left early) reads
// nothing afterwards.
TEST_F(VirtualFiles, AnOpenFileKeepsItsStringFile) {
    for (int copy : {0, 1}) {
        ASSERT_EQ(Do("DefineVirtualFileFromString", {"0123456789", "open.txt", copy}), 0);
        const std::string name = Str(1);
        ASSERT_EQ(Do("OpenFile", {1, name}), 0);
        EXPECT_EQ(Do("UndefineVirtualStringFile", {name}), ERR_WRONGUSAGE) << copy;
        ASSERT_EQ(Do("ReadBytes", {1, 4}), 0) << copy;
        EXPECT_EQ(Str(1), "0123");
        ASSERT_EQ(Do("CloseFile", {1}), 0);
        EXPECT_EQ(Do("UndefineVirtualStringFile", {name}), 0) << copy;
    }
    ASSERT_EQ(Do("DefineVirtualFileFromString", {"a\nb\n", "lines.txt", 1}), 0);
    ASSERT_EQ(Do("FileLines", {Str(1)}), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TFUNCTION);
    FreeDosObjects(L);
    lua_pushvalue(L, 1);
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
    EXPECT_TRUE(lua_isnil(L, -1));
}

// A memory block over a string file made without the copy flag holds a
// copy of the bytes: a Poke never reaches the script's own string, which
// every equal constant of the applet shares. Over a copied string file the
// block follows the bytes when the file grows, and keeps the file from
// being undefined while it exists.
TEST_F(VirtualFiles, MemoryBlocksOverStringFiles) {
    constexpr int BYTE = 7;
    ASSERT_EQ(Do("DefineVirtualFileFromString", {"hello world", "shared.txt"}), 0);
    const std::string shared = Str(1);
    ASSERT_EQ(Do("AllocMemFromVirtualFile", {1, shared}), 0);
    ASSERT_EQ(Do("Poke", {1, 0, 'J', BYTE}), 0);
    ASSERT_EQ(Do("Peek", {1, 0, BYTE}), 0);
    EXPECT_EQ(Num(1), 'J');
    lua_pushstring(L, "hello world");
    EXPECT_STREQ(lua_tostring(L, -1), "hello world");
    ASSERT_EQ(Do("FileToString", {shared}), 0);
    EXPECT_EQ(Str(1), "hello world");

    ASSERT_EQ(Do("DefineVirtualFileFromString", {"abc", "owned.txt", 1}), 0);
    const std::string owned = Str(1);
    ASSERT_EQ(Do("AllocMemFromVirtualFile", {2, owned}), 0);
    EXPECT_EQ(Do("UndefineVirtualStringFile", {owned}), ERR_WRONGUSAGE);
    ASSERT_EQ(Do("OpenFile", {3, owned, MODE_READWRITE}), 0);
    ASSERT_EQ(Do("Seek", {3, 0, 2}), 0);
    ASSERT_EQ(Do("WriteBytes", {3, std::string(200000, 'g')}), 0);  // the bytes move
    ASSERT_EQ(Do("CloseFile", {3}), 0);
    ASSERT_EQ(Do("Peek", {2, 2, BYTE}), 0);
    EXPECT_EQ(Num(1), 'c');
    ASSERT_EQ(Do("Poke", {2, 1, 'B', BYTE}), 0);
    ASSERT_EQ(Do("FileToString", {owned}), 0);
    EXPECT_EQ(Str(1).substr(0, 4), "aBcg");
    EXPECT_EQ(Do("Poke", {2, 3, 'x', BYTE}), ERR_MEMRANGE);  // the block keeps its size
    ASSERT_EQ(Do("FreeMem", {2}), 0);
    EXPECT_EQ(Do("UndefineVirtualStringFile", {owned}), 0);

    // An empty file gives no block: a block of size 0 would have no bounds.
    ASSERT_EQ(Do("DefineVirtualFileFromString", {"", "empty.txt", 1}), 0);
    EXPECT_EQ(Do("AllocMemFromVirtualFile", {4, Str(1)}), ERR_WRONGUSAGE);
}

TEST_F(VirtualFiles, TypedMemoryNamesNeverOpen) {
    int local = 42;
    char name[64];
    snprintf(name, sizeof name, ":::memory:%lx:4", reinterpret_cast<unsigned long>(&local));
    EXPECT_EQ(Do("FileToString", {name}), ERR_READFILE);
    EXPECT_EQ(Do("OpenFile", {1, name, MODE_WRITE}), ERR_WRITEFILE);
    EXPECT_EQ(Do("OpenFile", {1, ":::chunkS999:0*x?unused"}), ERR_READFILE);
    EXPECT_EQ(local, 42);
}

}  // namespace
}  // namespace cxtest

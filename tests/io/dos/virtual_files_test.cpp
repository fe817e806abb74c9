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

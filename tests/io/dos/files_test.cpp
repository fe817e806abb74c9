// File objects: item reads and writes, lines, strings, positions, modes,
// whole-file helpers and what happens to descriptors.
#include <sys/resource.h>

#include <string>
#include <vector>

#include "platform/os_files.h"
#include "tests/streams/small_disk.h"
#include "tests/io/dos/dos_fixture.h"

namespace cxtest {
namespace {

using Files = DosTest;

TEST_F(Files, IntegersInBothByteOrders) {
    Put("n.bin", std::string("\x12\x34\xFF\xFE\xFF\xFF\xFF\xFE\x12\x34", 10));
    ASSERT_EQ(Open(1, "n.bin", MODE_READ), 0);
    struct Case {
        const char *cmd;
        int order;
        double expected;
    } cases[] = {
        {"ReadShort", 0, 4660},   // 12 34
        {"ReadShort", 0, 65534},  // FF FE, unsigned
        {"ReadInt", 0, -2},       // FF FF FF FE
        {"ReadShort", 1, 13330},  // 12 34 least significant first
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Do("Eof", {1}), 0);
        EXPECT_EQ(Num(1), 0);
        ASSERT_EQ(Do(c.cmd, {1, c.order}), 0) << c.cmd;
        EXPECT_EQ(Num(1), c.expected) << c.cmd << " order " << c.order;
    }
    EXPECT_EQ(Do("ReadByte", {1}), ERR_READ);  // past the end
    EXPECT_EQ(Do("Eof", {1}), 0);
    EXPECT_EQ(Num(1), 1);
}

TEST_F(Files, WritesReadBackInEveryFormAndOrder) {
    ASSERT_EQ(Open(1, "w.bin", MODE_WRITE), 0);
    ASSERT_EQ(Do("WriteByte", {1, 0x1FF}), 0);
    ASSERT_EQ(Do("WriteShort", {1, 0x1234}), 0);
    ASSERT_EQ(Do("WriteShort", {1, 0x1234, 1}), 0);
    ASSERT_EQ(Do("WriteInt", {1, -2}), 0);
    ASSERT_EQ(Do("WriteInt", {1, 0x11223344, 1}), 0);
    ASSERT_EQ(Do("WriteFloat", {1, 0.25, 4}), 0);
    ASSERT_EQ(Do("WriteFloat", {1, -1.5, 8, 1}), 0);
    EXPECT_EQ(Do("WriteFloat", {1, 1, 5}), ERR_WRONGUSAGE);
    ASSERT_EQ(Do("CloseFile", {1}), 0);
    EXPECT_EQ(Get("w.bin"), std::string("\xFF\x12\x34\x34\x12\xFF\xFF\xFF\xFE\x44\x33\x22\x11\x3E\x80\x00\x00"
                                        "\x00\x00\x00\x00\x00\x00\xF8\xBF",
                                        25));
    ASSERT_EQ(Open(1, "w.bin", MODE_READ), 0);
    ASSERT_EQ(Do("Seek", {1, 13}), 0);
    ASSERT_EQ(Do("ReadFloat", {1, 4}), 0);
    EXPECT_EQ(Num(1), 0.25);
    ASSERT_EQ(Do("ReadFloat", {1, 8, 1}), 0);
    EXPECT_EQ(Num(1), -1.5);
    EXPECT_EQ(Do("ReadFloat", {1, 5}), ERR_WRONGUSAGE);
}

TEST_F(Files, CharactersInBothEncodings) {
    ASSERT_EQ(Open(1, "c.txt", MODE_WRITE), 0);
    ASSERT_EQ(Do("WriteChr", {1, 0x20AC, 1}), 0);  // the euro sign, three bytes
    ASSERT_EQ(Do("WriteChr", {1, 0xE9, 0}), 0);    // one byte
    EXPECT_EQ(Do("WriteChr", {1, 0, 1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("WriteChr", {1, 0x110000, 1}), ERR_WRONGUSAGE);
    ASSERT_EQ(Do("CloseFile", {1}), 0);
    EXPECT_EQ(Get("c.txt"), "\xE2\x82\xAC\xE9");
    ASSERT_EQ(Open(1, "c.txt", MODE_READ), 0);
    ASSERT_EQ(Do("ReadChr", {1, 1}), 0);
    EXPECT_EQ(Num(1), 0x20AC);
    EXPECT_EQ(Do("ReadChr", {1, 1}), ERR_READ);  // E9 wants two more bytes
    ASSERT_EQ(Do("Seek", {1, 3}), 0);
    ASSERT_EQ(Do("ReadChr", {1, 0}), 0);
    EXPECT_EQ(Num(1), 0xE9);
    Put("bad.txt", "\xE9xx");
    ASSERT_EQ(Open(2, "bad.txt", MODE_READ), 0);
    EXPECT_EQ(Do("ReadChr", {2, 1}), ERR_INVALIDUTF8);
}

TEST_F(Files, ModesAreEnforced) {
    Put("m.txt", "abc");
    ASSERT_EQ(Open(1, "m.txt", MODE_READ), 0);
    ASSERT_EQ(Open(2, "o.txt", MODE_WRITE), 0);
    for (const char *w : {"WriteByte", "WriteShort", "WriteInt", "WriteChr"})
        EXPECT_EQ(Do(w, {1, 65}), ERR_READONLY) << w;
    EXPECT_EQ(Do("WriteLine", {1, "x"}), ERR_READONLY);
    EXPECT_EQ(Do("WriteString", {1, "x"}), ERR_READONLY);
    for (const char *r : {"ReadByte", "ReadShort", "ReadInt", "ReadChr", "ReadLine", "ReadString", "ReadBytes"})
        EXPECT_EQ(Do(r, {2}), ERR_WRITEONLY) << r;
    EXPECT_EQ(Do("OpenFile", {3, Path("m.txt"), 1234}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("OpenFile", {3, "", MODE_READ}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("OpenFile", {3, Path("missing"), MODE_READ}), ERR_READFILE);
    EXPECT_EQ(Detail(), Path("missing"));
    EXPECT_EQ(Do("OpenFile", {3, Path("no/such/dir/x"), MODE_WRITE}), ERR_WRITEFILE);
    EXPECT_EQ(Do("ReadByte", {9}), ERR_FINDFILE);
    EXPECT_EQ(GetErrorNumber(), 9);
    // Read and write on one file.
    ASSERT_EQ(Open(4, "m.txt", MODE_READWRITE), 0);
    ASSERT_EQ(Do("Seek", {4, 1}), 0);
    ASSERT_EQ(Do("WriteByte", {4, 'X'}), 0);
    ASSERT_EQ(Do("Seek", {4, 0}), 0);
    ASSERT_EQ(Do("ReadString", {4}), 0);
    EXPECT_EQ(Str(1), "aXc");
}

TEST_F(Files, NumberInUseClosesTheOldFileEvenWhenTheNewOpenFails) {
    Put("a.txt", "a");
    const int before = OsCountOpenDescriptors();
    ASSERT_EQ(Open(1, "a.txt", MODE_READ), 0);
    EXPECT_EQ(OsCountOpenDescriptors(), before + 1);
    EXPECT_EQ(Open(1, "missing", MODE_READ), ERR_READFILE);
    EXPECT_EQ(OsCountOpenDescriptors(), before);
    EXPECT_EQ(Do("ReadByte", {1}), ERR_FINDFILE);
}

TEST_F(Files, AutomaticIds) {
    Put("a.txt", "hello");
    ASSERT_EQ(Do("OpenFile", {nullptr, Path("a.txt")}), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    void *id = lua_touserdata(L, 1);
    ASSERT_EQ(Call("ReadString", [&] { lua_pushlightuserdata(L, id); }), 0);
    EXPECT_EQ(Str(1), "hello");
    ASSERT_EQ(Call("CloseFile", [&] { lua_pushlightuserdata(L, id); }), 0);
    EXPECT_EQ(Call("CloseFile", [&] { lua_pushlightuserdata(L, id); }), ERR_FINDARRAY);
}

TEST_F(Files, LinesDropCarriageReturnsAndEndWithEmptyString) {
    Put("l.txt", std::string("a\r\nb"));
    ASSERT_EQ(Open(1, "l.txt", MODE_READ), 0);
    for (const char *want : {"a", "b", "", ""}) {
        ASSERT_EQ(Do("ReadLine", {1}), 0);
        EXPECT_EQ(Str(1), want);
    }
    // A line longer than any read piece comes back whole.
    std::string longLine(70000, 'x');
    longLine[5] = '\r';
    Put("long.txt", longLine + "\nnext\n");
    ASSERT_EQ(Open(2, "long.txt", MODE_READ), 0);
    ASSERT_EQ(Do("ReadLine", {2}), 0);
    EXPECT_EQ(Str(1), std::string(69999, 'x'));
    ASSERT_EQ(Do("ReadLine", {2}), 0);
    EXPECT_EQ(Str(1), "next");
}

TEST_F(Files, WriteLineHonoursTheCarriageReturnSwitch) {
    ASSERT_EQ(Open(1, "w.txt", MODE_WRITE), 0);
    ASSERT_EQ(Do("WriteLine", {1, "a"}), 0);
    ASSERT_EQ(Do("UseCarriageReturn", {1}), 0);
    ASSERT_EQ(Do("WriteLine", {1, "b"}), 0);
    ASSERT_EQ(Do("UseCarriageReturn", {0}), 0);
    ASSERT_EQ(Do("WriteLine", {1, ""}), 0);
    ASSERT_EQ(Do("CloseFile", {1}), 0);
    EXPECT_EQ(Get("w.txt"), "a\nb\r\n\n");
}

TEST_F(Files, StringsAndByteRuns) {
    Put("s.txt", "\xEF\xBB\xBFh\xC3\xA9llo");
    ASSERT_EQ(Open(1, "s.txt", MODE_READ), 0);
    ASSERT_EQ(Do("ReadString", {1, 2, 1}), 0);  // characters, the mark skipped
    EXPECT_EQ(Str(1), "h\xC3\xA9");
    ASSERT_EQ(Do("ReadBytes", {1}), 0);  // the rest
    EXPECT_EQ(Str(1), "llo");
    ASSERT_EQ(Do("ReadBytes", {1}), 0);
    EXPECT_EQ(Str(1), "");
    ASSERT_EQ(Do("Seek", {1, 0}), 0);
    ASSERT_EQ(Do("ReadString", {1, 0, 1}), 0);  // whole rest: the mark dropped
    EXPECT_EQ(Str(1), "h\xC3\xA9llo");
    ASSERT_EQ(Do("Seek", {1, -3, 2}), 0);
    EXPECT_EQ(Do("ReadBytes", {1, 10}), ERR_READ);
    ASSERT_EQ(Do("ReadBytes", {1, -1}), 0);
    EXPECT_EQ(Str(1), "");
    Put("bad.txt", "ok\xC3(");
    ASSERT_EQ(Open(3, "bad.txt", MODE_READ), 0);
    EXPECT_EQ(Do("ReadString", {3, 3, 1}), ERR_INVALIDUTF8);

    ASSERT_EQ(Open(2, "o.txt", MODE_WRITE), 0);
    EXPECT_EQ(Do("WriteString", {2, "abc", 5}), ERR_STRTOOSHORT);
    ASSERT_EQ(Do("WriteString", {2, "h\xC3\xA9llo", 2, 1}), 0);  // two characters, three bytes
    ASSERT_EQ(Do("WriteBytes", {2, "abc", 2}), 0);
    EXPECT_EQ(Do("WriteString", {2, "\xE9", 0, 1}), ERR_INVALIDUTF8ARG);
    ASSERT_EQ(Do("CloseFile", {2}), 0);
    EXPECT_EQ(Get("o.txt"), "h\xC3\xA9" "ab");
}

TEST_F(Files, PositionsAndSeeks) {
    Put("p.bin", "0123456789");
    ASSERT_EQ(Open(1, "p.bin", MODE_READ), 0);
    struct Case {
        double pos;
        int mode;
        double expected;
    } cases[] = {{-1, 1, 10}, {0, 2, 10}, {3, 1, 3}, {2, 0, 5}, {-4, 2, 6}};
    for (const Case &c : cases) {
        ASSERT_EQ(Do("Seek", {1, c.pos, c.mode}), 0);
        ASSERT_EQ(Do("FilePos", {1}), 0);
        EXPECT_EQ(Num(1), c.expected) << c.pos << "/" << c.mode;
    }
    EXPECT_EQ(Do("Seek", {1, -20, 1}), ERR_SEEKFILE);
    EXPECT_EQ(Do("Seek", {1, 0, 7}), ERR_SEEKFILE);
    ASSERT_EQ(Do("FileLength", {1}), 0);
    EXPECT_EQ(Num(1), 10);
    EXPECT_EQ(Do("SetIOMode", {2}), ERR_WRONGUSAGE);
}

TEST_F(Files, ShortWritesGive1005) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    ASSERT_EQ(Do("OpenFile", {1, "/dev/full", MODE_WRITE}), 0);
    ASSERT_EQ(Do("SetIOMode", {1}), 0);  // unbuffered: each write reaches the device
    EXPECT_EQ(Do("WriteInt", {1, 7}), ERR_WRITE);
    EXPECT_EQ(Do("WriteLine", {1, "x"}), ERR_WRITE);
    EXPECT_EQ(Do("WriteBytes", {1, "xyz"}), ERR_WRITE);
    ASSERT_EQ(Do("SetIOMode", {0}), 0);
    ASSERT_EQ(Do("WriteLine", {1, "buffered"}), 0);  // waits in the buffer
    EXPECT_EQ(Do("CloseFile", {1}), ERR_WRITE);       // and is not lost silently
    EXPECT_EQ(Do("StringToFile", {"data", "/dev/full"}), ERR_WRITE);
}

// A length far beyond the end of the data costs no more memory than the
// data: ReadBytes(1, 2e9) of a 10-byte file reads its 10 bytes and says
// 1009, without taking 2 GB first.
TEST_F(Files, HugeReadLengthsTakeOnlyTheMemoryTheDataNeeds) {
    Put("ten", "0123456789");
    ASSERT_EQ(Open(1, "ten", MODE_READ), 0);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(Do("ReadBytes", {1, 2e9}), ERR_READ);
    EXPECT_EQ(Do("ReadString", {1, 1.5e9, 0}), ERR_READ);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);  // KB
    ASSERT_EQ(Do("FilePos", {1}), 0);
    EXPECT_EQ(Num(1), 10);  // the read went as far as the data
    ASSERT_EQ(Do("Seek", {1, 2}), 0);
    ASSERT_EQ(Do("ReadBytes", {1, 8}), 0);
    EXPECT_EQ(Str(1), "23456789");
}

// A flush that fails, whichever command makes it, is reported there, and
// the close of a file that lost data says so too.
TEST_F(Files, FailedFlushesAreReportedWhereTheyHappen) {
    SmallDisk disk(8192);
    ASSERT_TRUE(disk.usable());
    const std::string data(10000, 'd');
    for (const char *trigger : {"FileLength", "FilePos", "Eof", "Seek", "ReadByte", "FlushFile"}) {
        const std::string name = disk.Path(std::string("flush-") + trigger);
        ASSERT_EQ(Do("OpenFile", {1, name, MODE_READWRITE}), 0) << trigger;
        ASSERT_EQ(Do("WriteBytes", {1, data}), 0) << trigger;  // waits in the 16 KB buffer
        const int err = std::string(trigger) == "Seek" ? Do(trigger, {1, 0}) : Do(trigger, {1});
        EXPECT_EQ(err, ERR_WRITE) << trigger;
        // Later commands that succeed do not make the loss go away.
        EXPECT_EQ(Do("CloseFile", {1}), ERR_WRITE) << trigger;
        Shell("rm -f '" + name + "'");
    }
}

TEST_F(Files, BufferedAndUnbufferedWriteTheSameBytes) {
    for (int mode : {0, 1}) {
        ASSERT_EQ(Do("SetIOMode", {mode}), 0);
        std::string name = "io" + std::to_string(mode);
        ASSERT_EQ(Open(1, name, MODE_READWRITE), 0);
        for (int i = 0; i < 3000; i++) {
            ASSERT_EQ(Do("WriteInt", {1, i * 7919}), 0);
            ASSERT_EQ(Do("WriteLine", {1, "line " + std::to_string(i)}), 0);
            if (i % 500 == 0) {  // reads between writes keep one position
                ASSERT_EQ(Do("Seek", {1, 0}), 0);
                ASSERT_EQ(Do("ReadInt", {1}), 0);
                ASSERT_EQ(Do("Seek", {1, 0, 2}), 0);
            }
        }
        ASSERT_EQ(Do("CloseFile", {1}), 0);
    }
    EXPECT_EQ(Get("io0").size(), Get("io1").size());
    EXPECT_TRUE(Get("io0") == Get("io1"));
    ASSERT_EQ(Do("SetIOMode", {1}), 0);
    ASSERT_EQ(Open(1, "io1", MODE_READ), 0);
    ASSERT_EQ(Do("ReadInt", {1}), 0);
    ASSERT_EQ(Do("ReadLine", {1}), 0);
    EXPECT_EQ(Str(1), "line 0");
    ASSERT_EQ(Do("ReadInt", {1}), 0);
    EXPECT_EQ(Num(1), 7919);
}

TEST_F(Files, WholeFiles) {
    std::string data(40000, '\0');
    for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<char>(i * 31);
    ASSERT_EQ(Do("StringToFile", {data, Path("whole.bin")}), 0);
    EXPECT_EQ(Get("whole.bin"), data);
    ASSERT_EQ(Do("FileToString", {Path("whole.bin")}), 0);
    EXPECT_EQ(Str(1), data);
    EXPECT_EQ(Num(2), 40000);
    ASSERT_EQ(Do("StringToFile", {"", Path("empty")}), 0);
    EXPECT_EQ(Get("empty"), "");
    EXPECT_EQ(Do("FileToString", {Path("missing")}), ERR_READFILE);
    EXPECT_EQ(Do("StringToFile", {"x", Path("no/dir/x")}), ERR_WRITEFILE);
    EXPECT_EQ(Detail(), Path("no/dir/x"));
}

// StringToFile writes beside the old file and replaces it only when all of
// the new data is on the disk; a full disk keeps the old file as it was.
TEST_F(Files, StringToFileReplacesTheOldFileOnlyWhenComplete) {
    SmallDisk disk(8192);
    ASSERT_TRUE(disk.usable());
    const std::string target = disk.Path("keep.txt");
    std::ofstream(target) << "the old contents";
    chmod(target.c_str(), 0640);
    EXPECT_EQ(Do("StringToFile", {std::string(20000, 'n'), target}), ERR_WRITE);
    EXPECT_EQ(Shell("cat '" + target + "'"), "the old contents");
    EXPECT_EQ(Shell("ls -A '" + disk.dir() + "'"), "keep.txt");  // nothing left beside it
    ASSERT_EQ(Do("StringToFile", {"new", target}), 0);
    EXPECT_EQ(Shell("cat '" + target + "'"), "new");
    EXPECT_EQ(Shell("stat -c %a '" + target + "'"), "640");  // its permissions stay
    // Through a link, the file it leads to is written, as before.
    ASSERT_EQ(symlink(target.c_str(), disk.Path("link").c_str()), 0);
    ASSERT_EQ(Do("StringToFile", {"via link", disk.Path("link")}), 0);
    EXPECT_EQ(Shell("cat '" + target + "'"), "via link");
    EXPECT_EQ(Shell("stat -c %F '" + disk.Path("link") + "'"), "symbolic link");
    EXPECT_EQ(Do("StringToFile", {"x", disk.dir()}), ERR_WRITEFILE);  // a folder
}

// for line in FileLines(path) do n = n + 1; t[n] = line end
const char *kLinesLoop = R"(
        NEWTABLE 0 0 0
        LOADK 1 #0
        GETGLOBAL 2 "filelines"
        GETGLOBAL 3 "path"
        CALL 2 2 2
        JMP check
body:   ADD 1 1 #1
        SETTABLE 0 1 4
        GETGLOBAL 5 "stopat"
        EQ 0 1 5
        JMP check
        JMP done
check:  TFORLOOP 2 1
        JMP body
done:   RETURN 0 2
)";

TEST_F(Files, FileLinesInPiecesAndClosedByTheCollector) {
    Put("big.txt", std::string(3000, 'y') + "\r\n\nlast");
    const int before = OsCountOpenDescriptors();
    SetGlobal("path", Path("big.txt"));
    SetGlobal("stopat", -1);
    ASSERT_EQ(RunAsm(kLinesLoop), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TTABLE);
    const std::string want[] = {std::string(1024, 'y'), std::string(1024, 'y'), std::string(952, 'y'), "", "last"};
    for (int i = 0; i < 5; i++) {
        lua_rawgeti(L, 1, i + 1);
        EXPECT_EQ(Str(-1), want[i]) << i;
        lua_pop(L, 1);
    }
    lua_rawgeti(L, 1, 6);
    EXPECT_TRUE(lua_isnil(L, -1));
    EXPECT_EQ(OsCountOpenDescriptors(), before);  // closed at the end

    // A loop left early leaves the file to the collector.
    SetGlobal("stopat", 1);
    ASSERT_EQ(RunAsm(kLinesLoop), 0);
    EXPECT_EQ(OsCountOpenDescriptors(), before + 1);
    lua_settop(L, 0);
    FullCollect();
    EXPECT_EQ(OsCountOpenDescriptors(), before);
    EXPECT_EQ(Do("FileLines", {Path("missing")}), ERR_READFILE);
}

TEST_F(Files, ApplyPatchXorsThenInverts) {
    Put("src", std::string("\x01\x02\x03\x04", 4));
    Put("patch", std::string("\xFF\x0F", 2));
    ASSERT_EQ(Open(1, "src", MODE_READ), 0);
    ASSERT_EQ(Open(2, "patch", MODE_READ), 0);
    ASSERT_EQ(Open(3, "out", MODE_WRITE), 0);
    ASSERT_EQ(Do("ApplyPatch", {1, 2, 3}), 0);
    ASSERT_EQ(Do("CloseFile", {3}), 0);
    EXPECT_EQ(Get("out"), std::string("\xFE\x0D\xFC\xFB", 4));
    EXPECT_EQ(Do("ApplyPatch", {1, 2, 2}), ERR_READONLY);
}

std::vector<int> g_progress;
int g_failAt = -1;
int RecordProgress(lua_State *L) {
    lua_pushstring(L, "progress");
    lua_gettable(L, 1);
    g_progress.push_back(static_cast<int>(lua_tonumber(L, -1)));
    return g_progress.back() == g_failAt ? ERR_USERABORT : 0;
}

TEST_F(Files, ApplyPatchReportsProgressAndStopsOnACallbackError) {
    Put("src", std::string(200, 'a'));
    Put("patch", "");
    ASSERT_EQ(Open(1, "src", MODE_READ), 0);
    ASSERT_EQ(Open(2, "patch", MODE_READ), 0);
    ASSERT_EQ(Open(3, "out", MODE_WRITE), 0);
    g_progress.clear();
    g_failAt = -1;
    auto args = [&] {
        for (int i = 1; i <= 3; i++) lua_pushnumber(L, i);
        lua_pushcfunction(L, RecordProgress);
    };
    ASSERT_EQ(Call("ApplyPatch", args), 0);
    ASSERT_EQ(g_progress.size(), 100u);  // 200 bytes: a new whole percent every second byte
    EXPECT_EQ(g_progress.front(), 1);
    EXPECT_EQ(g_progress.back(), 100);
    ASSERT_EQ(Do("CloseFile", {3}), 0);
    EXPECT_EQ(Get("out"), std::string(200, static_cast<char>(~'a')));

    ASSERT_EQ(Do("Seek", {1, 0}), 0);
    ASSERT_EQ(Open(3, "out2", MODE_WRITE), 0);
    g_progress.clear();
    g_failAt = 10;
    EXPECT_EQ(Call("ApplyPatch", args), ERR_USERABORT);
    EXPECT_EQ(g_progress.back(), 10);
}

TEST_F(Files, FailuresLeakNoDescriptors) {
    Put("bad.cxpk", "CXPK\0\0\0\0garbage");
    Put("a.txt", "a");
    const int before = OsCountOpenDescriptors();
    struct Case {
        const char *cmd;
        std::vector<std::string> args;
    } cases[] = {
        {"FileToString", {Path("missing")}},
        {"StringToFile", {"x", Path("no/dir/x")}},
        {"FileLines", {Path("missing")}},
        {"MD5", {Path("missing")}},
        {"CRC32", {dir}},
        {"CompressFile", {Path("a.txt"), Path("no/dir/x")}},
        {"CompressFile", {Path("missing"), Path("x")}},
        {"DecompressFile", {Path("bad.cxpk"), Path("out")}},
        {"DecompressFile", {Path("a.txt"), Path("out")}},
        {"OpenDirectory", {"1", Path("a.txt")}},
        {"DirectoryItems", {Path("missing")}},
        {"GetFileAttributes", {Path("missing")}},
        {"ReadDirectory", {Path("a.txt")}},
    };
    for (const Case &c : cases) {
        int r = Call(c.cmd, [&] {
            for (const std::string &a : c.args) lua_pushstring(L, a.c_str());
            if (std::string(c.cmd) == "ReadDirectory") {
                lua_newtable(L);
                lua_newtable(L);
            }
        });
        EXPECT_GE(r, 1000) << c.cmd;
        lua_settop(L, 0);
        FullCollect();
        EXPECT_EQ(OsCountOpenDescriptors(), before) << c.cmd;
    }
}

TEST_F(Files, CleanupClosesEverything) {
    Put("a", "a");
    const int before = OsCountOpenDescriptors();
    for (int i = 1; i <= 5; i++) ASSERT_EQ(Open(i, "a", MODE_READ), 0);
    EXPECT_EQ(OsCountOpenDescriptors(), before + 5);
    FreeDosObjects(L);
    EXPECT_EQ(OsCountOpenDescriptors(), before);
    EXPECT_EQ(Do("ReadByte", {1}), ERR_FINDFILE);
}

}  // namespace
}  // namespace cxtest

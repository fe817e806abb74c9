// The memblock library through its script commands.
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/engine/runtime/vm_fixture.h"

namespace {

class MemBlock : public cxtest::VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        ASSERT_EQ(OpenScriptLibraries(L), 0);
    }
    // AllocMem(id, size) with a number ID.
    int Alloc(int id, double size) {
        return Call("AllocMem", [&] {
            lua_pushnumber(L, id);
            lua_pushnumber(L, size);
        });
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
    cxMemBlock *Block(int id) {
        cxMemBlock *b = nullptr;
        FindMemBlock(cxObjectID{id, nullptr}, &b);
        return b;
    }
};

TEST_F(MemBlock, AutomaticIdsAreReturnedAndFreedOnce) {
    ASSERT_EQ(Call("AllocMem", [&] {
                  lua_pushnil(L);
                  lua_pushnumber(L, 16);
              }),
              0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    void *id = lua_touserdata(L, 1);
    EXPECT_EQ(Call("FreeMem", [&] { lua_pushlightuserdata(L, id); }), 0);
    EXPECT_EQ(Call("FreeMem", [&] { lua_pushlightuserdata(L, id); }), ERR_FINDARRAY);
    EXPECT_EQ(Cmd("FreeMem", {3}), ERR_FINDMEMBLK);
    char text[128];
    EXPECT_STREQ(GetErrorText(ERR_FINDMEMBLK, text, sizeof text), "Could not find memory block 3!");
}

TEST_F(MemBlock, AllocationRules) {
    EXPECT_EQ(Alloc(1, 0), ERR_MEM);
    EXPECT_EQ(Alloc(1, -4), ERR_MEM);
    EXPECT_EQ(Alloc(1, 8), 0);
    EXPECT_EQ(Cmd("Poke", {1, 0, 7, 7}), 0);
    EXPECT_EQ(Alloc(1, 4), 0); // the number frees the old block first
    ASSERT_NE(Block(1), nullptr);
    EXPECT_EQ(Block(1)->size, 4);
    int count = 0;
    for (cxObjectHeader *h = GetMemBlockList()->first; h; h = h->next) count++;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Cmd("AllocMem", {1}), ERR_MISSINGPARAMTR);
}

TEST_F(MemBlock, PokeAndPeekInEveryByteOrder) {
    ASSERT_EQ(Alloc(1, 16), 0);
    ASSERT_EQ(Cmd("Poke", {1, 0, 0x11223344}), 0);
    ASSERT_EQ(Cmd("Peek", {1, 0, 7}), 0);
    EXPECT_EQ(Num(1), 0x11);
    ASSERT_EQ(Cmd("Poke", {1, 0, 0x11223344, 1, 2}), 0);
    ASSERT_EQ(Cmd("Peek", {1, 0, 7}), 0);
    EXPECT_EQ(Num(1), 0x44);
    ASSERT_EQ(Cmd("Peek", {1, 0, 1, 2}), 0);
    EXPECT_EQ(Num(1), 0x11223344);
    ASSERT_EQ(Cmd("Poke", {1, 4, -2, 6}), 0); // low 16 bits
    ASSERT_EQ(Cmd("Peek", {1, 4, 6}), 0);
    EXPECT_EQ(Num(1), 0xFFFE); // read unsigned
    ASSERT_EQ(Cmd("Poke", {1, 0, -1, 1}), 0);
    ASSERT_EQ(Cmd("Peek", {1, 0, 1}), 0);
    EXPECT_EQ(Num(1), 4294967295.0);
    ASSERT_EQ(Cmd("Poke", {1, 8, 1.5, 12, 1}), 0);
    ASSERT_EQ(Cmd("Peek", {1, 8, 12, 1}), 0);
    EXPECT_EQ(Num(1), 1.5);
    ASSERT_EQ(Cmd("Poke", {1, 0, 0.25, 11, 2}), 0);
    ASSERT_EQ(Cmd("Peek", {1, 0, 11, 2}), 0);
    EXPECT_EQ(Num(1), 0.25);
    ASSERT_EQ(Cmd("Peek", {1, 3, 7}), 0);
    EXPECT_EQ(Num(1), 0x3E); // 0.25f is 0x3E800000, least significant byte first
    EXPECT_EQ(Cmd("Poke", {1, 0, 1, 2}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("Peek", {1, 0, 99}), ERR_WRONGUSAGE);
}

struct Bound {
    const char *cmd;
    std::initializer_list<double> args;
    int expected;
};

TEST_F(MemBlock, BoundsAreCheckedWithoutOverflow) {
    ASSERT_EQ(Alloc(1, 16), 0);
    ASSERT_EQ(Alloc(2, 16), 0);
    const double huge = 4294967292.0; // wraps to -4 in 32 bits
    const Bound cases[] = {
        {"Poke", {1, 12, 1}, 0},
        {"Poke", {1, 13, 1}, ERR_MEMRANGE},
        {"Poke", {1, -1, 1}, ERR_MEMRANGE},
        {"Poke", {1, huge, 1}, ERR_MEMRANGE},
        {"Poke", {1, 1e300, 1, 7}, ERR_MEMRANGE},
        {"Poke", {1, 15, 1, 7}, 0},
        {"Poke", {1, 14, 1, 6}, 0},
        {"Poke", {1, 15, 1, 6}, ERR_MEMRANGE},
        {"Poke", {1, 8, 1, 12}, 0},
        {"Poke", {1, 9, 1, 12}, ERR_MEMRANGE},
        {"Peek", {1, 13}, ERR_MEMRANGE},
        {"Peek", {1, huge}, ERR_MEMRANGE},
        {"FillMem", {1, 0, 16, 0}, 0},
        {"FillMem", {1, 0, 1, 16}, ERR_MEMRANGE},
        {"FillMem", {1, 0, huge, 8}, ERR_MEMRANGE},
        {"FillMem", {1, 0, 8, -8}, ERR_MEMRANGE},
        {"FillMem", {1, 0, 0, -8}, 0}, // count below 1 does nothing
        {"FillMem", {1, 0, 3, 0, 6}, ERR_WRONGUSAGE},
        {"FillMem", {1, 0, 4, 1, 6}, ERR_WRONGUSAGE},
        {"FillMem", {1, 0, 6, 0, 1}, ERR_WRONGUSAGE},
        {"FillMem", {1, 0, 4, 0, 3}, ERR_WRONGUSAGE},
        {"CopyMem", {1, 2, 16}, 0},
        {"CopyMem", {1, 2, 16, 1}, ERR_MEMRANGE},
        {"CopyMem", {1, 2, 8, 0, 9}, ERR_MEMRANGE},
        {"CopyMem", {1, 2, 8, huge}, ERR_MEMRANGE},
        {"CopyMem", {1, 2, 8, -1}, ERR_MEMRANGE},
        {"CopyMem", {1, 1, 8}, ERR_WRONGUSAGE},
        {"CopyMem", {1, 2, 0, -1}, 0},
        {"GetMemPointer", {1, 16}, ERR_WRONGUSAGE},
        {"GetMemPointer", {1, -1}, ERR_WRONGUSAGE},
        {"GetMemString", {1, 15, 2}, ERR_WRONGUSAGE},
        {"GetMemString", {1, 16}, ERR_WRONGUSAGE},
        {"GetMemString", {1, 8, huge}, ERR_WRONGUSAGE},
        {"DumpMem", {1, 8, 9}, ERR_MEMRANGE},
        {"DumpMem", {1, 0, -1}, ERR_WRONGUSAGE},
    };
    for (const Bound &c : cases) {
        testing::internal::CaptureStdout();
        int code = Cmd(c.cmd, c.args);
        testing::internal::GetCapturedStdout();
        std::string args;
        for (double a : c.args) args += std::to_string(a) + " ";
        EXPECT_EQ(code, c.expected) << c.cmd << " " << args;
    }
}

TEST_F(MemBlock, FillWritesMostSignificantByteFirst) {
    ASSERT_EQ(Alloc(1, 8), 0);
    ASSERT_EQ(Cmd("FillMem", {1, 0xAABBCCDD, 8, 0, 1}), 0);
    const unsigned char *d = Block(1)->data;
    EXPECT_EQ(d[0], 0xAA);
    EXPECT_EQ(d[3], 0xDD);
    EXPECT_EQ(d[7], 0xDD);
    ASSERT_EQ(Cmd("FillMem", {1, 0x1234, 4, 2, 6}), 0);
    EXPECT_EQ(d[2], 0x12);
    EXPECT_EQ(d[3], 0x34);
    EXPECT_EQ(d[5], 0x34);
    ASSERT_EQ(Cmd("FillMem", {1, 0x1FF, 1, 7}), 0);
    EXPECT_EQ(d[7], 0xFF);
}

TEST_F(MemBlock, StringsGoInAndOut) {
    ASSERT_EQ(Alloc(1, 8), 0);
    auto pokeString = [&](double offset, const char *s) {
        return Call("Poke", [&] {
            lua_pushnumber(L, 1);
            lua_pushnumber(L, offset);
            lua_pushstring(L, s);
            lua_pushnumber(L, 3);
        });
    };
    EXPECT_EQ(pokeString(0, "abcdefg"), 0); // seven bytes and the NUL
    EXPECT_EQ(pokeString(0, "abcdefgh"), ERR_MEMRANGE);
    EXPECT_EQ(pokeString(1, "abcdefg"), ERR_MEMRANGE);
    ASSERT_EQ(Cmd("Peek", {1, 2, 3}), 0);
    EXPECT_EQ(Str(1), "cdefg");
    ASSERT_EQ(Cmd("Peek", {1, 1, 3, 3}), 0);
    EXPECT_EQ(Str(1), "bcd");
    EXPECT_EQ(Cmd("Peek", {1, 6, 3, 3}), ERR_MEMRANGE);
    EXPECT_EQ(Cmd("Peek", {1, 0, 3, -1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("Peek", {1, 8, 3}), ERR_MEMRANGE);
    Block(1)->data[7] = 'z'; // no terminator: the read stops at the block's end
    ASSERT_EQ(Cmd("Peek", {1, 5, 3}), 0);
    EXPECT_EQ(Str(1), "fgz");
    ASSERT_EQ(Cmd("GetMemString", {1, 6}), 0);
    EXPECT_EQ(Str(1), "gz");
    ASSERT_EQ(Cmd("GetMemString", {1, 0, 3}), 0);
    EXPECT_EQ(Str(1), "abc");
}

TEST_F(MemBlock, DumpPrintsTheFixedLayout) {
    ASSERT_EQ(Alloc(1, 20), 0);
    for (int i = 0; i < 20; i++) Block(1)->data[i] = static_cast<unsigned char>(i == 1 ? 'A' : 0x30 + i);
    Block(1)->data[19] = 0x80;
    testing::internal::CaptureStdout();
    ASSERT_EQ(Cmd("DumpMem", {1}), 0);
    ASSERT_EQ(Cmd("DumpMem", {1, 3, 17}), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "00000000: 30 41 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f 0A23456789:;<=>?\n"
              "00000010: 40 41 42 80                                     @AB.\n"
              "00000011: 41 42 80                                        AB.\n");
}

TEST_F(MemBlock, TablesConvertBothWays) {
    ASSERT_EQ(Alloc(1, 10), 0);
    memset(Block(1)->data, 0xFF, 10);
    ASSERT_EQ(Call("MemToTable", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 1);
              }),
              0);
    int n = 0;
    for (;; n++) {
        lua_rawgeti(L, 1, n);
        bool end = lua_isnil(L, -1);
        if (!end) {
            EXPECT_EQ(Num(-1), 4294967295.0);
        }
        lua_pop(L, 1);
        if (end) break;
    }
    EXPECT_EQ(n, 2);
    ASSERT_EQ(Call("MemToTable", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 6);
                  lua_newtable(L);
                  SetTableNumber(L, "items", 3);
                  SetTableNumber(L, "offset", 4);
                  SetTableNumber(L, "signed", 1);
              }),
              0);
    lua_rawgeti(L, 1, 2);
    EXPECT_EQ(Num(-1), -1);
    EXPECT_EQ(Call("MemToTable", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 6);
                  lua_newtable(L);
                  SetTableNumber(L, "items", 4);
                  SetTableNumber(L, "offset", 4);
              }),
              ERR_MEMRANGE);
    EXPECT_EQ(Cmd("MemToTable", {1, 3}), ERR_WRONGUSAGE);

    auto toMem = [&](std::initializer_list<double> items, int type, int offset, int endianSwitch) {
        return Call("TableToMem", [&] {
            lua_newtable(L);
            int i = 0;
            for (double v : items) {
                lua_pushnumber(L, v);
                lua_rawseti(L, -2, i++);
            }
            lua_pushnumber(L, 1);
            lua_pushnumber(L, type);
            lua_newtable(L);
            SetTableNumber(L, "offset", offset);
            SetTableNumber(L, "endianswitch", endianSwitch);
        });
    };
    EXPECT_EQ(toMem({1, -2}, 6, 0, 1), 0); // the other byte order than the machine's
    ASSERT_EQ(Cmd("Peek", {1, 0, 6, 0}), 0);
    EXPECT_EQ(Num(1), std::endian::native == std::endian::little ? 1 : 256);
    EXPECT_EQ(toMem({1, 2, 3}, 1, 0, 0), ERR_MEMRANGE); // the third LONG does not fit
    ASSERT_EQ(Cmd("Peek", {1, 4, 1, 1}), 0);
    EXPECT_EQ(Num(1), 2); // items before the failure stay
    EXPECT_EQ(toMem({1}, 1, 11, 0), ERR_MEMRANGE);
    EXPECT_EQ(toMem({1}, 3, 0, 0), ERR_WRONGUSAGE);
}

TEST_F(MemBlock, UnsizedBlocksSkipSizeChecksButRefuseTableWrites) {
    unsigned char foreign[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(Call("AllocMemFromPointer", [&] {
                  lua_pushnumber(L, 5);
                  lua_pushlightuserdata(L, foreign);
                  lua_pushnumber(L, 0);
              }),
              0);
    ASSERT_EQ(Cmd("Peek", {5, 4, 7}), 0);
    EXPECT_EQ(Num(1), 5);
    EXPECT_EQ(Cmd("GetMemString", {5}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("DumpMem", {5}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("MemToTable", {5, 7}), ERR_WRONGUSAGE);
    EXPECT_EQ(Call("TableToMem", [&] {
                  lua_newtable(L);
                  lua_pushnumber(L, 9);
                  lua_rawseti(L, -2, 0);
                  lua_pushnumber(L, 5);
                  lua_pushnumber(L, 7);
              }),
              ERR_MEMRANGE);
    EXPECT_EQ(foreign[0], 1);
    EXPECT_EQ(Cmd("FreeMem", {5}), 0); // the bytes are not freed (ASan would tell)
    EXPECT_EQ(Call("AllocMemFromPointer", [&] {
                  lua_pushnumber(L, 5);
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 0);
              }),
              ERR_UDEXPECTED);
}

// A file table for ReadMem and WriteMem.
cxFileAccess g_file;
int FindTestFile(cxObjectID id, cxFileAccess *out) {
    if (id.pointer) return ERR_FINDARRAY;
    if (id.number != 1) return ERR_FINDFILE;
    *out = g_file;
    return 0;
}

TEST_F(MemBlock, BlocksMoveToAndFromFiles) {
    std::string path = testing::TempDir() + "memblock_io.bin";
    SetFileObjectFinder(FindTestFile);
    ASSERT_EQ(Alloc(1, 8), 0);
    memcpy(Block(1)->data, "ABCDEFGH", 8);
    g_file = {2, OpenFileStream(path.c_str(), CX_STREAM_WRITE, nullptr), 0};
    ASSERT_NE(g_file.stream, nullptr);
    EXPECT_EQ(Cmd("ReadMem", {1, 1, 4}), ERR_WRITEONLY);
    EXPECT_EQ(Cmd("WriteMem", {1, 1, 4, 2}), 0);
    EXPECT_EQ(Cmd("WriteMem", {1, 1, 4, 5}), ERR_MEMRANGE);
    EXPECT_EQ(Cmd("WriteMem", {1, 1, 4, -1}), ERR_WRONGUSAGE);
    EXPECT_EQ(Cmd("WriteMem", {2, 1, 4}), ERR_FINDFILE);
    EXPECT_EQ(GetErrorNumber(), 2);
    CloseFileStream(g_file.stream);

    g_file = {1, OpenFileStream(path.c_str(), CX_STREAM_READ, nullptr), 1};
    ASSERT_NE(g_file.stream, nullptr);
    EXPECT_EQ(Cmd("WriteMem", {1, 1, 4}), ERR_READONLY);
    EXPECT_EQ(Cmd("ReadMem", {1, 1, 3, 0}), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(Block(1)->data), 8), "CDEDEFGH");
    EXPECT_EQ(Cmd("ReadMem", {1, 1, 2, 0}), ERR_READ); // one byte is left
    CloseFileStream(g_file.stream);
    SetFileObjectFinder(nullptr);
    remove(path.c_str());
    EXPECT_EQ(Cmd("ReadMem", {1, 1, 2, 0}), ERR_FINDFILE);
}

} // namespace

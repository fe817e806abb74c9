// Table and function files: byte layouts, round trips in both forms, the
// C interface used by the preferences file, and hostile input.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/runtime/base64.h"
#include "tests/io/dos/dos_fixture.h"

namespace cxtest {
namespace {

class Tables : public DosTest {
protected:
    // A script function returning 42.
    void PushScriptFunction() {
        std::vector<uint8_t> bytes = cxasm::assembleText("LOADK 0 #42\nRETURN 0 2\n");
        std::string chunk(bytes.begin(), bytes.end());
        struct Once {
            std::string *c;
            bool given;
        } once{&chunk, false};
        auto reader = [](lua_State *, void *ud, size_t *size) -> const char * {
            auto *o = static_cast<Once *>(ud);
            *size = o->given ? 0 : o->c->size();
            o->given = true;
            return *size ? o->c->data() : nullptr;
        };
        ASSERT_EQ(lua_load(L, reader, &once, "=fn"), 0);
    }
    static void SetNum(lua_State *L, double key, double value) {
        lua_pushnumber(L, key);
        lua_pushnumber(L, value);
        lua_settable(L, -3);
    }
    int WriteTableWith(int id, const std::function<void()> &pushTable, int text = 0, int noBreaks = 0) {
        return Call("WriteTable", [&] {
            lua_pushnumber(L, id);
            pushTable();
            lua_pushnumber(L, text);
            lua_pushnumber(L, noBreaks);
        });
    }
    int ReadTableFrom(int id) { return Do("ReadTable", {id}); }
    // Writes bytes to a file and reads one table from it.
    int ReadBytesAsTable(const std::string &bytes) {
        Put("in.bin", bytes);
        if (int err = Open(9, "in.bin", MODE_READ)) return err;
        const int err = ReadTableFrom(9);
        Do("CloseFile", {9});
        return err;
    }
    std::string Dump(int index) {
        std::string chunk;
        auto writer = [](lua_State *, const void *p, size_t n, void *ud) -> int {
            static_cast<std::string *>(ud)->append(static_cast<const char *>(p), n);
            return 0;
        };
        EXPECT_EQ(lua_dump(L, index, writer, &chunk), 0);
        return chunk;
    }
};

std::string NumItem(double v) {
    std::string s(1, '\x02');
    uint64_t bits;
    memcpy(&bits, &v, 8);
    for (int shift = 56; shift >= 0; shift -= 8) s += static_cast<char>((bits >> shift) & 0xFF);
    return s;
}
std::string StrItem(const std::string &v) {
    std::string s(1, '\x03');
    const uint32_t n = static_cast<uint32_t>(v.size());
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((n >> shift) & 0xFF);
    return s + v;
}
const std::string kEnd(1, '\0');

TEST_F(Tables, BinaryLayoutsAreByteExact) {
    ASSERT_EQ(Open(1, "t.bin", MODE_WRITE), 0);
    ASSERT_EQ(WriteTableWith(1, [&] { lua_newtable(L); }), 0);
    // A list of a number, a string and an empty table; a boolean is dropped
    // with its key, a userdata becomes the number 0.
    ASSERT_EQ(WriteTableWith(1, [&] {
                  lua_newtable(L);
                  SetNum(L, 1, 7.5);
                  lua_pushnumber(L, 2);
                  lua_pushstring(L, "ab");
                  lua_settable(L, -3);
                  lua_pushnumber(L, 3);
                  lua_newtable(L);
                  lua_settable(L, -3);
                  lua_pushnumber(L, 4);
                  lua_pushboolean(L, 1);
                  lua_settable(L, -3);
                  lua_pushnumber(L, 5);
                  lua_pushlightuserdata(L, this);
                  lua_settable(L, -3);
              }),
              0);
    ASSERT_EQ(Do("CloseFile", {1}), 0);
    const std::string expected = std::string("CXT0") + kEnd + "CXT0" + NumItem(1) + NumItem(7.5) + NumItem(2) + StrItem("ab") + NumItem(3) +
                                 "\x04" + kEnd + NumItem(5) + NumItem(0) + kEnd;
    EXPECT_EQ(Get("t.bin"), expected);
}

TEST_F(Tables, FunctionFileLayoutsAndRoundTrip) {
    ASSERT_EQ(Open(1, "f.bin", MODE_WRITE), 0);
    for (int text : {0, 1}) {
        ASSERT_EQ(Call("WriteFunction", [&] {
                      lua_pushnumber(L, 1);
                      PushScriptFunction();
                      lua_pushnumber(L, text);
                      lua_pushnumber(L, 1);  // no line breaks
                  }),
                  0);
    }
    ASSERT_EQ(Do("CloseFile", {1}), 0);
    PushScriptFunction();
    const std::string chunk = Dump(-1);
    lua_settop(L, 0);
    std::string binary = "CXF0";
    for (int shift = 24; shift >= 0; shift -= 8) binary += static_cast<char>((chunk.size() >> shift) & 0xFF);
    binary += chunk;
    const std::string b64 = EncodeBase64(chunk.data(), chunk.size());
    char hex[9];
    snprintf(hex, sizeof hex, "%.8x", static_cast<unsigned>(b64.size()));
    EXPECT_EQ(Get("f.bin"), binary + "CXF1" + hex + b64);

    ASSERT_EQ(Open(1, "f.bin", MODE_READ), 0);
    for (int i = 0; i < 2; i++) {
        ASSERT_EQ(Do("ReadFunction", {1}), 0) << i;
        ASSERT_EQ(lua_type(L, -1), LUA_TFUNCTION);
        ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
        EXPECT_EQ(lua_tonumber(L, -1), 42) << i;
    }
    EXPECT_EQ(Do("ReadFunction", {1}), ERR_READ);
}

TEST_F(Tables, RoundTripInEveryFormOneAfterAnother) {
    const std::string zeros("a\0b", 3);
    auto push = [&] {
        lua_newtable(L);
        lua_pushstring(L, "name");
        lua_pushlstring(L, zeros.data(), zeros.size());
        lua_settable(L, -3);
        SetNum(L, -1.25, 1e300);
        lua_pushstring(L, "inner");
        lua_newtable(L);
        lua_pushstring(L, "f");
        PushScriptFunction();
        lua_settable(L, -3);
        SetNum(L, 1, 2);
        lua_settable(L, -3);
        lua_pushstring(L, std::string(300, 'k').c_str());  // a key beyond 256 bytes
        lua_pushnumber(L, 3);
        lua_settable(L, -3);
    };
    ASSERT_EQ(Open(1, "r.bin", MODE_WRITE), 0);
    ASSERT_EQ(WriteTableWith(1, push, 0), 0);
    ASSERT_EQ(WriteTableWith(1, push, 1, 0), 0);
    ASSERT_EQ(WriteTableWith(1, push, 1, 1), 0);
    ASSERT_EQ(Do("CloseFile", {1}), 0);
    ASSERT_EQ(Open(1, "r.bin", MODE_READ), 0);
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(ReadTableFrom(1), 0) << i;
        lua_pushstring(L, "name");
        lua_gettable(L, 1);
        EXPECT_EQ(std::string(lua_tostring(L, -1), lua_strlen(L, -1)), zeros) << i;
        lua_pop(L, 1);
        lua_pushnumber(L, -1.25);
        lua_gettable(L, 1);
        EXPECT_EQ(lua_tonumber(L, -1), 1e300);
        lua_pop(L, 1);
        EXPECT_EQ(Field(1, std::string(300, 'k').c_str()), "3");
        lua_pushstring(L, "inner");
        lua_gettable(L, 1);
        ASSERT_EQ(lua_type(L, -1), LUA_TTABLE);
        lua_rawgeti(L, -1, 1);
        EXPECT_EQ(lua_tonumber(L, -1), 2);
        lua_pop(L, 1);
        lua_pushstring(L, "f");
        lua_gettable(L, -2);
        ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
        EXPECT_EQ(lua_tonumber(L, -1), 42);
    }
    EXPECT_EQ(Do("Eof", {1}), 0);
    EXPECT_EQ(Num(1), 1);
}

TEST_F(Tables, TextFormBreaksLinesAndCountsThem) {
    auto big = [&] {
        lua_newtable(L);
        for (int i = 1; i <= 20; i++) SetNum(L, i, i);
    };
    for (int cr : {0, 1}) {
        ASSERT_EQ(Do("UseCarriageReturn", {cr}), 0);
        ASSERT_EQ(Open(1, "x.txt", MODE_WRITE), 0);
        ASSERT_EQ(WriteTableWith(1, big, 1), 0);
        ASSERT_EQ(Do("CloseFile", {1}), 0);
        const std::string file = Get("x.txt");
        ASSERT_GT(file.size(), 12u);
        EXPECT_EQ(file.substr(0, 4), "CXT1");
        const std::string text = file.substr(12);
        EXPECT_EQ(std::stoul(file.substr(4, 8), nullptr, 16), text.size());
        const std::string br = cr ? "\r\n" : "\n";
        size_t at = 0, lines = 0;
        for (size_t next; (next = text.find(br, at)) != std::string::npos; at = next + br.size(), lines++) {
            EXPECT_EQ(next - at, 72u);
        }
        EXPECT_GT(lines, 2u);
        EXPECT_LE(text.size() - at, 72u);
        std::string decoded;
        ASSERT_EQ(DecodeBase64(text.data(), text.size(), decoded), 0);
        EXPECT_EQ(decoded.substr(0, 4), "CXT0");
    }
}

TEST_F(Tables, WriteErrorsLeaveTheFileUntouched) {
    ASSERT_EQ(Open(1, "e.bin", MODE_WRITE), 0);
    struct Case {
        const char *what;
        std::function<void()> push;
        int code;
    } cases[] = {
        {"table key", [&] {
             lua_newtable(L);
             SetNum(L, 1, 1);
             lua_newtable(L);
             lua_pushnumber(L, 1);
             lua_settable(L, -3);
         },
         ERR_WRONGUSAGE},
        {"table inside itself", [&] {
             lua_newtable(L);
             lua_pushstring(L, "me");
             lua_pushvalue(L, -2);
             lua_settable(L, -3);
         },
         ERR_WRONGUSAGE},
        {"built-in function", [&] {
             lua_newtable(L);
             lua_pushstring(L, "f");
             lua_pushcfunction(L, [](lua_State *) { return 0; });
             lua_settable(L, -3);
         },
         ERR_NOCXFUNC},
        {"nesting too deep", [&] {
             lua_newtable(L);
             for (int i = 0; i < 300; i++) {
                 lua_newtable(L);
                 lua_pushnumber(L, 1);
                 lua_pushvalue(L, -3);
                 lua_settable(L, -3);
                 lua_remove(L, -2);
             }
         },
         ERR_STACK},
        {"not a table", [&] { lua_pushnumber(L, 3); }, ERR_TABEXPECTED},
    };
    for (const Case &c : cases) {
        for (int text : {0, 1}) EXPECT_EQ(WriteTableWith(1, c.push, text), c.code) << c.what << " text " << text;
    }
    // A table that holds itself is named as what it is: a cycle.
    ASSERT_EQ(WriteTableWith(1, cases[1].push, 0), ERR_WRONGUSAGE);
    char text[1024];
    EXPECT_NE(std::string(GetErrorText(ERR_WRONGUSAGE, text, sizeof text)).find("cycle"), std::string::npos) << text;
    EXPECT_EQ(Call("WriteFunction", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushcfunction(L, [](lua_State *) { return 0; });
              }),
              ERR_NOCXFUNC);
    EXPECT_EQ(Do("WriteFunction", {1, 5}), ERR_FUNCEXPECTED);
    ASSERT_EQ(Do("CloseFile", {1}), 0);
    EXPECT_EQ(Get("e.bin"), "");

    Put("r.bin", std::string("CXT0") + kEnd);
    ASSERT_EQ(Open(2, "r.bin", MODE_READ), 0);
    EXPECT_EQ(WriteTableWith(2, [&] { lua_newtable(L); }), ERR_READONLY);
    ASSERT_EQ(Open(3, "w.bin", MODE_WRITE), 0);
    EXPECT_EQ(ReadTableFrom(3), ERR_WRITEONLY);
    EXPECT_EQ(Do("ReadFunction", {3}), ERR_WRITEONLY);
}

TEST_F(Tables, HostileTableFiles) {
    const std::string deep = std::string("CXT0") + [] {
        std::string s;
        for (int i = 0; i < 5000; i++) s += NumItem(1) + "\x04";
        return s;
    }();
    struct Case {
        const char *what;
        std::string bytes;
        int code;
    } cases[] = {
        {"empty", "", ERR_READ},
        {"short magic", "CXT", ERR_READ},
        {"wrong magic", "CXT2" + kEnd, ERR_READTABLE},
        {"function magic", "CXF0" + kEnd, ERR_READTABLE},
        {"bad key tag", "CXT0\x04" + kEnd, ERR_FILEFORMAT},
        {"bad value tag", "CXT0" + NumItem(1) + "\x07", ERR_FILEFORMAT},
        {"NaN key", "CXT0" + NumItem(std::nan("")) + NumItem(1) + kEnd, ERR_FILEFORMAT},
        {"huge string length", "CXT0" + NumItem(1) + "\x03\xFF\xFF\xFF\xF0xyz", ERR_READ},
        {"huge function length", "CXT0" + NumItem(1) + "\x05\x7F\xFF\xFF\xFF\x1B", ERR_READ},
        {"garbage chunk", "CXT0" + NumItem(1) + "\x05" + std::string("\0\0\0\x04junk", 8) + kEnd, -1},
        {"deep nesting", deep, ERR_STACK},
        {"huge text length", "CXT1ffffffffQ1hUMAA=", ERR_READ},
        {"length not hexadecimal", "CXT1 0000008Q1hUMAA=", ERR_READTABLE},
        {"bad base64", "CXT100000008Q1hU!AA=", ERR_BADBASE64},
        {"text ends inside a group", "CXT100000007Q1hUMAA", ERR_BADBASE64},
        {"text holds a short table", "CXT100000008Q1hUMA==", ERR_READ},  // "CXT0" and no end byte
    };
    for (const Case &c : cases) {
        const int code = ReadBytesAsTable(c.bytes);
        if (c.code < 0) EXPECT_GE(code, 1000) << c.what;
        else EXPECT_EQ(code, c.code) << c.what;
    }
    // A text payload may itself be a text-form table.
    const std::string inner = "CXT1" + std::string("00000008") + EncodeBase64("CXT0\0", 5);
    const std::string outer = EncodeBase64(inner.data(), inner.size());
    char hex[9];
    snprintf(hex, sizeof hex, "%.8x", static_cast<unsigned>(outer.size()));
    EXPECT_EQ(ReadBytesAsTable("CXT1" + std::string(hex) + outer), 0);
}

TEST_F(Tables, TruncatedAtEveryByte) {
    ASSERT_EQ(Open(1, "full.bin", MODE_WRITE), 0);
    for (int text : {0, 1}) {
        ASSERT_EQ(WriteTableWith(1, [&] {
                      lua_newtable(L);
                      lua_pushstring(L, "s");
                      lua_pushstring(L, "value");
                      lua_settable(L, -3);
                      lua_pushstring(L, "t");
                      lua_newtable(L);
                      lua_pushstring(L, "f");
                      PushScriptFunction();
                      lua_settable(L, -3);
                      lua_settable(L, -3);
                  }, text),
                  0);
        ASSERT_EQ(Do("CloseFile", {1}), 0);
        const std::string full = Get("full.bin");
        ASSERT_EQ(ReadBytesAsTable(full), 0);
        for (size_t n = 0; n < full.size(); n++) {
            const int code = ReadBytesAsTable(full.substr(0, n));
            // A text cut inside a Base64 group is bad Base64 only if the
            // length field was not what cut it short.
            EXPECT_TRUE(code == ERR_READ || code == ERR_BADBASE64) << "text " << text << " at " << n << ": " << code;
        }
        ASSERT_EQ(Open(1, "full.bin", MODE_WRITE), 0);
    }
}

TEST_F(Tables, HostileFunctionFiles) {
    struct Case {
        const char *what;
        std::string bytes;
        int code;
    } cases[] = {
        {"short magic", "CXF", ERR_READ},
        {"table magic", "CXT0" + kEnd, ERR_READFUNC},
        {"short length", std::string("CXF0\0\0", 6), ERR_READ},
        {"huge length", std::string("CXF0\xFF\xFF\xFF\xFF\x1B", 9), ERR_READ},
        {"bad text length", "CXF1zzzzzzzz", ERR_READFUNC},
        {"bad base64", "CXF100000004@@@@", ERR_BADBASE64},
        {"not a chunk", std::string("CXF0\0\0\0\x03" "abc", 11), -1},
    };
    for (const Case &c : cases) {
        Put("f.bin", c.bytes);
        ASSERT_EQ(Open(1, "f.bin", MODE_READ), 0);
        const int code = Do("ReadFunction", {1});
        if (c.code < 0) EXPECT_GE(code, 1000) << c.what;
        else EXPECT_EQ(code, c.code) << c.what;
        ASSERT_EQ(Do("CloseFile", {1}), 0);
    }
}

TEST_F(Tables, CInterfaceForThePreferencesFile) {
    lua_settop(L, 0);
    lua_newtable(L);
    lua_pushstring(L, "volume");
    lua_pushnumber(L, 48);
    lua_settable(L, -3);
    size_t size = 0;
    ASSERT_EQ(SerializeTable(L, 1, nullptr, nullptr, &size), 0);  // dry run
    EXPECT_EQ(size, 5u + 6u + 9u + 1u);
    std::vector<unsigned char> block(size);
    unsigned char *cursor = block.data();
    ASSERT_EQ(SerializeTable(L, 1, nullptr, &cursor, nullptr), 0);
    EXPECT_EQ(cursor, block.data() + size);
    EXPECT_EQ(std::string(block.begin(), block.end()), StrItem("volume") + NumItem(48) + kEnd);

    // Into a table the caller has pushed, then a truncated block.
    lua_settop(L, 0);
    lua_newtable(L);
    const unsigned char *at = block.data();
    ASSERT_EQ(DeserializeTable(L, nullptr, &at, block.data() + size, 1), 0);
    EXPECT_EQ(at, block.data() + size);
    EXPECT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(Field(1, "volume"), "48");
    at = block.data();
    EXPECT_EQ(DeserializeTable(L, nullptr, &at, block.data() + size - 1, 0), ERR_READ);
    EXPECT_EQ(lua_gettop(L), 1);
}

}  // namespace
}  // namespace cxtest

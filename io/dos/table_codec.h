// The value encoding of table and function files: table bodies, function
// records and the Base64 text form, over a stream or a block of memory.
#pragma once

#include <cstdint>
#include <string>

#include "engine/vm/lua.h"
#include "streams/stream.h"

namespace cxdos {

// Nesting deeper than this is refused both ways, so that what is written
// can always be read back and a hostile file cannot exhaust the stack.
constexpr int kMaxTableDepth = 200;

// Bytes taken from a file stream or from a bounded block of memory.
class ItemSource {
public:
    explicit ItemSource(cxStream *stream) : stream_(stream) {}
    ItemSource(const unsigned char *data, size_t length) : at_(data), end_(data + length) {}
    // All n bytes or false.
    bool Read(void *out, size_t n);
    // Appends n bytes to out; a length larger than the data grows the
    // buffer only as far as the data goes.
    bool ReadInto(std::string &out, size_t n);
    const unsigned char *Cursor() const { return at_; }

private:
    cxStream *stream_ = nullptr;
    const unsigned char *at_ = nullptr;
    const unsigned char *end_ = nullptr;
};

void AppendU32(std::string &out, uint32_t v);
// The precompiled chunk of the script function at index.
int DumpFunction(lua_State *L, int index, std::string &chunk);
// Loads a chunk and pushes its function; 0 or the loader's code.
int LoadFunction(lua_State *L, const std::string &chunk);
// Appends the body of the table at index (entries and the end byte).
int EncodeTableBody(lua_State *L, int index, std::string &out);
// Reads one body into a new table (or the one on top when pushed is set)
// and leaves it on the stack.
int DecodeTableBody(lua_State *L, ItemSource &src, bool pushed);
// Reads a binary function record (u32 length and chunk), function pushed.
int ReadBinaryFunctionRecord(lua_State *L, ItemSource &src);

// Base64 with a line break before a character whenever 72 have been
// written since the last one (CR LF when crlf is set).
std::string EncodeBase64Text(const std::string &data, bool lineBreaks, bool crlf);
// Eight lower-case hexadecimal characters; false for anything else.
bool ParseHexLength(const unsigned char text[8], uint32_t *out);

}  // namespace cxdos

// Builds applet files (docs/applet-format.md) for tests and tools: the
// header, the info block, tagged sections (optionally packed) and the end
// mark. Sections are written in the order they were added.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cxtools {

using Bytes = std::vector<unsigned char>;

// One named value of a declared object: kind 1 number, 2 string, 3 data.
struct TagValue {
    std::string key;
    int kind = 1;
    double number = 0;
    std::string text;
};

struct DeclaredItem {
    uint32_t type = 0;
    int32_t id = 0;
    std::string name;
    std::vector<TagValue> tags;
};

// The packed-data layout: magic, 4 zero bytes, one zlib stream.
Bytes PackCxpk(const char magic[4], const Bytes &data);

class AppletWriter {
public:
    // A packed applet ("CXZ") keeps its info block packed.
    void SetPacked(bool packed) { packed_ = packed; }
    // Info string 1..6 (slot 0..5), stored as it is.
    void SetInfo(int slot, const std::string &text);
    // Replaces the info block's opcodes (bytes 4 onwards) verbatim; the rest
    // of the 2,048 bytes stays zero.
    void SetRawInfo(const Bytes &opcodes);
    // Leaves out the end mark, for truncation tests.
    void SetEndMark(bool end) { end_ = end; }

    void AddVersion(int major, int minor);
    void AddIdentifier(const std::string &id);
    void AddItem(const DeclaredItem &item, bool pack = false);
    void AddFile(const std::string &name, const Bytes &data);
    void AddFont(const std::string &name, const Bytes &data);
    void AddLabel(const std::string &name, int32_t position);
    void AddInclude(const std::string &file, uint32_t firstLine, uint32_t lineCount, uint32_t ownFirstLine);
    void AddMainChunk(const Bytes &chunk, bool pack = false);
    // Any section: tag of 4 characters, payload as given.
    void AddSection(const std::string &tag, const Bytes &payload, bool pack = false);

    Bytes InfoBlock() const;
    Bytes Build() const;
    bool Write(const std::string &path) const;

private:
    struct Section {
        std::string tag;
        Bytes payload;
        bool pack;
    };
    bool packed_ = false;
    bool end_ = true;
    bool rawInfo_ = false;
    Bytes infoOps_;
    std::array<std::string, 6> info_;
    std::vector<Section> sections_;
};

}  // namespace cxtools

// cxapplet: writes an applet file whose main chunk is assembled from a
// cxasm source, with optional info strings, version, identifier, declared
// objects, linked files and fonts, labels and include runs.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/applet-writer/applet_writer.h"
#include "tools/cxasm/asm_text.h"

namespace {

const char kUsage[] =
    "usage: cxapplet SOURCE.cxs -o OUTPUT.cxa [options]\n"
    "  --packed                 packed applet (the info block is packed)\n"
    "  --pack-code              pack the main chunk's section\n"
    "  --big-endian             assemble a big-endian chunk\n"
    "  --info N=TEXT            info string N (1..6)\n"
    "  --version MAJOR.MINOR    the compiler version the applet claims\n"
    "  --identifier ID          the applet's identifier\n"
    "  --item KIND,ID[,NAME]    a declared object (kind 21: a display)\n"
    "  --tag KEY=VALUE          a tag of the last --item: a number when VALUE\n"
    "                           is one, else a string\n"
    "  --tag-string KEY=VALUE   a string tag, also for digits\n"
    "  --file NAME=PATH         link the file at PATH as NAME\n"
    "  --font NAME=PATH         link the font file at PATH as NAME\n"
    "  --label NAME=POSITION    a label of the script at an instruction index\n"
    "                           of the main chunk\n"
    "  --label NAME             the source's top-level label NAME\n"
    "  --include FILE,FIRST,COUNT,OWNFIRST\n"
    "                           lines FIRST.. of the source came from FILE\n";

[[noreturn]] void Fail(const std::string &message) {
    fprintf(stderr, "cxapplet: %s\n", message.c_str());
    exit(1);
}

[[noreturn]] void Usage(const std::string &message) {
    fprintf(stderr, "cxapplet: %s\n%s", message.c_str(), kUsage);
    exit(2);
}

bool ReadFile(const std::string &path, std::string *out) {
    // A folder opens as a stream on this system and then reads as empty.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::stringstream ss;
    ss << f.rdbuf();
    *out = ss.str();
    return static_cast<bool>(f) || f.eof();
}

// "KEY=VALUE" -> key, value; the value may be empty, the key may not.
void SplitPair(const std::string &arg, const char *option, std::string *key, std::string *value) {
    size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) Usage(std::string(option) + " expects NAME=VALUE, not \"" + arg + "\"");
    *key = arg.substr(0, eq);
    *value = arg.substr(eq + 1);
}

std::vector<std::string> SplitCommas(const std::string &text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

bool ParseNumber(const std::string &text, double *out) {
    if (text.empty()) return false;
    char *end = nullptr;
    *out = strtod(text.c_str(), &end);
    return end && *end == 0;
}

long ParseInteger(const std::string &text, const char *what) {
    char *end = nullptr;
    long v = strtol(text.c_str(), &end, 10);
    if (text.empty() || !end || *end) Usage(std::string(what) + ": \"" + text + "\" is not a whole number");
    return v;
}

cxtools::Bytes FileBytes(const std::string &path) {
    std::string data;
    if (!ReadFile(path, &data)) Fail("cannot read " + path);
    return cxtools::Bytes(data.begin(), data.end());
}

}  // namespace

int main(int argc, char **argv) {
    std::string source, output;
    cxasm::ChunkOptions chunkOptions;
    cxtools::AppletWriter writer;
    bool packCode = false;
    std::vector<cxtools::DeclaredItem> items;
    std::vector<std::string> sourceLabels; // --label NAME: found in the source

    auto next = [&](int &i) -> std::string {
        if (i + 1 >= argc) Usage(std::string(argv[i]) + " needs a value");
        return argv[++i];
    };
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        std::string key, value;
        if (arg == "-o") {
            output = next(i);
        } else if (arg == "--packed") {
            writer.SetPacked(true);
        } else if (arg == "--pack-code") {
            packCode = true;
        } else if (arg == "--big-endian") {
            chunkOptions.bigEndian = true;
        } else if (arg == "--info") {
            SplitPair(next(i), "--info", &key, &value);
            long slot = ParseInteger(key, "--info");
            if (slot < 1 || slot > 6) Usage("--info takes info strings 1 to 6");
            writer.SetInfo(static_cast<int>(slot - 1), value);
        } else if (arg == "--version") {
            std::string v = next(i);
            size_t dot = v.find('.');
            if (dot == std::string::npos) Usage("--version expects MAJOR.MINOR");
            writer.AddVersion(static_cast<int>(ParseInteger(v.substr(0, dot), "--version")),
                              static_cast<int>(ParseInteger(v.substr(dot + 1), "--version")));
        } else if (arg == "--identifier") {
            writer.AddIdentifier(next(i));
        } else if (arg == "--item") {
            std::vector<std::string> parts = SplitCommas(next(i));
            if (parts.size() < 2) Usage("--item expects KIND,ID[,NAME]");
            cxtools::DeclaredItem item;
            item.type = static_cast<uint32_t>(ParseInteger(parts[0], "--item kind"));
            item.id = static_cast<int32_t>(ParseInteger(parts[1], "--item id"));
            // A name may hold commas itself.
            for (size_t p = 2; p < parts.size(); p++) item.name += (p > 2 ? "," : "") + parts[p];
            items.push_back(item);
        } else if (arg == "--tag" || arg == "--tag-string") {
            if (items.empty()) Usage(arg + " must follow an --item");
            SplitPair(next(i), arg.c_str(), &key, &value);
            cxtools::TagValue tag;
            tag.key = key;
            if (arg == "--tag" && ParseNumber(value, &tag.number)) {
                tag.kind = 1;
            } else {
                tag.kind = 2;
                tag.text = value;
            }
            items.back().tags.push_back(tag);
        } else if (arg == "--file" || arg == "--font") {
            SplitPair(next(i), arg.c_str(), &key, &value);
            if (arg == "--file")
                writer.AddFile(key, FileBytes(value));
            else
                writer.AddFont(key, FileBytes(value));
        } else if (arg == "--label") {
            const std::string label = next(i);
            if (label.find('=') == std::string::npos) {
                if (label.empty()) Usage("--label needs a name");
                sourceLabels.push_back(label);
                continue;
            }
            SplitPair(label, "--label", &key, &value);
            writer.AddLabel(key, static_cast<int32_t>(ParseInteger(value, "--label")));
        } else if (arg == "--include") {
            std::vector<std::string> parts = SplitCommas(next(i));
            if (parts.size() != 4) Usage("--include expects FILE,FIRST,COUNT,OWNFIRST");
            writer.AddInclude(parts[0], static_cast<uint32_t>(ParseInteger(parts[1], "--include")),
                              static_cast<uint32_t>(ParseInteger(parts[2], "--include")),
                              static_cast<uint32_t>(ParseInteger(parts[3], "--include")));
        } else if (!arg.empty() && arg[0] == '-') {
            Usage("unknown option " + arg);
        } else if (source.empty()) {
            source = arg;
        } else {
            Usage("more than one source: " + arg);
        }
    }
    if (source.empty() || output.empty()) Usage("a source and -o OUTPUT are needed");

    std::string text;
    if (!ReadFile(source, &text)) Fail("cannot read " + source);
    std::vector<uint8_t> chunk;
    try {
        chunk = cxasm::assembleText(text, chunkOptions);
        if (!sourceLabels.empty()) {
            const std::map<std::string, int> positions = cxasm::mainLabels(text);
            for (const std::string &name : sourceLabels) {
                auto it = positions.find(name);
                if (it == positions.end()) Fail(source + ": no top-level label " + name);
                writer.AddLabel(name, it->second);
            }
        }
    } catch (const std::exception &e) {
        Fail(source + ": " + e.what());
    }
    // Declared objects come first, in the order given; the chunk last.
    for (const cxtools::DeclaredItem &item : items) writer.AddItem(item);
    writer.AddMainChunk(cxtools::Bytes(chunk.begin(), chunk.end()), packCode);
    if (!writer.Write(output)) Fail("cannot write " + output);
    return 0;
}

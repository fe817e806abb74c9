#include "tools/cxlink/cxlink.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "streams/cxpk/cxpk.h"
#include "streams/memory_name.h"
#include "shell/options.h"
#include "shell/plugins/plugin_package.h"

namespace cxtools {
namespace {

void PutBE16(LinkBytes &out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

void PutBE32(LinkBytes &out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void SetBE32(LinkBytes &out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) out[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

// One CXPK item of data, packed by the player's own packer.
bool Pack(const LinkBytes &data, LinkBytes &out, std::string &error) {
    char source[CX_MEMORY_NAME_MAX];
    static const unsigned char kEmpty = 0;
    const unsigned char *bytes = data.empty() ? &kEmpty : data.data();
    if (!MakeMemoryName(source, sizeof source, bytes, data.size())) {
        error = "cannot name the data";
        return false;
    }
    const char *tmp = getenv("TMPDIR");
    std::string target = std::string(tmp && *tmp ? tmp : "/tmp") + "/cxlink-XXXXXX";
    int fd = mkstemp(target.data());
    if (fd < 0) {
        ReleaseMemoryName(bytes, data.size());
        error = "cannot make a temporary file";
        return false;
    }
    close(fd);
    int err = PackCxpk(CX_PACKAGE_ENTRY_MAGIC, source, target.c_str(), nullptr, nullptr);
    ReleaseMemoryName(bytes, data.size());
    bool ok = err == 0 && ReadWholeFile(target, out);
    unlink(target.c_str());
    if (!ok) error = "packing failed (" + std::to_string(err) + ")";
    return ok;
}

}  // namespace

bool ReadWholeFile(const std::string &path, LinkBytes &out) {
    // A folder opens as a stream on this system and then fails to read.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return false;
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    // One read of the known size: players run to tens of megabytes.
    out.resize(static_cast<size_t>(size));
    f.read(reinterpret_cast<char *>(out.data()), static_cast<std::streamsize>(size));
    return static_cast<uintmax_t>(f.gcount()) == size;
}

bool BuildPluginPackage(const std::vector<PackageEntry> &entries, LinkBytes &out, std::string &error,
                        bool validate) {
    static const unsigned char kMagic[4] = {'C', 'X', 'P', '!'};
    static_assert(sizeof CX_PACKAGE_MAGIC == 5);
    out.assign(kMagic, kMagic + 4);
    PutBE32(out, CX_PACKAGE_VERSION);
    PutBE32(out, static_cast<uint32_t>(entries.size()));
    PutBE32(out, 0);  // the package's length, set at the end
    for (size_t i = 0; i < entries.size(); i++) {
        const PackageEntry &e = entries[i];
        if (validate && !IsValidPackageEntryName(e.name.c_str(), e.name.size())) {
            error = "not a plain \".cxp\" file name: " + e.name;
            return false;
        }
        // The player unpacks names without regard to case and refuses a
        // package that holds one twice.
        for (size_t j = 0; validate && j < i; j++) {
            if (strcasecmp(entries[j].name.c_str(), e.name.c_str()) == 0) {
                error = "plug-in given twice: " + entries[j].name + " and " + e.name;
                return false;
            }
        }
        if (e.name.size() > 0xFFFF || e.data.size() > CX_PACKAGE_ENTRY_MAX) {
            error = "entry too large: " + e.name;
            return false;
        }
        LinkBytes packed;
        if (!Pack(e.data, packed, error)) return false;
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), e.data.data(), static_cast<uInt>(e.data.size()));
        PutBE16(out, static_cast<uint32_t>(e.name.size()));
        out.insert(out.end(), e.name.begin(), e.name.end());
        PutBE32(out, static_cast<uint32_t>(e.data.size()));
        PutBE32(out, static_cast<uint32_t>(crc));
        PutBE32(out, static_cast<uint32_t>(packed.size()));
        out.insert(out.end(), packed.begin(), packed.end());
    }
    if (out.size() > 0xFFFFFFFFu) {
        error = "package too large";
        return false;
    }
    SetBE32(out, 12, static_cast<uint32_t>(out.size()));
    return true;
}

bool FindPlayerMarker(const LinkBytes &player, size_t &offsetField, std::string &error) {
    size_t found = 0;
    int count = 0;
    for (size_t from = 0; from < player.size();) {
        size_t at = 0;
        if (!FindAppendedMarker(player.data() + from, player.size() - from, &at)) break;
        at += from;
        if (DecodeAppendedMarker(player.data() + at + 32) != CX_APPENDED_NONE) {
            error = "the player already carries appended data";
            return false;
        }
        found = at + 32;
        count++;
        from = at + 1;
    }
    if (count != 1) {
        error = count == 0 ? "no appended-data marker in the player" : "more than one appended-data marker";
        return false;
    }
    offsetField = found;
    return true;
}

bool LinkImage(const LinkBytes &player, const LinkBytes &package, const LinkBytes &applet, LinkBytes &out,
               std::string &error) {
    size_t field = 0;
    if (!FindPlayerMarker(player, field, error)) return false;
    if (player.size() >= 0xFFFFFFFFu || player.size() == CX_APPENDED_NONE) {
        error = "player too large for the marker's 32-bit offset";
        return false;
    }
    if (applet.size() < 4 || applet[0] != 'C' || applet[1] != 'X' || (applet[2] != 'A' && applet[2] != 'Z') ||
        applet[3] != 0) {
        error = "not a Calyxtone applet";
        return false;
    }
    out = player;
    SetBE32(out, field, static_cast<uint32_t>(player.size()));
    out.insert(out.end(), package.begin(), package.end());
    out.insert(out.end(), applet.begin(), applet.end());
    return true;
}

bool LinkExecutable(const std::string &player, const std::string &applet, const std::vector<std::string> &plugins,
                    const std::string &output, std::string &error) {
    LinkBytes playerBytes, appletBytes;
    if (!ReadWholeFile(player, playerBytes)) {
        error = "cannot read " + player;
        return false;
    }
    if (!ReadWholeFile(applet, appletBytes)) {
        error = "cannot read " + applet;
        return false;
    }
    if (appletBytes.size() < 4 || appletBytes[0] != 'C' || appletBytes[1] != 'X' ||
        (appletBytes[2] != 'A' && appletBytes[2] != 'Z') || appletBytes[3] != 0) {
        error = applet + " is no applet";
        return false;
    }
    std::vector<PackageEntry> entries;
    for (const std::string &path : plugins) {
        PackageEntry e;
        size_t slash = path.rfind('/');
        e.name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (!ReadWholeFile(path, e.data)) {
            error = "cannot read " + path;
            return false;
        }
        entries.push_back(std::move(e));
    }
    LinkBytes package, image;
    if (!BuildPluginPackage(entries, package, error) || !LinkImage(playerBytes, package, appletBytes, image, error))
        return false;
    std::ofstream f(output, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(image.data()), static_cast<std::streamsize>(image.size()));
    f.close();
    if (!f || chmod(output.c_str(), 0755) != 0) {
        error = "cannot write " + output;
        return false;
    }
    return true;
}

}  // namespace cxtools

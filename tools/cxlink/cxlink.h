// Makes linked executables: the player binary, the plug-in package and the
// applet in one file (docs/plugin-package.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cxtools {

using LinkBytes = std::vector<unsigned char>;

struct PackageEntry {
    std::string name;  // the file name the player unpacks it as, "x.cxp"
    LinkBytes data;    // the plug-in as it is
};

// The package bytes: header, then each entry packed with CXPK. Entry names
// are checked by the player's rule unless validate is false (tests build
// hostile packages that way). false with a message on failure.
bool BuildPluginPackage(const std::vector<PackageEntry> &entries, LinkBytes &out, std::string &error,
                        bool validate = true);

// Finds the appended-data marker of a player image and checks that nothing
// is appended yet. true with the position of the marker's offset field.
bool FindPlayerMarker(const LinkBytes &player, size_t &offsetField, std::string &error);

// The linked image: the player with its marker patched to the player's
// size, then the package, then the applet.
bool LinkImage(const LinkBytes &player, const LinkBytes &package, const LinkBytes &applet, LinkBytes &out,
               std::string &error);

// Reads the files, links them and writes an executable output file.
bool LinkExecutable(const std::string &player, const std::string &applet, const std::vector<std::string> &plugins,
                    const std::string &output, std::string &error);

bool ReadWholeFile(const std::string &path, LinkBytes &out);

}  // namespace cxtools

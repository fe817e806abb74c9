// cxlink <player> <applet> <output> [plugin.cxp ...]
// Writes a linked executable: the player, the plug-ins and the applet.
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/cxlink/cxlink.h"

int main(int argc, char **argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s <player> <applet> <output> [plugin.cxp ...]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> plugins(argv + 4, argv + argc);
    std::string error;
    if (!cxtools::LinkExecutable(argv[1], argv[2], plugins, argv[3], error)) {
        fprintf(stderr, "cxlink: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

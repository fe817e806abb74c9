// Runs the real player binary for end-to-end tests: its arguments, its
// environment (with or without an X display), its output and exit status;
// and writes applets from cxasm sources.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/applet-writer/applet_writer.h"

namespace cxe2e {

// Where the build put the player (set by CMake).
const char *PlayerPath();

struct RunResult {
    int status = -1;     // exit status, or -1 when the player did not exit
    int signal = 0;      // the signal that ended it, if any
    bool timedOut = false;
    std::string out;     // standard output
    std::string err;     // standard error
};

struct RunOptions {
    std::string program;          // default: PlayerPath()
    bool withDisplay = false;     // keep DISPLAY; otherwise it is removed
    std::string workingDir;       // default: the test's own
    int timeoutSeconds = 60;
    // Called once while the player runs, when its standard output first
    // holds this text; may signal the process.
    std::string waitFor;
    std::function<void(pid_t)> onOutput;
};

RunResult RunPlayer(const std::vector<std::string> &args, const RunOptions &options = {});

// An applet whose main chunk is the assembled source; items are declared in
// order before the chunk.
cxtools::Bytes BuildApplet(const std::string &source, const std::vector<cxtools::DeclaredItem> &items = {});
void WriteApplet(const std::string &path, const std::string &source,
                 const std::vector<cxtools::DeclaredItem> &items = {});

// A cxasm fragment that shows the string in register reg on the console
// (as a memory dump, whose text column holds the string); uses registers
// reg + 1 .. reg + 6 and memory block 99.
std::string ShowString(int reg);

}  // namespace cxe2e

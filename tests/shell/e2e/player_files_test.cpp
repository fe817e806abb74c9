// The dos library through the real player: the files demo, and a failing
// file command reported with the file's name.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

namespace {

using cxe2e::RunPlayer;
using cxe2e::RunResult;

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Shell(const std::string &cmd) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[1024];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

TEST(PlayerFiles, TheDemoWritesListsReadsBackAndHashes) {
    cxtest::TempDir dir;
    const std::string applet = dir.Path("files.cxa");
    cxe2e::WriteApplet(applet, ReadAll(CX_FILES_DEMO));
    const std::string folder = dir.Path("demo");
    RunResult r = RunPlayer({applet, "-QUIET", "-dir", folder});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(ReadAll(folder + "/note.txt"), "Written by the files demo.\nRead back line by line.\n");
    for (const char *shown : {"note.txt", "note.cxpk", "Written by the f", "y line."})
        EXPECT_NE(r.out.find(shown), std::string::npos) << shown << "\n" << r.out;
    // The digest is shown across dump lines: compare its two halves.
    const std::string md5 = Shell("md5sum '" + folder + "/note.txt' | cut -d' ' -f1");
    ASSERT_EQ(md5.size(), 32u);
    EXPECT_NE(r.out.find(md5.substr(0, 11)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(md5.substr(11, 16)), std::string::npos) << r.out;
    // The packed copy unpacks with zlib alone.
    EXPECT_EQ(Shell("python3 -c \"import zlib,sys; print(zlib.decompress(open(sys.argv[1],'rb').read()[8:]).decode().split(chr(10))[1])\" '" +
                    folder + "/note.cxpk'"),
              "Read back line by line.");
}

TEST(PlayerFiles, AMissingFileIsNamedInTheReport) {
    cxtest::TempDir dir;
    const std::string missing = dir.Path("nothing-here.txt");
    const std::string applet = dir.Path("missing.cxa");
    cxe2e::WriteApplet(applet, R"(
.source "=missing.cxs"
.line 3
        GETGLOBAL 0 "filetostring"
        LOADK 1 ")" + missing + R"("
        CALL 0 2 1
        RETURN 0 1
)");
    RunResult r = RunPlayer({applet, "-QUIET"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE((r.out + r.err).find("Cannot read file nothing-here.txt !"), std::string::npos) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("missing.cxs:3"), std::string::npos) << r.out << r.err;
}

// Under a file-size limit a write that passes it fails like any other:
// the player is not ended by SIGXFSZ, reports 1005 and keeps the old file.
TEST(PlayerFiles, AFileSizeLimitGivesAWriteErrorNotASignal) {
    cxtest::TempDir dir;
    const std::string target = dir.Path("out.bin");
    cxtest::WriteText(target, "old");
    const std::string applet = dir.Path("big.cxa");
    cxe2e::WriteApplet(applet, R"(
.source "=big.cxs"
.line 4
        GETGLOBAL 0 "stringtofile"
        LOADK 1 ")" + std::string(20000, 'b') + R"("
        LOADK 2 ")" + target + R"("
        CALL 0 3 1
        RETURN 0 1
)");
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 8192;  // the player inherits it
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    RunResult r = RunPlayer({applet, "-QUIET"});
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("Could not write all characters to file!"), std::string::npos) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("big.cxs:4"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(ReadAll(target), "old");
}

}  // namespace

// The plug-in package of linked executables: made by tools/cxlink, read
// back by ExtractAppendedPlugins, hostile and damaged packages refused, and
// the temporary folder gone after every ending.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "shell/applet.h"
#include "shell/options.h"
#include "tests/shell/plugins/plugin_test_support.h"
#include "tools/applet-writer/applet_writer.h"
#include "tools/cxasm/asm_text.h"
#include "tools/cxlink/cxlink.h"

namespace {

namespace fs = std::filesystem;
using cxtest::CxpPath;
using cxtools::LinkBytes;
using cxtools::PackageEntry;

LinkBytes Bytes(const std::string &path) {
    LinkBytes b;
    EXPECT_TRUE(cxtools::ReadWholeFile(path, b)) << path;
    return b;
}

size_t EntryCount(const std::string &dir) {
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it) n++;
    return n;
}

LinkBytes SmallApplet(const std::string &info) {
    cxtools::AppletWriter w;
    w.SetInfo(0, info);
    cxtools::Bytes b = w.Build();
    return LinkBytes(b.begin(), b.end());
}

struct Package : ::testing::Test {
    cxtest::TempDir dir;
    std::string tempRoot = dir.Path("tmp");
    std::string program = dir.Path("program");
    void SetUp() override { fs::create_directory(tempRoot); }
    void TearDown() override { RemoveAppendedPlugins(); }

    // Writes a "program" of filler bytes with the package (and an applet)
    // behind it; answers the package's offset.
    uint64_t WriteProgram(const LinkBytes &package, const LinkBytes &applet = {}) {
        LinkBytes image(1000, 0x90);
        image.insert(image.end(), package.begin(), package.end());
        image.insert(image.end(), applet.begin(), applet.end());
        cxtest::WriteBytes(program, cxtest::Bytes(image.begin(), image.end()));
        return 1000;
    }

    // Extraction must fail with code and leave nothing behind.
    void ExpectRefused(const LinkBytes &package, int code, const char *detail = nullptr) {
        uint64_t offset = WriteProgram(package);
        EXPECT_EQ(ExtractAppendedPlugins(program.c_str(), offset, tempRoot.c_str(), nullptr), code);
        if (detail) {
            EXPECT_STREQ(GetErrorDetail(), detail);
        }
        EXPECT_EQ(GetPluginTempDir(), nullptr);
        EXPECT_EQ(EntryCount(tempRoot), 0u) << "the temporary folder is gone";
        EXPECT_EQ(EntryCount(dir.path()), 2u) << "nothing was written beside it";
    }
};

TEST_F(Package, RoundTripThroughCxlink) {
    std::vector<PackageEntry> entries = {{"libtest.cxp", Bytes(CxpPath("libtest", "libtest.cxp"))},
                                         {"_lazy.cxp", Bytes(CxpPath("lazy", "_lazy.cxp"))},
                                         {"empty.cxp", {}}};
    LinkBytes package, image;
    std::string error;
    ASSERT_TRUE(cxtools::BuildPluginPackage(entries, package, error)) << error;
    // The test program itself carries the appended-data marker.
    char self[4096];
    ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
    LinkBytes player = Bytes(self);
    const LinkBytes applet = SmallApplet("linked applet");
    ASSERT_TRUE(cxtools::LinkImage(player, package, applet, image, error)) << error;
    cxtest::WriteBytes(program, cxtest::Bytes(image.begin(), image.end()));

    size_t field = 0;
    std::string again;
    EXPECT_FALSE(cxtools::FindPlayerMarker(image, field, again)) << "a linked image is not linked twice";
    ASSERT_TRUE(FindAppendedMarker(image.data(), image.size(), &field));
    const uint32_t offset = DecodeAppendedMarker(image.data() + field + 32);
    EXPECT_EQ(offset, player.size());

    const std::string cwd = fs::current_path();
    uint64_t appletOffset = 0;
    ASSERT_EQ(ExtractAppendedPlugins(program.c_str(), offset, (tempRoot + "/").c_str(), &appletOffset), 0)
        << GetErrorDetail();
    EXPECT_EQ(appletOffset, player.size() + package.size());
    const std::string folder = GetPluginTempDir();
    EXPECT_EQ(fs::path(folder).parent_path(), fs::path(tempRoot));
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    for (const PackageEntry &e : entries) EXPECT_EQ(Bytes(folder + "/" + e.name), e.data) << e.name;
    EXPECT_EQ(EntryCount(folder), entries.size());

    // The applet behind the package is what the shell reads next.
    cxApplet *read = NewApplet();
    EXPECT_EQ(ReadAppletHeader(read, program.c_str(), appletOffset, 0), 0);
    EXPECT_STREQ(read->info[0], "linked applet");
    FreeApplet(read);

    EXPECT_EQ(RemoveAppendedPlugins(), 0);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(GetPluginTempDir(), nullptr);
    EXPECT_EQ(RemoveAppendedPlugins(), 0) << "a second clean-up does nothing";
    EXPECT_EQ(fs::current_path(), cwd) << "removal does not change the current folder";
}

TEST_F(Package, ExtractedPluginsAreScannedFirstAndAlone) {
    std::vector<PackageEntry> entries = {{"probe.cxp", Bytes(CxpPath("good", "probe.cxp"))}};
    LinkBytes package;
    std::string error;
    ASSERT_TRUE(cxtools::BuildPluginPackage(entries, package, error));
    uint64_t offset = WriteProgram(package);
    ASSERT_EQ(ExtractAppendedPlugins(program.c_str(), offset, tempRoot.c_str(), nullptr), 0);
    // A Plugins folder beside the program is not looked at in linked mode.
    fs::create_directory(dir.Path("Plugins"));
    fs::copy_file(CxpPath("libtest", "libtest.cxp"), dir.Path("Plugins/libtest.cxp"));
    SetPluginQuiet(1);
    ASSERT_EQ(ScanPlugins(program.c_str(), nullptr, nullptr), 0);
    ASSERT_NE(GetPluginList(), nullptr);
    EXPECT_STREQ(GetPluginList()->name, "probe.cxp");
    EXPECT_NE(GetPluginList()->handle, nullptr);
    EXPECT_EQ(GetPluginList()->next, nullptr);
    FreePlugins();
    fs::remove_all(dir.Path("Plugins"));
}

TEST_F(Package, HostileEntryNamesAreRefused) {
    const LinkBytes plugin = {1, 2, 3};
    for (const char *name : {"../evil.cxp", "a/b.cxp", "/tmp/abs.cxp", "..\\x.cxp", "x..cxp", "evil\\x.cxp",
                             "plain.so", ".cxp", "ctl\x01.cxp"}) {
        std::vector<PackageEntry> entries = {{"ok.cxp", plugin}, {name, plugin}};
        LinkBytes package;
        std::string error;
        EXPECT_FALSE(cxtools::BuildPluginPackage(entries, package, error)) << "cxlink refuses " << name;
        ASSERT_TRUE(cxtools::BuildPluginPackage(entries, package, error, false));
        std::string shown = name;
        for (char &c : shown) c = (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
        SCOPED_TRACE(name);
        ExpectRefused(package, ERR_LINKPLUGIN, shown.c_str());
    }
    EXPECT_FALSE(fs::exists(dir.Path("evil.cxp")));
}

TEST_F(Package, DamagedPackagesAreRefused) {
    const LinkBytes plugin = Bytes(CxpPath("good", "probe.cxp"));
    LinkBytes good;
    std::string error;
    ASSERT_TRUE(cxtools::BuildPluginPackage({{"probe.cxp", plugin}}, good, error));
    const size_t crcAt = 16 + 2 + 9 + 4;
    const size_t dataAt = crcAt + 8;

    struct Damage {
        const char *what;
        std::function<void(LinkBytes &)> apply;
        int code;
    } damages[] = {
        {"magic", [](LinkBytes &p) { p[3] = '?'; }, ERR_FILEFORMAT},
        {"version", [](LinkBytes &p) { p[7] = 2; }, ERR_FILEFORMAT},
        {"length past the file", [](LinkBytes &p) { p[12] = 0x7F; }, ERR_FILEFORMAT},
        {"length below the header", [](LinkBytes &p) { p[12] = p[13] = p[14] = 0; p[15] = 8; }, ERR_FILEFORMAT},
        {"more entries than bytes", [](LinkBytes &p) { p[11] = 2; }, ERR_FILEFORMAT},
        {"empty name", [](LinkBytes &p) { p[16] = p[17] = 0; }, ERR_FILEFORMAT},
        {"checksum", [&](LinkBytes &p) { p[crcAt] ^= 1; }, ERR_ZLIBDATA},
        {"packed data", [&](LinkBytes &p) { p[dataAt + 12] ^= 0xFF; p[dataAt + 13] ^= 0xFF; }, ERR_ZLIBDATA},
        {"packed magic", [&](LinkBytes &p) { p[dataAt] = 'X'; }, ERR_PAKFORMAT},
        {"unpacked size too large", [&](LinkBytes &p) { p[crcAt - 4] = 0x7F; }, ERR_FILEFORMAT},
        {"stored size past the package", [&](LinkBytes &p) { p[crcAt + 4] = 0x7F; }, ERR_FILEFORMAT},
        {"trailing bytes", [](LinkBytes &p) {
             p.push_back(0);
             uint32_t length = (uint32_t{p[12]} << 24 | uint32_t{p[13]} << 16 | uint32_t{p[14]} << 8 | p[15]) + 1;
             for (int i = 0; i < 4; i++) p[12 + i] = static_cast<unsigned char>(length >> (24 - 8 * i));
         }, ERR_FILEFORMAT},
        {"cut short", [](LinkBytes &p) { p.resize(p.size() / 2); }, ERR_FILEFORMAT},
    };
    for (const Damage &d : damages) {
        SCOPED_TRACE(d.what);
        LinkBytes p = good;
        d.apply(p);
        ExpectRefused(p, d.code);
    }

    LinkBytes twice;
    ASSERT_TRUE(cxtools::BuildPluginPackage({{"probe.cxp", plugin}, {"PROBE.cxp", plugin}, {"probe.cxp", plugin}},
                                            twice, error, false));  // cxlink itself refuses this
    ExpectRefused(twice, ERR_LINKPLUGIN, "PROBE.cxp");
}

TEST_F(Package, UnreadableProgramOrFolderFails) {
    EXPECT_EQ(ExtractAppendedPlugins(dir.Path("missing").c_str(), 0, tempRoot.c_str(), nullptr), ERR_READFILE);
    cxtest::WriteText(program, "short");
    EXPECT_EQ(ExtractAppendedPlugins(program.c_str(), 1000, tempRoot.c_str(), nullptr), ERR_READ);
    EXPECT_EQ(ExtractAppendedPlugins(program.c_str(), 0, dir.Path("no/such/root").c_str(), nullptr), ERR_CREATEDIR);
    EXPECT_EQ(GetPluginTempDir(), nullptr);
    EXPECT_EQ(EntryCount(tempRoot), 0u);
}

TEST_F(Package, CxlinkRefusesPlayersWithoutOneFreeMarker) {
    LinkBytes package, out;
    std::string error;
    ASSERT_TRUE(cxtools::BuildPluginPackage({}, package, error));
    const LinkBytes applet = SmallApplet("x");
    EXPECT_FALSE(cxtools::LinkImage(LinkBytes(100, 0), package, applet, out, error));
    EXPECT_NE(error.find("no appended-data marker"), std::string::npos) << error;
    char self[4096];
    ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
    EXPECT_FALSE(cxtools::LinkImage(Bytes(self), package, LinkBytes{'n', 'o', 'p', 'e'}, out, error));
    EXPECT_NE(error.find("applet"), std::string::npos) << error;
}

// The linked executable run as a program: the stand-in for the main
// sequence unpacks, initialises, calls a plug-in command, reads the applet,
// runs its assembled main chunk (which calls plug-in commands) and cleans up.
TEST_F(Package, LinkedExecutableRuns) {
    const std::string appletPath = dir.Path("hello.cxa");
    const std::vector<uint8_t> chunk = cxasm::assembleText(R"(
        .source "=linked"
                GETGLOBAL 0 "libtest"
                GETTABLE 0 0 "add"
                LOADK 1 #20
                LOADK 2 #22
                CALL 0 3 2
                SETGLOBAL 0 "sum"
                GETGLOBAL 0 "libtestglobal"
                CALL 0 1 2
                SETGLOBAL 0 "word"
                RETURN 0 1
    )");
    cxtools::AppletWriter writer;
    writer.SetInfo(0, "hello from the applet");
    writer.AddMainChunk(cxtools::Bytes(chunk.begin(), chunk.end()));
    const cxtools::Bytes built = writer.Build();
    const LinkBytes applet(built.begin(), built.end());
    cxtest::WriteBytes(appletPath, cxtest::Bytes(applet.begin(), applet.end()));
    const std::string linked = dir.Path("linked");
    // Programs of a cross build run under its emulator.
    const std::string emulator = std::string(CX_TEST_EMULATOR).empty() ? "" : CX_TEST_EMULATOR " ";
    const std::string command = emulator + CX_TEST_CXLINK + " " + CX_TEST_LINKED_PROBE + " " + appletPath + " " +
                                linked + " " + CxpPath("libtest", "libtest.cxp") + " " + CxpPath("good", "probe.cxp");
    ASSERT_EQ(system(command.c_str()), 0) << command;

    setenv("TMPDIR", tempRoot.c_str(), 1);
    const std::string run = emulator + linked + " -QUIET -TEMPDIR " + tempRoot;
    FILE *p = popen(run.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string output;
    char buf[256];
    while (fgets(buf, sizeof buf, p)) output += buf;
    EXPECT_EQ(pclose(p), 0) << output;
    unsetenv("TMPDIR");
    EXPECT_EQ(output,
              "extract 0\ninit 0\nadd 0 42\napplet 0 hello from the applet\nrun 0 sum 42 word global\n"
              "folder removed\n");
    EXPECT_EQ(EntryCount(tempRoot), 0u);

    // Not linked: the probe itself says so.
    FILE *q = popen((emulator + CX_TEST_LINKED_PROBE + " 2>&1").c_str(), "r");
    ASSERT_NE(q, nullptr);
    output.clear();
    while (fgets(buf, sizeof buf, q)) output += buf;
    pclose(q);
    EXPECT_EQ(output, "standalone\n");
}

}  // namespace

#include "shell/options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "tests/shell/test_files.h"

namespace {

using cxtest::TempDir;

class Options : public ::testing::Test {
protected:
    void SetUp() override { InitStartupOptions(&opts_); }
    void TearDown() override { FreeStartupOptions(&opts_); }

    int Parse(std::vector<std::string> args) {
        args.insert(args.begin(), "player");
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        return ParseArguments(&opts_, static_cast<int>(argv.size()), argv.data());
    }
    int ParseAll(std::vector<std::string> args, FILE *out) {
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        return ParseCommandLine(&opts_, static_cast<int>(argv.size()), argv.data(), out);
    }
    std::vector<std::pair<std::string, std::string>> Unknown() const {
        std::vector<std::pair<std::string, std::string>> v;
        for (const cxUnknownOption *u = opts_.unknown; u; u = u->next) v.emplace_back(u->name, u->value);
        return v;
    }

    cxStartupOptions opts_;
};

TEST(OptionTable, SixtyFiveOptionsInEightGroups) {
    size_t count = 0;
    const cxOptionDef *table = GetOptionTable(&count);
    ASSERT_EQ(count, 65u);
    std::set<int> ids;
    std::set<std::string> names;
    int group = 0;
    for (size_t i = 0; i < count; i++) {
        EXPECT_GT(table[i].id, 0);
        EXPECT_LT(table[i].id, CX_OPTION_SLOTS);
        ids.insert(table[i].id);
        names.insert(table[i].name);
        EXPECT_EQ(table[i].takesValue != 0, table[i].valueTemplate != nullptr) << table[i].name;
        EXPECT_GE(table[i].group, group) << table[i].name;  // groups never go back
        group = table[i].group;
    }
    EXPECT_EQ(ids.size(), 65u);
    EXPECT_EQ(names.size(), 65u);
    EXPECT_EQ(GetOptionGroupCount(), 8);
    EXPECT_EQ(FindOption("audiodevice")->id, 66);
    EXPECT_EQ(FindOption("SoftTimer")->id, 71);
    EXPECT_EQ(FindOption("FORCESOUND")->id, 111);
    EXPECT_EQ(FindOption("nosuchoption"), nullptr);
}

TEST_F(Options, DefaultsBeforeParsing) {
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_AUDIODEVICE), "default");
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_TEMPDIR), "/tmp");
    EXPECT_FALSE(IsOptionSet(&opts_, CX_OPT_AUDIODEVICE));
    EXPECT_STREQ(opts_.appletExtension, ".cxa");
    EXPECT_EQ(opts_.encoding, CX_ENCODING_UTF8);
    EXPECT_EQ(opts_.displayX, -100000);
    EXPECT_EQ(opts_.displayWidth, -1);
    EXPECT_EQ(opts_.displayScale, 1.0);
}

TEST_F(Options, NamesMatchWithoutCase) {
    ASSERT_EQ(Parse({"-quiet", "-NoSound", "-winwidth", "640", "demo.cxa", "-Audiodevice", "hw:1"}), 0);
    EXPECT_TRUE(IsOptionSet(&opts_, CX_OPT_QUIET));
    EXPECT_TRUE(IsOptionSet(&opts_, CX_OPT_NOSOUND));
    EXPECT_FALSE(IsOptionSet(&opts_, CX_OPT_WINDOW));
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_WINWIDTH), "640");
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_AUDIODEVICE), "hw:1");
    EXPECT_STREQ(opts_.appletPath, "demo.cxa");
}

TEST_F(Options, UnknownOptionsGoToTheScriptInOrder) {
    ASSERT_EQ(Parse({"demo.cxa", "-foo", "bar", "-level", "-3", "-WINDOW", "-last"}), 0);
    auto u = Unknown();
    ASSERT_EQ(u.size(), 3u);
    EXPECT_EQ(u[0], std::make_pair(std::string("foo"), std::string("bar")));
    EXPECT_EQ(u[1], std::make_pair(std::string("level"), std::string("-3")));
    EXPECT_EQ(u[2], std::make_pair(std::string("last"), std::string("")));
    EXPECT_TRUE(IsOptionSet(&opts_, CX_OPT_WINDOW));
}

TEST_F(Options, MalformedCommandLinesFailWithArgs) {
    const std::vector<std::vector<std::string>> bad = {
        {"-WINWIDTH"},                     // value option given last
        {"demo.cxa", "-scrdepth"},
        {"demo.cxa", "stray.cxa"},        // a second path
        {"-"},                            // a dash without a name
        {"-BACKFILL", "plaid"},
        {"-ENCODING", "latin9"},
    };
    for (const auto &args : bad) {
        FreeStartupOptions(&opts_);
        InitStartupOptions(&opts_);
        EXPECT_EQ(Parse(args), ERR_ARGS) << args[0];
    }
}

// A path longer than the applet path buffer says so, not "wrong arguments".
TEST_F(Options, OverlongAppletPathIsNamedTooLong) {
    EXPECT_EQ(Parse({std::string(CX_STARTUP_PATH_MAX + 1, 'a')}), ERR_NAMETOOLONG);
    FreeStartupOptions(&opts_);
    InitStartupOptions(&opts_);
    EXPECT_EQ(Parse({std::string(CX_STARTUP_PATH_MAX, 'a')}), 0);
}

TEST_F(Options, ArgumentsStayWholeTokens) {
    std::string path = "my dir/\"quoted\" applet.cxa";
    std::string longValue(10000, 'v');
    ASSERT_EQ(Parse({path, "-SETCONSTANTS", longValue, "-REQUIREPLUGINS", "a b \"c"}), 0);
    EXPECT_EQ(opts_.appletPath, path);
    EXPECT_EQ(GetOptionValue(&opts_, CX_OPT_SETCONSTANTS), longValue);
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_REQUIREPLUGINS), "a b \"c");
}

TEST_F(Options, KeywordValues) {
    ASSERT_EQ(Parse({"-BACKFILL", "gradient", "-ENCODING", "ISO8859_1", "-backfill", "Picture"}), 0);
    EXPECT_EQ(opts_.backfillMode, CX_BACKFILL_PICTURE);
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_BACKFILL), "Picture");
    EXPECT_EQ(opts_.encoding, CX_ENCODING_ISO8859_1);
}

TEST(ConfigPath, ExtensionIsReplaced) {
    const std::pair<const char *, const char *> cases[] = {
        {"/opt/cx/player", "/opt/cx/player.ini"},
        {"/opt/cx/player.bin", "/opt/cx/player.ini"},
        {"/opt/c.x/player", "/opt/c.x/player.ini"},
        {"/opt/cx/.player", "/opt/cx/.player.ini"},
        {"player.x.y", "player.x.ini"},
    };
    for (const auto &c : cases) {
        char out[256];
        ASSERT_TRUE(MakeConfigPath(c.first, out, sizeof out));
        EXPECT_STREQ(out, c.second);
    }
    char small[8];
    EXPECT_FALSE(MakeConfigPath("/opt/cx/player", small, sizeof small));
}

TEST_F(Options, ConfigTextSyntax) {
    const std::string good =
        "# comment\n"
        "[Section]\n"
        "\r\n"
        "  \t\n"
        "quiet = true\n"
        "NOSOUND=false\n"
        "WinWidth=800   \r\n"
        "AUDIODEVICE = \"plug:dmix # not a comment\"  \n"
        "UnknownName=whatever\n"
        "TEMPDIR=\n";
    ASSERT_EQ(ReadConfigText(&opts_, good.data(), good.size()), 0);
    EXPECT_TRUE(IsOptionSet(&opts_, CX_OPT_QUIET));
    EXPECT_FALSE(IsOptionSet(&opts_, CX_OPT_NOSOUND));
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_WINWIDTH), "800");
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_AUDIODEVICE), "plug:dmix # not a comment");
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_TEMPDIR), "");
    EXPECT_EQ(opts_.unknown, nullptr);

    const std::pair<std::string, int> bad[] = {
        {"QUIET\n", 1},
        {"# ok\nQUIET true\n", 2},
        {"1QUIET=true", 1},
        {"QU-IET=true", 1},
        {"=true", 1},
        {"AUDIODEVICE=\"open", 1},
        {"AUDIODEVICE=\"a\" b", 1},
        {std::string(64, 'A') + "=1", 1},
        {"ok=1\n\nBACKFILL=plaid\n", 3},
    };
    for (const auto &b : bad) {
        FreeStartupOptions(&opts_);
        InitStartupOptions(&opts_);
        EXPECT_EQ(ReadConfigText(&opts_, b.first.data(), b.first.size()), ERR_INISYNTAX) << b.first;
        EXPECT_EQ(GetErrorNumber(), b.second) << b.first;
    }
    FreeStartupOptions(&opts_);
    InitStartupOptions(&opts_);
    std::string longest = std::string(63, 'A') + "=1";
    EXPECT_EQ(ReadConfigText(&opts_, longest.data(), longest.size()), 0);
}

// The file beside a copy of a real executable, found from argv[0].
TEST_F(Options, ConfigFileBesideTheExecutable) {
    TempDir dir;
    std::string player = dir.Path("cxplayer.bin");
    // By its path: an emulator running the test does not let it read itself
    // through /proc/self/exe (it does tell the path).
    std::filesystem::copy_file(std::filesystem::read_symlink("/proc/self/exe"), player);
    cxtest::WriteText(dir.Path("cxplayer.ini"),
                      "[Calyxtone]\n# defaults for this machine\nQUIET=TRUE\nWINWIDTH=800\nTEMPDIR=\"/var/tmp\"\n");
    FILE *out = tmpfile();
    ASSERT_EQ(ParseAll({player, "demo.cxa", "-WINWIDTH", "1024"}, out), 0);
    EXPECT_EQ(opts_.programPath, std::filesystem::canonical(player).string());
    EXPECT_TRUE(IsOptionSet(&opts_, CX_OPT_QUIET));
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_WINWIDTH), "1024");  // the command line wins
    EXPECT_STREQ(GetOptionValue(&opts_, CX_OPT_TEMPDIR), "/var/tmp");
    EXPECT_EQ(ftell(out), 0);  // QUIET: no banner
    fclose(out);

    FreeStartupOptions(&opts_);
    InitStartupOptions(&opts_);
    cxtest::WriteText(dir.Path("cxplayer.ini"), "# fine\nQUIET=true\nWINDOW\n");
    ResetErrorPosition();
    EXPECT_EQ(ParseAll({player, "demo.cxa"}, nullptr), ERR_INISYNTAX);
    // The report names the file and the line.
    EXPECT_EQ(GetErrorPosition()->line, 3);
    EXPECT_EQ(std::string(GetErrorPosition()->source), std::filesystem::canonical(dir.Path("cxplayer.ini")).string());
    ResetErrorPosition();
}

// A configuration file that cannot be read is reported by name, never a
// crash; a missing one is no configuration.
TEST_F(Options, UnreadableConfigFileIsReportedByName) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path("player.ini"));
    SetErrorDetail("");
    EXPECT_EQ(ReadConfigFile(&opts_, dir.Path("player.ini").c_str()), ERR_READFILE);
    EXPECT_EQ(std::string(GetErrorDetail()), dir.Path("player.ini"));
    EXPECT_EQ(ReadConfigFile(&opts_, dir.Path("absent.ini").c_str()), 0);
    EXPECT_EQ(ReadConfigFile(&opts_, dir.Path("absent/below.ini").c_str()), 0);
}

std::string ReadAll(FILE *f) {
    std::string s;
    rewind(f);
    int c;
    while ((c = fgetc(f)) != EOF) s += static_cast<char>(c);
    return s;
}

TEST_F(Options, HelpListsTheGroupsInOrderAndEndsTheRun) {
    FILE *out = tmpfile();
    strcpy(opts_.programPath, "/nonexistent/player");
    EXPECT_EQ(ParseAll({"player", "-help"}, out), ERR_USERABORT);
    std::string text = ReadAll(out);
    fclose(out);
    size_t banner = text.find("CalyxtonePlayer 8.0 [Linux]");
    ASSERT_NE(banner, std::string::npos);
    const char *headings[] = {"Arguments controlling the window style:", "Arguments controlling full screen mode:",
                              "Arguments controlling backfill style:", "Arguments controlling the scaling engine:",
                              "Arguments controlling the audio driver:", "Arguments controlling plugins:",
                              "Arguments controlling debugger settings:", "Miscellaneous arguments:"};
    size_t last = banner;
    for (const char *h : headings) {
        size_t at = text.find(h);
        ASSERT_NE(at, std::string::npos) << h;
        EXPECT_GT(at, last) << h;
        last = at;
    }
    EXPECT_LT(text.find("-WINDOW "), text.find("-FULLSCREEN "));
    EXPECT_NE(text.find("-BACKFILL <mode>"), std::string::npos);
    EXPECT_NE(text.find("(color, gradient, texture, picture)"), std::string::npos);
    EXPECT_NE(text.find("-SOFTTIMER"), std::string::npos);
    EXPECT_GT(text.find("-SOFTTIMER"), text.find("Miscellaneous arguments:"));
}

TEST_F(Options, NotLinkedUnlessTheMarkerIsPatched) {
    EXPECT_EQ(GetAppendedDataOffset(), CX_APPENDED_NONE);
    strcpy(opts_.programPath, "/nonexistent/player");
    FILE *out = tmpfile();
    ASSERT_EQ(ParseAll({"player", "-quiet"}, out), 0);
    fclose(out);
    EXPECT_FALSE(opts_.linked);

    // The marker is in the executable exactly once, so the tool that appends
    // data can patch it.
    cxtest::Bytes image = cxtest::ReadBytes("/proc/self/exe");
    size_t at = 0;
    ASSERT_TRUE(FindAppendedMarker(image.data(), image.size(), &at));
    EXPECT_EQ(DecodeAppendedMarker(image.data() + at + 32), CX_APPENDED_NONE);
    size_t again = 0;
    EXPECT_FALSE(FindAppendedMarker(image.data() + at + 1, image.size() - at - 1, &again));
    const unsigned char patched[4] = {0x00, 0x12, 0x34, 0x56};
    EXPECT_EQ(DecodeAppendedMarker(patched), 0x123456u);
}

TEST_F(Options, CompilationIsRefused) {
    EXPECT_EQ(CheckCompileRequest(&opts_), 0);
    opts_.compile = 1;
    EXPECT_EQ(CheckCompileRequest(&opts_), ERR_PLAYERCOMP);
}

}  // namespace

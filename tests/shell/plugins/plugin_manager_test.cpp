// The manager with real plug-ins: scanning and skip lists, library
// registration and calls through the virtual machine, class tables, saver
// constants, requiring by version, the start-up stage driven by options,
// the choice of loaders and adapters, and the information dump.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shell/applet.h"
#include "shell/options.h"
#include "graphics/images/image_handle.h"
#include "shell/plugins/plugin_startup.h"
#include "tests/shell/plugins/plugin_test_support.h"

namespace {

using cxtest::CxpPath;
namespace fs = std::filesystem;

void CopyPlugin(const std::string &testCase, const std::string &file, const std::string &dir) {
    fs::copy_file(CxpPath(testCase, file), dir + "/" + file, fs::copy_options::overwrite_existing);
}

std::vector<std::string> EntryNames() {
    std::vector<std::string> names;
    for (cxPluginEntry *e = GetPluginList(); e; e = e->next) names.push_back(std::string(e->name) + (e->handle ? "+" : "-"));
    return names;
}

struct Manager : cxtest::PluginFixture {
    cxPluginEntry *Open(const std::string &testCase, const std::string &file) {
        cxPluginEntry *e = nullptr;
        EXPECT_EQ(FindOrOpenPlugin(CxpPath(testCase, file).c_str(), 0, &e), 0) << GetErrorDetail();
        return e;
    }
    // Calls table.name (or the global name) protected; returns the code.
    int Call(const char *table, const char *name, std::initializer_list<const char *> strings = {},
             std::initializer_list<double> numbers = {}, int results = 1) {
        PushCommand(table, name);
        for (const char *s : strings) lua_pushstring(L, s);
        for (double n : numbers) lua_pushnumber(L, n);
        return lua_pcall(L, static_cast<int>(strings.size() + numbers.size()), results, 0);
    }
};

TEST_F(Manager, ScanOpensPluginsListsUnderscoreFilesAndGoesOnAfterFailures) {
    cxtest::TempDir dir;
    CopyPlugin("good", "probe.cxp", dir.path());
    CopyPlugin("lazy", "_lazy.cxp", dir.path());
    CopyPlugin("mismatch", "foo.cxp", dir.path());
    mkdir(dir.Path("dir.cxp").c_str(), 0700);
    cxtest::WriteText(dir.Path(".cxp"), "");
    cxtest::WriteText(dir.Path("readme.txt"), "");

    int count = 0;
    ASSERT_EQ(ScanPluginDir(dir.path().c_str(), nullptr, &count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(GetPluginList(), nullptr) << "counting opens nothing";

    ASSERT_EQ(ScanPluginDir(dir.path().c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"lazy.cxp-", "probe.cxp+"}));
    EXPECT_EQ(log.Count("init:lazy"), 0);
    EXPECT_EQ(log.Count("init:bar"), 1) << "the mismatching plug-in was tried";

    // Scanning again adds nothing.
    ASSERT_EQ(ScanPluginDir(dir.path().c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"lazy.cxp-", "probe.cxp+"}));

    // Requiring the listed plug-in at version 0.0 opens it.
    EXPECT_EQ(LoadRequiredPlugin(L, "lazy", 0, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"lazy.cxp+", "probe.cxp+"}));
    EXPECT_EQ(log.Count("initlibrary:lazy"), 1) << "its library was registered";
}

TEST_F(Manager, SkipListsListWithoutOpening) {
    cxtest::TempDir dir;
    CopyPlugin("good", "probe.cxp", dir.path());
    CopyPlugin("libtest", "libtest.cxp", dir.path());
    CopyPlugin("mismatch", "foo.cxp", dir.path());

    const char everything[] = "*\0";
    ASSERT_EQ(ScanPluginDir(dir.path().c_str(), everything, nullptr), 0);
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"foo.cxp-", "libtest.cxp-", "probe.cxp-"}));
    EXPECT_TRUE(log.Lines().empty()) << "no plug-in was opened";
    FreePlugins();

    const char some[] = "PROBE\0libtest.cxp\0";
    ASSERT_EQ(ScanPluginDir(dir.path().c_str(), some, nullptr), 0);
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"libtest.cxp-", "probe.cxp-"}));
    EXPECT_EQ(log.Count("init:bar"), 1);
}

TEST_F(Manager, ScanPluginsUsesThePluginsFolderBesideTheProgram) {
    cxtest::TempDir dir;
    fs::create_directory(dir.Path("Plugins"));
    CopyPlugin("good", "probe.cxp", dir.Path("Plugins"));
    CopyPlugin("libtest", "libtest.cxp", dir.path());
    const std::string program = dir.Path("player");

    int count = 0;
    ASSERT_EQ(ScanPlugins(program.c_str(), nullptr, &count), 0);
    EXPECT_EQ(count, 1);
    SetPluginsBesideProgram(1);
    count = 0;
    ASSERT_EQ(ScanPlugins(program.c_str(), nullptr, &count), 0);
    SetPluginsBesideProgram(0);
    EXPECT_EQ(count, 1) << "only libtest.cxp lies beside the program";

    count = 0;
    EXPECT_EQ(ScanPlugins("player", nullptr, &count), 0) << "no folder part: nothing to scan";
    EXPECT_EQ(count, 0);
}

// A command table with a null function would crash when the command is
// called: the whole table is refused, naming the plug-in and the command.
TEST_F(Manager, ACommandWithoutAFunctionRefusesTheTable) {
    cxPluginEntry *e = Open("nullcmd", "libtest.cxp");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(RegisterPluginFormats(L, e), ERR_PLUGINSYMBOL);
    const std::string detail = GetErrorDetail();
    EXPECT_NE(detail.find("libtest"), std::string::npos) << detail;
    EXPECT_NE(detail.find("Broken"), std::string::npos) << detail;
    PushCommand(nullptr, "libtest");
    EXPECT_TRUE(lua_isnil(L, -1)) << "nothing of the table is registered";
    lua_pop(L, 1);
}

TEST_F(Manager, LibraryCommandsAndConstantsAreCalledThroughTheVM) {
    cxPluginEntry *e = Open("libtest", "libtest.cxp");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(RegisterPluginFormats(L, e), 0);
    EXPECT_EQ(log.Count("initlibrary:libtest"), 1);
    EXPECT_EQ(e->handle->plugin->initialised, 1u);

    ASSERT_EQ(Call("libtest", "add", {}, {2, 3}), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 5);
    ASSERT_EQ(Call("libtest", "join", {"ab", "c", "de"}), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "abcde");
    ASSERT_EQ(Call("libtest", "up"), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "up:libtest") << "the upvalue PushUpvalues pushed";
    ASSERT_EQ(Call("libtest", "crc", {"hello"}), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 0x3610a686) << "zlib through the API table";
    ASSERT_EQ(Call(nullptr, "libtestglobal"), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "global");
    lua_settop(L, 0);

    // Errors raised through the API unwind the plug-in's C frames.
    EXPECT_EQ(Call("libtest", "need", {"not a number"}), ERR_NUMEXPECTED);
    EXPECT_EQ(log.Count("need-returned:"), 0);
    EXPECT_EQ(Call("libtest", "raise", {}, {1494}), ERR_REQUIREPLUGIN);
    EXPECT_EQ(Call("libtest", "fail", {}, {1521}), ERR_PLUGINSYMBOL) << "a returned code raises too";
    EXPECT_EQ(lua_gettop(L), 0);

    double n = 0;
    std::string text;
    EXPECT_TRUE(Constant("libtest_answer", &n));
    EXPECT_EQ(n, 42);
    EXPECT_TRUE(Constant("libtest_name", nullptr, &text));
    EXPECT_EQ(text, "deep");
    EXPECT_TRUE(Constant("libtest_two", &n));
    EXPECT_EQ(n, 2);

    std::vector<std::string> libraries;
    for (const cxCommandLibrary *lib = GetCommandLibraries(); lib; lib = lib->next) libraries.push_back(lib->name);
    EXPECT_EQ(libraries, (std::vector<std::string>{"libtest", "plugin"}));

    // Registering again does nothing.
    ASSERT_EQ(RegisterPluginFormats(L, e), 0);
    EXPECT_EQ(log.Count("initlibrary:libtest"), 1);

    ClosePlugins(L);
    EXPECT_EQ(log.Count("freelibrary:libtest"), 1);
    EXPECT_EQ(log.Count("close:libtest"), 1);
    FreeCommandLibraries();
    FreePlugins();
    EXPECT_EQ(log.Count("close:libtest"), 1) << "ClosePlugin runs once";
}

TEST_F(Manager, ClassTableIsReachedThroughItsRegistryName) {
    cxPluginEntry *e = Open("classy", "classy.cxp");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(RegisterPluginFormats(L, e), 0);

    luaL_getmetatable(L, "classy.cxp.Counter");
    ASSERT_TRUE(lua_istable(L, -1));
    const int cls = lua_gettop(L);
    lua_pushstring(L, "__index");
    lua_rawget(L, cls);
    EXPECT_TRUE(lua_rawequal(L, -1, cls)) << "__index refers to the table itself";
    lua_pop(L, 1);

    lua_pushstring(L, "new");
    lua_rawget(L, cls);
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
    const int obj = lua_gettop(L);
    for (int i = 0; i < 2; i++) {
        lua_pushstring(L, "inc");
        lua_rawget(L, cls);
        lua_pushvalue(L, obj);
        ASSERT_EQ(lua_pcall(L, 1, 0, 0), 0);
    }
    // A method found through the object's metatable.
    ASSERT_TRUE(lua_getmetatable(L, obj));
    lua_pushstring(L, "__index");
    lua_rawget(L, -2);
    lua_pushstring(L, "get");
    lua_gettable(L, -2);
    lua_pushvalue(L, obj);
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 2);

    PushCommand(nullptr, "counter");
    EXPECT_TRUE(lua_isnil(L, -1)) << "no global table for a class";
    double n = -1;
    EXPECT_TRUE(Constant("classy_start", &n));
}

TEST_F(Manager, OverlongClassNameIsAnInternalLimit) {
    cxPluginEntry *e = Open("longclass", "longclass.cxp");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(RegisterPluginFormats(L, e), ERR_INTERNAL);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(Manager, SaverFormatsBecomeConstants) {
    cxPluginEntry *e = Open("savetest", "savetest.cxp");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(RegisterPluginFormats(L, e), 0);
    double n = 0;
    EXPECT_TRUE(Constant("imgfmt_foo", &n));
    EXPECT_EQ(n, 100);
    EXPECT_TRUE(Constant("imgfmt_bar", &n));
    EXPECT_EQ(n, 101);
    EXPECT_TRUE(Constant("smpfmt_raw", &n));
    EXPECT_EQ(n, 7);
    cxPlugin *p = e->handle->plugin;
    ASSERT_NE(p->imageFormats, nullptr);
    EXPECT_EQ(p->imageFormats[0].format, 100);
    EXPECT_STREQ(p->imageFormats[1].name, "Bar");
    EXPECT_EQ(p->imageFormats[2].name, nullptr) << "a zero entry ends the array";
    ASSERT_NE(p->sampleFormats, nullptr);
    EXPECT_EQ(p->sampleFormats[0].format, 7);
    EXPECT_EQ(p->animFormats, nullptr);
}

TEST_F(Manager, RequireChecksVersionAndCallsTheHookOnce) {
    cxPluginEntry *e = Open("reqtest", "reqtest.cxp");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(RegisterPluginFormats(L, e), 0);
    PushCommand(nullptr, "reqtest");
    EXPECT_TRUE(lua_isnil(L, -1)) << "the library waits until it is required";
    lua_pop(L, 1);

    struct {
        const char *name;
        int version, revision;
        int code;
        const char *detail;
    } cases[] = {
        {"reqtest", 2, 0, ERR_REQUIREPLUGIN, "reqtest.cxp 2.0"},
        {"reqtest.cxp", 1, 10, ERR_REQUIREPLUGIN, "reqtest.cxp 1.10"},
        {"nothere", 0, 0, ERR_REQUIREPLUGIN, "nothere.cxp"},
        {"nothere.cxp", 3, 1, ERR_REQUIREPLUGIN, "nothere.cxp 3.1"},
        {"reqtest", 1, 8, 0, nullptr},
    };
    for (const auto &c : cases) {
        SetErrorDetail("");
        EXPECT_EQ(LoadRequiredPlugin(L, c.name, c.version, c.revision, 0, nullptr, 0), c.code) << c.name;
        if (c.detail) {
            EXPECT_STREQ(GetErrorDetail(), c.detail);
        }
    }
    char message[256];
    SetErrorDetail("reqtest.cxp 2.0");
    EXPECT_STREQ(GetErrorText(ERR_REQUIREPLUGIN, message, sizeof message), "This program requires reqtest.cxp 2.0!");
    EXPECT_EQ(log.Count("require:1.8 flags 0"), 0) << "no hook without the flag";

    int result = 0;
    const int flags = CX_REQUIRE_CALLHOOK | CX_REQUIRE_LIBRARIES | CX_REQUIRE_EXTRA;
    ASSERT_EQ(LoadRequiredPlugin(L, "REQTEST", 1, 9, flags, &result, reinterpret_cast<intptr_t>("tagtext")), 0);
    EXPECT_EQ(result, 77) << "tag 1 carries the caller's result word";
    EXPECT_EQ(log.Count("require:1.9 flags 0 extra tagtext"), 1);
    EXPECT_EQ(e->required, 1u);
    EXPECT_EQ(e->handle->plugin->required, 1u);
    ASSERT_EQ(Call("reqtest", "hello"), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "required hello");

    ASSERT_EQ(LoadRequiredPlugin(L, "reqtest", 1, 0, flags, &result, 0), 0);
    int hooks = 0;
    for (const std::string &line : log.Lines()) hooks += line.rfind("require:", 0) == 0;
    EXPECT_EQ(hooks, 1) << "RequirePlugin runs once";
}

TEST_F(Manager, InitPluginsFollowsTheStartupOptions) {
    cxtest::TempDir dir;
    fs::create_directory(dir.Path("Plugins"));
    for (auto [testCase, file] : {std::pair{"good", "probe.cxp"}, std::pair{"libtest", "libtest.cxp"},
                                  std::pair{"reqtest", "reqtest.cxp"}, std::pair{"lazy", "_lazy.cxp"}})
        CopyPlugin(testCase, file, dir.Path("Plugins"));

    cxStartupOptions opts;
    InitStartupOptions(&opts);
    const char *argv[] = {"player", "-SKIPPLUGINS", "probe", "-REQUIREPLUGINS", "reqtest|lazy",
                          "-requiretags", "hello tags", "-QUIET"};
    ASSERT_EQ(ParseArguments(&opts, 8, const_cast<char **>(argv)), 0);
    snprintf(opts.programPath, sizeof opts.programPath, "%s", dir.Path("player").c_str());

    int count = 0;
    ASSERT_EQ(CountPlugins(&opts, &count), 0);
    EXPECT_EQ(count, 4);
    ASSERT_EQ(InitPlugins(L, &opts), 0) << GetErrorDetail();
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"lazy.cxp+", "libtest.cxp+", "probe.cxp-", "reqtest.cxp+"}));
    EXPECT_EQ(log.Count("require:0.0 flags 0 extra hello tags"), 1);
    EXPECT_EQ(IsPluginQuiet(), 1);
    EXPECT_EQ(IsPluginStartupPhase(), 0) << "adapters may register only during the stage";
    ASSERT_EQ(Call("reqtest", "hello"), 0);
    ASSERT_EQ(Call("libtest", "add", {}, {1, 1}), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 2);
    FreeStartupOptions(&opts);
}

TEST_F(Manager, RequiringAnUnknownPluginAtStartupFails) {
    cxtest::TempDir dir;
    cxStartupOptions opts;
    InitStartupOptions(&opts);
    const char *argv[] = {"player", "-REQUIREPLUGINS", "ghost"};
    ASSERT_EQ(ParseArguments(&opts, 3, const_cast<char **>(argv)), 0);
    snprintf(opts.programPath, sizeof opts.programPath, "%s", dir.Path("player").c_str());
    EXPECT_EQ(InitPlugins(L, &opts), ERR_REQUIREPLUGIN);
    EXPECT_STREQ(GetErrorDetail(), "ghost.cxp");
    FreeStartupOptions(&opts);
}

TEST_F(Manager, UncallableLibraryRegistersNothing) {
    cxPluginEntry *e = Open("uncallable", "uncallable.cxp");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(RegisterPluginFormats(L, e), 0);
    PushCommand(nullptr, "probehello");
    EXPECT_TRUE(lua_isnil(L, -1));
    EXPECT_EQ(log.Count("initlibrary:uncallable"), 0);
}

TEST_F(Manager, DumpListsEveryOpenedPlugin) {
    Open("libtest", "libtest.cxp");
    Open("good", "probe.cxp");
    char *plain = DumpPluginInfo(L, 0);
    char *help = DumpPluginInfo(L, 1);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(help, nullptr);
    const std::string head =
        "1.0\n0x00020002\nLibrary test\nlibtest\nTest author\nCommands and constants for the tests\n"
        "Public domain\nhttps://example.invalid/libtest\n2024-02-03\nlibtest.guide\n"
        "libtest.Add\nlibtest.Join\n";
    EXPECT_EQ(std::string(plain).substr(0, head.size()), head);
    EXPECT_NE(std::string(plain).find("LIBTEST_ANSWER\nLIBTEST_NAME\nLibTestGlobal\nLIBTEST_TWO\n"),
              std::string::npos);
    EXPECT_NE(std::string(plain).find("1.0\n0x00000004\nProbe probe\nprobe\n"), std::string::npos);
    EXPECT_NE(std::string(help).find("libtest.Add\tAdd(a, b)\tsum of two numbers\n"), std::string::npos);
    EXPECT_NE(std::string(help).find("LibTestGlobal\tLibTestGlobal()\ta global command\n"), std::string::npos);
    free(plain);
    free(help);
}

TEST_F(Manager, PluginListForTheApiFollowsLoadOrder) {
    EXPECT_EQ(GetPluginApi()->plugins->GetFirstPlugin(), nullptr);
    Open("libtest", "libtest.cxp");
    Open("good", "probe.cxp");
    const cxApiPluginList *list = GetPluginApi()->plugins;
    cxPluginNode *n = list->GetFirstPlugin();
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(list->GetNodePlugin(n)->moduleName, "libtest");
    EXPECT_EQ(list->GetNodeCapabilities(n), CX_CAP_LIBRARY | CX_CAP_EXTENSIONS);
    EXPECT_EQ(std::string(list->GetNodePath(n)), CxpPath("libtest", "libtest.cxp"));
    n = list->GetNextPlugin(n);
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(list->GetNodePlugin(n)->moduleName, "probe");
    EXPECT_EQ(list->GetNextPlugin(n), nullptr);
}

TEST(LoaderLists, MatchAndNamedFollowTheWordRules) {
    struct {
        const char *list;
        const char *name;
        int allowPlugin;
        int match;
        int named;
    } cases[] = {
        {nullptr, "inbuilt", 0, 1, 0},
        {"", "foo", 1, 1, 0},
        {"default", "foo", 0, 1, 0},
        {"DEFAULT", "native", 0, 1, 0},
        {"inbuilt|foo", "inbuilt", 0, 1, 1},
        {"inbuilt|foo", "foo", 0, 1, 1},
        {"inbuilt|foo", "FOO", 0, 1, 1},
        {"inbuilt|foo", "fo", 0, 0, 0},
        {"inbuilt|foobar", "foo", 0, 0, 0},  // only begins with the name
        {"inbuilt|foo", "native", 0, 0, 0},
        {"xinbuilt|foo", "inbuilt", 0, 0, 0},
        {"plugin", "foo", 1, 1, 0},
        {"plugin", "foo", 0, 0, 0},
        {"plugin", "inbuilt", 1, 0, 0},  // the keyword selects plug-ins only
        {"native|plugin", "native", 1, 1, 1},
        {"foo|", "foo", 0, 1, 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MatchLoaderList(c.list, c.name, c.allowPlugin), c.match)
            << (c.list ? c.list : "null") << " / " << c.name;
        EXPECT_EQ(IsLoaderNamed(c.list, c.name), c.named) << (c.list ? c.list : "null") << " / " << c.name;
    }
}

TEST_F(Manager, LoaderNamesAndNamedAdapters) {
    EXPECT_STREQ(GetLoaderName(0), "inbuilt");
    EXPECT_STREQ(GetLoaderName(1), "native");
    cxPluginEntry *e = Open("fileadapter", "fsadapter.cxp");
    ASSERT_NE(e, nullptr);
    cxPlugin *p = e->handle->plugin;
    EXPECT_STREQ(GetLoaderName(reinterpret_cast<uintptr_t>(p)), "fsadapter");
    EXPECT_EQ(GetCapabilityList(CX_CAP_FILEADAPTER), nullptr) << "adapters serve only where named";

    EXPECT_EQ(AddNamedAdapters("default", CX_CAP_FILEADAPTER), 0);
    EXPECT_EQ(AddNamedAdapters("plugin|inbuilt|other", CX_CAP_FILEADAPTER), 0);
    EXPECT_EQ(GetCapabilityList(CX_CAP_FILEADAPTER), nullptr);

    SetPluginDisabled(p, 1);
    EXPECT_EQ(AddNamedAdapters("inbuilt|FSADAPTER", CX_CAP_FILEADAPTER), 0);
    EXPECT_EQ(GetCapabilityList(CX_CAP_FILEADAPTER), nullptr) << "a disabled plug-in is left out";
    SetPluginDisabled(p, 0);
    EXPECT_EQ(AddNamedAdapters("inbuilt|FSADAPTER", CX_CAP_FILEADAPTER), 0);
    EXPECT_EQ(AddNamedAdapters("fsadapter", CX_CAP_FILEADAPTER), 0);
    cxPluginNode *n = GetCapabilityList(CX_CAP_FILEADAPTER);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->plugin, p);
    EXPECT_EQ(n->next, nullptr) << "added once";
    EXPECT_EQ(p->onlyWhenNamed, 1u);
    EXPECT_EQ(AddNamedAdapters("fsadapter", CX_CAP_DISPLAYADAPTER), 0) << "no such capability: nothing to add";
    EXPECT_EQ(AddCapabilityEntry(p, CX_CAP_DISPLAYADAPTER), ERR_WRONGUSAGE);

    RemovePluginHooks(p);
    EXPECT_EQ(GetCapabilityList(CX_CAP_FILEADAPTER), nullptr);
}

TEST_F(Manager, TimerAdapterRegistersOnlyDuringStartup) {
    cxPluginEntry *timer = Open("timer", "timer.cxp");
    cxPluginEntry *probe = Open("good", "probe.cxp");
    ASSERT_TRUE(timer && probe);
    cxPlugin *p = timer->handle->plugin;
    EXPECT_EQ(RegisterTimerAdapter(p, 1), ERR_SETADAPTER);
    SetPluginStartupPhase(1);
    EXPECT_EQ(RegisterTimerAdapter(probe->handle->plugin, 0), ERR_WRONGUSAGE);
    EXPECT_EQ(RegisterTimerAdapter(p, 1), 0);
    EXPECT_EQ(GetTimerAdapter(), p);
    EXPECT_EQ(p->timerFlags, 1u);
    EXPECT_EQ(RegisterTimerAdapter(p, 0), ERR_SETADAPTER) << "the installed adapter is exclusive";

    cxApplet *applet = NewApplet();
    applet->versionMajor = 5;
    SetPluginApplet(applet);
    EXPECT_EQ(GetPluginApi()->system->RegisterTimerAdapter(p, 0), ERR_OLDAPPLET);
    EXPECT_EQ(GetPluginApi()->system->CheckAppletVersion(6, 0), 0);
    SetPluginApplet(nullptr);
    FreeApplet(applet);

    FreePlugins();
    EXPECT_EQ(GetTimerAdapter(), nullptr);
}

TEST(ImageHandles, ReferenceCountsAndFreeRoutines) {
    cxImageHandle *image = AllocImageHandle(3, 2);
    ASSERT_NE(image, nullptr);
    int w = 0, h = 0;
    GetImageHandleSize(image, &w, &h);
    EXPECT_EQ(w * 10 + h, 32);
    image->pixels[5] = 0xFF00FF00u;
    EXPECT_EQ(GetImageHandlePixels(image)[5], 0xFF00FF00u);
    image->overridePixels = static_cast<uint32_t *>(calloc(6, 4));
    EXPECT_EQ(GetImageHandlePixels(image), image->overridePixels);
    RetainImageHandle(image);
    ReleaseImageHandle(image);
    EXPECT_EQ(image->refCount, 1);
    ReleaseImageHandle(image);

    static int freed = 0;
    uint32_t pixels[4] = {};
    cxImageHandle *wrapped = WrapImageHandle(&freed, pixels, [](void *data) { ++*static_cast<int *>(data); }, 0, 2, 2, 0);
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(GetImageHandlePixels(wrapped), pixels);
    ReleaseImageHandle(wrapped);
    EXPECT_EQ(freed, 1);
    cxImageHandle *kept = WrapImageHandle(&freed, pixels, [](void *data) { ++*static_cast<int *>(data); }, 1, 2, 2, 0);
    ReleaseImageHandle(kept);
    EXPECT_EQ(freed, 1) << "no-free keeps the data";

    EXPECT_EQ(AllocImageHandle(0, 5), nullptr);
    EXPECT_EQ(AllocImageHandle(1 << 16, 1 << 16), nullptr);
}

}  // namespace

// The API table handed to plug-ins, called the way a plug-in calls it:
// the runtime library's files through the stream layer, the libraries the
// player carries, the player's own services, and the slots that wait for
// other subsystems.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <jpeglib.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "engine/vm/lauxlib.h"
#include "streams/memory_name.h"
#include "include/calyxtone/cxplugin.h"
#include "shell/plugins/plugin_loader.h"
#include "tests/shell/test_files.h"

namespace {

const cxPluginApi *Api() { return GetPluginApi(); }

TEST(PluginApi, VersionAndTables) {
    const cxPluginApi *api = Api();
    EXPECT_EQ(api->version, 8);
    EXPECT_EQ(api->revision, 0);
    const void *tables[] = {api->runtime, api->system,       api->files, api->graphics, api->audio,  api->requesters,
                            api->fonts,   api->freetype,     api->vm,    api->builtinFonts, api->zlib, api->jpeg,
                            api->plugins, api->digest,       api->unicode, api->locale};
    for (const void *t : tables) EXPECT_NE(t, nullptr);
    EXPECT_EQ(api->runtime->end, nullptr);
    EXPECT_EQ(api->vm->luaG_runerror, &luaG_runerror);
    EXPECT_EQ(api->vm->lua_gettop, &lua_gettop);
    EXPECT_EQ(api->freetype->FT_MulFix, &FT_MulFix);
    EXPECT_EQ(api->zlib->crc32, &crc32);
    EXPECT_EQ(api->jpeg->jpeg_std_error, &jpeg_std_error);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(api->builtinFonts->faces[i], nullptr) << "no faces until the text subsystem ships them";
        EXPECT_EQ(api->builtinFonts->sizes[i], 0u);
    }
}

TEST(PluginApi, RuntimeFilesGoThroughTheStreamLayer) {
    const cxApiRuntime *rt = Api()->runtime;
    static const char kData[] = "0123456789abcdef";
    char name[CX_MEMORY_NAME_MAX];
    ASSERT_TRUE(MakeMemoryName(name, sizeof name, kData, 16));
    FILE *f = rt->FOpen(name, "rb");
    ASSERT_NE(f, nullptr) << "a memory block is a file of the stream layer";
    EXPECT_EQ(rt->FileNo(f), -1);
    char buf[8] = {};
    EXPECT_EQ(rt->FRead(buf, 1, 4, f), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(rt->FSeek(f, 10, SEEK_SET), 0);
    EXPECT_EQ(rt->FGetC(f), 'a');
    EXPECT_EQ(rt->FTell(f), 11);
    cxPluginStat st;
    st.reserved = 0xA5A5A5A5u;
    EXPECT_EQ(rt->FStat(f, &st), 0);
    EXPECT_EQ(st.sizeLow, 16u);
    EXPECT_EQ(st.reserved, 0xA5A5A5A5u) << "the first word is left alone";
    EXPECT_EQ(rt->FClose(f), 0);
    ReleaseMemoryName(kData, 16);

    cxtest::TempDir dir;
    const std::string path = dir.Path("rt.txt");
    EXPECT_EQ(rt->FOpen(path.c_str(), "r"), nullptr);
    EXPECT_EQ(rt->FOpen(path.c_str(), "r+"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(path)) << "\"r+\" does not create";
    f = rt->FOpen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rt->FPutS("line one\n", f), 1);
    EXPECT_EQ(rt->FClose(f), 0);
    f = rt->FOpen(path.c_str(), "a");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rt->FWrite("two\n", 1, 4, f), 4u);
    rt->FClose(f);
    f = rt->FOpen(path.c_str(), "r");
    char line[32];
    ASSERT_NE(rt->FGetS(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "line one\n");
    ASSERT_NE(rt->FGetS(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "two\n");
    rt->FClose(f);
    f = rt->FOpen(path.c_str(), "w+");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rt->FStat(f, &st), 0);
    EXPECT_EQ(st.sizeLow, 0u) << "\"w+\" empties the file";
    rt->FClose(f);

    cxPluginStat ds{};
    EXPECT_EQ(rt->Stat(dir.path().c_str(), &ds), 0);
    EXPECT_TRUE(ds.flags & CX_STAT_DIRECTORY);
    EXPECT_TRUE(ds.flags & CX_STAT_OWNER_READ);
    chmod(path.c_str(), 0640);
    EXPECT_EQ(rt->Stat(path.c_str(), &ds), 0);
    EXPECT_EQ(ds.flags, CX_STAT_OWNER_READ | CX_STAT_OWNER_WRITE | CX_STAT_GROUP_READ);
    EXPECT_EQ(rt->Stat(dir.Path("none").c_str(), &ds), -1);

    double diff = 0;
    rt->DiffTime(&diff, 10, 4);
    EXPECT_EQ(diff, 6);
    rt->SetErrno(42);
    EXPECT_EQ(rt->GetErrno(), 42);
    EXPECT_EQ(rt->ErrnoLocation(), rt->ErrnoLocation2());
    EXPECT_EQ(rt->StdOut(), stdout);
    EXPECT_EQ(rt->StrICmp("ABC", "abc"), 0);
}

TEST(PluginApi, CarriedLibrariesWork) {
    const cxPluginApi *api = Api();
    // zlib
    const std::string text(1000, 'z');
    unsigned long packedSize = 200;
    std::vector<unsigned char> packed(packedSize);
    ASSERT_EQ(api->zlib->compress2(packed.data(), &packedSize, reinterpret_cast<const unsigned char *>(text.data()),
                                   text.size(), 9),
              Z_OK);
    std::vector<unsigned char> back(text.size());
    unsigned long backSize = back.size();
    ASSERT_EQ(api->zlib->uncompress(back.data(), &backSize, packed.data(), packedSize), Z_OK);
    EXPECT_EQ(std::string(back.begin(), back.end()), text);

    // libjpeg: an 8x8 grey square to memory and back
    jpeg_compress_struct c{};
    jpeg_error_mgr cerr{};
    c.err = api->jpeg->jpeg_std_error(&cerr);
    api->jpeg->jpeg_CreateCompress(&c, JPEG_LIB_VERSION, sizeof c);
    unsigned char *jpeg = nullptr;
    unsigned long jpegSize = 0;
    api->jpeg->jpeg_mem_dest(&c, &jpeg, &jpegSize);
    c.image_width = 8;
    c.image_height = 8;
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    api->jpeg->jpeg_set_defaults(&c);
    api->jpeg->jpeg_set_quality(&c, 90, TRUE);
    api->jpeg->jpeg_start_compress(&c, TRUE);
    unsigned char row[8] = {128, 128, 128, 128, 128, 128, 128, 128};
    unsigned char *rows[1] = {row};
    for (int y = 0; y < 8; y++) api->jpeg->jpeg_write_scanlines(&c, rows, 1);
    api->jpeg->jpeg_finish_compress(&c);
    api->jpeg->jpeg_destroy_compress(&c);
    ASSERT_GT(jpegSize, 0u);
    jpeg_decompress_struct d{};
    jpeg_error_mgr derr{};
    d.err = api->jpeg->jpeg_std_error(&derr);
    api->jpeg->jpeg_CreateDecompress(&d, JPEG_LIB_VERSION, sizeof d);
    api->jpeg->jpeg_mem_src(&d, jpeg, jpegSize);
    EXPECT_EQ(api->jpeg->jpeg_read_header(&d, TRUE), JPEG_HEADER_OK);
    EXPECT_EQ(d.image_width, 8u);
    api->jpeg->jpeg_destroy_decompress(&d);
    free(jpeg);

    // FreeType
    FT_Library library = nullptr;
    ASSERT_EQ(api->freetype->FT_Init_FreeType(&library), 0);
    FT_Face face = nullptr;
    EXPECT_NE(api->freetype->FT_New_Memory_Face(library, reinterpret_cast<const unsigned char *>("junk"), 4, 0, &face),
              0);
    EXPECT_EQ(api->freetype->FT_MulFix(3 << 16, 2 << 16), 6 << 16);
    EXPECT_EQ(api->freetype->FT_Done_FreeType(library), 0);
}

TEST(PluginApi, SystemServices) {
    const cxApiSystem *sys = Api()->system;
    EXPECT_EQ(sys->AllocMem(0, 1), nullptr);
    auto *p = static_cast<unsigned char *>(sys->AllocMem(16, 1));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[15], 0);
    sys->FreeMem(p);

    cxPluginTimeVal a{5, 900000}, b{1, 200000};
    sys->AddTime(&a, &b);
    EXPECT_EQ(a.seconds, 7);
    EXPECT_EQ(a.microseconds, 100000);
    sys->SubTime(&a, &b);
    EXPECT_EQ(a.seconds, 5);
    EXPECT_EQ(a.microseconds, 900000);
    EXPECT_EQ(sys->CmpTime(&a, &b), 1);
    EXPECT_EQ(sys->CmpTime(&b, &b), 0);
    char date[32];
    EXPECT_EQ(sys->GetDateString(date, sizeof date, 0), 20u);
    // 21 January 2038: no text where time_t is 32 bits, not a wrapped date.
    EXPECT_EQ(sys->GetDateString(date, sizeof date, 2147688000), sizeof(time_t) >= 8 ? 20u : 0u);

    void *m = sys->CreateMutex();
    ASSERT_NE(m, nullptr);
    sys->LockMutex(m);
    sys->LockMutex(m);  // recursive
    sys->UnlockMutex(m);
    sys->UnlockMutex(m);
    sys->FreeMutex(m);

    int code = sys->RegisterErrorCode("Plug-in failure %s!");
    EXPECT_GE(code, 1630);
    sys->SetErrorDetail("here");
    char text[64];
    EXPECT_STREQ(sys->GetErrorText(code, text, sizeof text), "Plug-in failure here!");
    FreeCustomErrors();

    char folder[1024];
    ASSERT_EQ(sys->GetSystemFolder(3, folder, sizeof folder), 0);
    EXPECT_NE(std::string(folder).find("/.calyxtone-data"), std::string::npos);
    EXPECT_EQ(sys->GetSystemFolder(1, folder, sizeof folder), 0);
    EXPECT_STREQ(folder, "/tmp");
    EXPECT_EQ(sys->GetSystemFolder(9, folder, sizeof folder), ERR_ARGS);
    EXPECT_EQ(sys->GetSystemFolder(0, folder, 1), ERR_INTERNAL);
    unsigned char random[64] = {};
    EXPECT_EQ(sys->GetRandomBytes(random, sizeof random), 0);
    EXPECT_EQ(sys->CheckAppletVersion(8, 0), 1);
    EXPECT_EQ(sys->CheckAppletVersion(8, 1), 0);
    EXPECT_LT(sys->CompareStrings("a", "B", 0), 0);
    EXPECT_EQ(sys->GetStartupOption("QUIET"), nullptr);
}

TEST(PluginApi, SlotsWaitingForOtherSubsystemsAnswerClearly) {
    const cxPluginApi *api = Api();
    EXPECT_EQ(api->system->PostSystemEvent(nullptr, 1, nullptr), ERR_WRONGUSAGE) << "code 1 needs its function";
    EXPECT_EQ(api->system->RegisterEventType("x", 0, nullptr, 0), 0);
    EXPECT_EQ(api->system->FindEventType("x", nullptr), -1);
    EXPECT_EQ(api->system->RegisterAudioAdapter(nullptr, 0, nullptr), ERR_WRONGUSAGE);
    EXPECT_EQ(api->system->FindObject(3, nullptr), nullptr);
    EXPECT_EQ(api->files->LockPath("/", 0, nullptr), nullptr);
    cxImageHandle *image = reinterpret_cast<cxImageHandle *>(1);
    EXPECT_EQ(api->graphics->LoadImage(nullptr, "x.png", nullptr, &image, nullptr, nullptr), ERR_UNSUPPORTEDFEAT);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(api->graphics->GetBrushARGB(nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(api->graphics->GetDefaultPixelFormat(), 10);
    EXPECT_EQ(api->graphics->GetPixelFormatBytes(9), 3);
    EXPECT_EQ(api->audio->ReplaceSampleData(nullptr, nullptr, nullptr, 0, 0, 0, 0), ERR_WRONGUSAGE);
    int choice = 5;
    EXPECT_EQ(api->requesters->SystemRequest("t", "b", "OK", &choice), ERR_UNSUPPORTEDFEAT);
    EXPECT_EQ(choice, 0);
    EXPECT_EQ(api->fonts->OpenFont("x", 10, nullptr), nullptr);
    char md5[33] = "x";
    ASSERT_EQ(api->digest->Md5("a", 1, md5), 0);
    EXPECT_STREQ(md5, "0cc175b9c0f1b6a831c399e269772661");
}

TEST(PluginApi, IconServices) {
    const cxApiGraphics *g = Api()->graphics;
    void *list = reinterpret_cast<void *>(1);
    int count = -1;
    const cxPluginObjectID missing{5, nullptr};
    EXPECT_EQ(g->GetIconImages(&missing, &list, &count), ERR_FINDICON);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(count, 0);
    uint32_t *argb = reinterpret_cast<uint32_t *>(1);
    EXPECT_EQ(g->GetIconImage(&missing, 16, 16, &argb), ERR_FINDICON);
    EXPECT_EQ(argb, nullptr);
    EXPECT_EQ(g->GetIconImage(nullptr, 16, 16, &argb), ERR_WRONGUSAGE);
    // no application icon was set up
    EXPECT_EQ(g->GetAppIconList(&list, &count), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(count, 0);
    g->FreeIconImages(nullptr);
}

TEST(PluginApi, FileServices) {
    const cxApiFiles *files = Api()->files;
    cxtest::TempDir dir;
    char folder[64] = "some/dir";
    EXPECT_EQ(files->AddPart(folder, "file.txt", sizeof folder), 1);
    EXPECT_STREQ(folder, "some/dir/file.txt");
    char small[10] = "abc/";
    EXPECT_EQ(files->AddPart(small, "toolongname", sizeof small), 0);
    EXPECT_STREQ(small, "abc/");
    EXPECT_STREQ(files->FilePart("a/b:c\\d.txt"), "d.txt");

    cxtest::WriteText(dir.Path("src.bin"), "payload");
    ASSERT_EQ(files->CopyFile(dir.Path("src.bin").c_str(), dir.Path("copy.bin").c_str(), nullptr), 0);
    void *data = nullptr;
    size_t length = 0;
    ASSERT_EQ(files->ReadWholeFile(dir.Path("copy.bin").c_str(), nullptr, &data, &length), 0);
    EXPECT_EQ(std::string(static_cast<char *>(data), length), "payload");
    free(data);
    EXPECT_EQ(files->ReadWholeFile(dir.Path("none").c_str(), nullptr, &data, &length), ERR_READFILE);
    EXPECT_EQ(files->DeleteFile(dir.Path("none").c_str()), ERR_DELETEFILE);
    EXPECT_EQ(files->MakeDirectory(dir.Path("sub").c_str()), 0);
    cxPluginStat st{};
    EXPECT_EQ(files->ExaminePath(dir.Path("sub").c_str(), &st), 1);
    EXPECT_TRUE(st.flags & CX_STAT_DIRECTORY);
    EXPECT_EQ(files->RenameFile(dir.Path("copy.bin").c_str(), dir.Path("moved.bin").c_str()), 0);
    EXPECT_EQ(files->DeleteFile(dir.Path("moved.bin").c_str()), 0);
    char temp[256];
    ASSERT_EQ(files->MakeTempFile(temp, sizeof temp), 0);
    EXPECT_EQ(files->DeleteFile(temp), 0);
}

TEST(PluginApi, DigestsAndUnicode) {
    const cxApiDigest *dg = Api()->digest;
    size_t n = 0;
    char *b64 = dg->Base64Encode("hello", 5, &n);
    ASSERT_NE(b64, nullptr);
    EXPECT_STREQ(b64, "aGVsbG8=");
    EXPECT_EQ(n, 8u);
    void *raw = dg->Base64Decode(b64, n, &n);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(std::string(static_cast<char *>(raw), n), "hello");
    free(raw);
    free(b64);
    for (const char *bad : {"aGV*bG8=", "a", "aGVsbG8=x", "aG==="}) EXPECT_EQ(dg->Base64Decode(bad, strlen(bad), &n), nullptr) << bad;
    EXPECT_EQ(dg->Crc32(0, "hello", 5), 0x3610a686u);
    EXPECT_EQ(dg->Crc32(0, "hello", 0), 0xFFFFFFFFu);
    EXPECT_EQ(dg->Crc32(0, "hello", -3), 0xFFFFFFFFu);

    const cxApiUnicode *u = Api()->unicode;
    EXPECT_EQ(u->Utf8Length("a\xc3\xa9z"), 3);
    EXPECT_EQ(u->Utf8Length("a\xff"), -1);
    EXPECT_EQ(u->NCompareNoCase("\xc3\x84" "BCx", "\xc3\xa4" "bcy", 3), 0);
    EXPECT_NE(u->NCompareNoCase("\xc3\x84" "BCx", "\xc3\xa4" "bcy", 4), 0);
    EXPECT_EQ(u->ToUpper(0xE9), 0xC9u);
    EXPECT_TRUE(u->IsAlpha(0xE9));
    char enc[5];
    EXPECT_EQ(u->EncodeChar(enc, 0x20AC), 3);
    EXPECT_EQ(u->Validate("\xe2\x82\xac", 3), 1);
    EXPECT_EQ(u->Validate("\xe2\x82", 2), 0);
}

TEST(PluginApi, LocaleFromTheEnvironment) {
    const char *saved[3];
    const char *names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string keep[3];
    for (int i = 0; i < 3; i++) {
        saved[i] = getenv(names[i]);
        if (saved[i]) keep[i] = saved[i];
        unsetenv(names[i]);
    }
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_STREQ(Api()->locale->GetLanguage(), "de");
    EXPECT_STREQ(Api()->locale->GetCountry(), "DE");
    setenv("LANG", "C", 1);
    EXPECT_STREQ(Api()->locale->GetLanguage(), "en");
    EXPECT_STREQ(Api()->locale->GetCountry(), "");
    for (int i = 0; i < 3; i++) {
        if (saved[i]) setenv(names[i], keep[i].c_str(), 1);
        else unsetenv(names[i]);
    }
}

struct VmTable : ::testing::Test {
    lua_State *L = lua_open();
    ~VmTable() override { lua_close(L); }
};

TEST_F(VmTable, ObjectIdReadersTakeNumbersAndHandles) {
    static cxPluginObjectID seen[3];
    auto reader = [](lua_State *S) -> int {
        const cxApiVM *vm = GetPluginApi()->vm;
        vm->GetObjectIDArg(S, 1, &seen[0]);
        vm->GetObjectIDArg(S, 2, &seen[1]);
        vm->GetOptObjectIDArg(S, 3, &seen[2]);
        vm->GetObjectIDArg(S, 1, nullptr);  // a null out pointer is harmless
        return 0;
    };
    int anchor = 0;
    lua_pushcfunction(L, reader);
    lua_pushnumber(L, 17);
    lua_pushlightuserdata(L, &anchor);
    ASSERT_EQ(lua_pcall(L, 2, 0, 0), 0);
    EXPECT_EQ(seen[0].number, 17);
    EXPECT_EQ(seen[0].pointer, nullptr);
    EXPECT_EQ(seen[1].number, 0);
    EXPECT_EQ(seen[1].pointer, &anchor);
    EXPECT_EQ(seen[2].number, 0);
    EXPECT_EQ(seen[2].pointer, nullptr);

    lua_pushcfunction(L, reader);
    lua_pushstring(L, "brush");
    lua_pushnumber(L, 1);
    EXPECT_EQ(lua_pcall(L, 2, 0, 0), ERR_NUMEXPECTED);
    EXPECT_EQ(GetErrorNumber(), 1);
}

TEST_F(VmTable, BufferSlotsBuildStrings) {
    auto build = [](lua_State *S) -> int {
        const cxApiVM *vm = GetPluginApi()->vm;
        cxLuaBuffer b;
        vm->luaL_buffinit(S, &b);
        for (int i = 0; i < 3000; i++) vm->luaL_addstring(&b, "abc");
        vm->lua_pushstring(S, "!");
        vm->luaL_addvalue(&b);
        vm->luaL_pushresult(&b);
        return 1;
    };
    lua_pushcfunction(L, build);
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), 0);
    EXPECT_EQ(lua_strlen(L, -1), 9001u);
    EXPECT_EQ(lua_tostring(L, -1)[9000], '!');
    auto fileName = [](lua_State *S) -> int {
        GetPluginApi()->vm->lua_pushstring(S, GetPluginApi()->vm->GetFileNameArg(S, 1));
        return 1;
    };
    lua_pushcfunction(L, fileName);
    lua_pushstring(L, "pics/a.png");
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "pics/a.png");
}

}  // namespace

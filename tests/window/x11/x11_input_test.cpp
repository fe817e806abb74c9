#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

#include "window/x11/x11_input.h"
#include "window/x11/x11_window.h"

TEST(X11Keys, TranslationTable) {
    struct Case {
        KeySym sym, unshifted;
        int key, raw;
    } cases[] = {
        {XK_Escape, XK_Escape, 275, 275},   {XK_BackSpace, XK_BackSpace, 271, 271},
        {XK_Tab, XK_Tab, 272, 272},         {XK_Return, XK_Return, 274, 274},
        {XK_KP_Enter, XK_KP_Enter, 273, 273}, {XK_Delete, XK_Delete, 277, 277},
        {XK_Up, XK_Up, 256, 256},           {XK_Left, XK_Left, 259, 259},
        {XK_Help, XK_Help, 260, 260},       {XK_Insert, XK_Insert, 280, 280},
        {XK_Page_Up, XK_Page_Up, 283, 283}, {XK_Page_Down, XK_Page_Down, 284, 284},
        {XK_Print, XK_Print, 285, 285},     {XK_Pause, XK_Pause, 286, 286},
        {XK_Home, XK_Home, 281, 281},       {XK_End, XK_End, 282, 282},
        {XK_F1, XK_F1, 261, 261},           {XK_F10, XK_F10, 270, 270},
        {XK_F11, XK_F11, 278, 278},         {XK_F12, XK_F12, 279, 279},
        {XK_F13, XK_F13, 287, 287},         {XK_F16, XK_F16, 290, 290},
        {XK_space, XK_space, 276, 276},     {XK_KP_0, XK_KP_Insert, '0', 291},
        {XK_KP_9, XK_KP_Prior, '9', 300},   {XK_KP_Multiply, XK_KP_Multiply, '*', 301},
        {XK_KP_Add, XK_KP_Add, '+', 302},   {XK_KP_Subtract, XK_KP_Subtract, '-', 303},
        {XK_KP_Separator, XK_KP_Separator, ',', 304}, {XK_KP_Divide, XK_KP_Divide, '/', 305},
        {XK_a, XK_a, 'a', 'A'},             {XK_A, XK_a, 'A', 'A'},
        {XK_1, XK_1, '1', '1'},             {XK_exclam, XK_1, '!', '1'},
    };
    for (const auto &c : cases) {
        int key = -1, raw = -1;
        EXPECT_TRUE(OsTranslateKey(c.sym, c.unshifted, &key, &raw)) << c.sym;
        EXPECT_EQ(key, c.key) << "keysym " << std::hex << c.sym;
        EXPECT_EQ(raw, c.raw) << "keysym " << std::hex << c.sym;
    }
    int key, raw;
    EXPECT_FALSE(OsTranslateKey(XK_Mode_switch, XK_Mode_switch, &key, &raw));
}

TEST(X11Keys, ModifiersAndQualifiers) {
    struct Case {
        KeySym sym;
        int raw, index;
        uint32_t bit;
    } cases[] = {
        {XK_Shift_L, 306, CX_MOD_LSHIFT, 0x10000},    {XK_Shift_R, 307, CX_MOD_RSHIFT, 0x20000},
        {XK_Alt_L, 308, CX_MOD_LALT, 0x40000},        {XK_Alt_R, 309, CX_MOD_RALT, 0x80000},
        {XK_ISO_Level3_Shift, 309, CX_MOD_RALT, 0x80000}, {XK_Super_L, 310, CX_MOD_LSUPER, 0x100000},
        {XK_Super_R, 311, CX_MOD_RSUPER, 0x200000},   {XK_Control_L, 312, CX_MOD_LCONTROL, 0x400000},
        {XK_Control_R, 313, CX_MOD_RCONTROL, 0x800000},
    };
    for (const auto &c : cases) {
        int raw = 0;
        ASSERT_EQ(OsModifierOfKeySym(c.sym, &raw), c.index);
        EXPECT_EQ(raw, c.raw);
        uint8_t mods[CX_MOD_COUNT] = {};
        mods[c.index] = 1;
        EXPECT_EQ(OsQualifiersOf(mods), 0x80000000u | c.bit);
    }
    int raw;
    EXPECT_EQ(OsModifierOfKeySym(XK_a, &raw), -1);
}

namespace {
std::vector<std::string> Names(const std::string &text, int utf8) {
    std::vector<std::string> out;
    size_t size = 0;
    char *list = OsDecodeUriList(text.data(), text.size(), utf8, &size);
    if (!list) return out;
    for (const char *p = list; *p; p += strlen(p) + 1) out.emplace_back(p);
    EXPECT_EQ(list[size - 1], '\0');
    EXPECT_EQ(list[size - 2], '\0');
    free(list);
    return out;
}
}  // namespace

TEST(X11Drop, UriListDecoding) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Names("file:///tmp/a%20b.png\r\nfile:///home/x/c.txt\r\n", 1), (V{"/tmp/a b.png", "/home/x/c.txt"}));
    // A "%" without two hex digits after it stays as it is.
    EXPECT_EQ(Names("file:///x/100%\nfile:///y/50%zz\nfile:///z/%4", 1), (V{"/x/100%", "/y/50%zz", "/z/%4"}));
    EXPECT_EQ(Names("# comment\r\n\r\n/plain/path", 1), (V{"/plain/path"}));
    // UTF-8 mode keeps the bytes; ISO-8859-1 mode converts them.
    EXPECT_EQ(Names("file:///t/%C3%A9.txt", 1), (V{"/t/\xC3\xA9.txt"}));
    EXPECT_EQ(Names("file:///t/%C3%A9%E2%82%AC", 0), (V{"/t/\xE9?"}));
    EXPECT_TRUE(Names("", 1).empty());
    EXPECT_TRUE(Names("\r\n#x\n", 1).empty());
    // A NUL byte in the data ends its name, as an escaped one does: it
    // neither splits a name in two nor ends the list before the others.
    static const char kRaw[] = "file:///a/b\0junk\r\nfile:///c\r\n\0\nfile:///d%00x\n";
    const std::string raw(kRaw, sizeof kRaw - 1);
    EXPECT_EQ(Names(raw, 1), (V{"/a/b", "/c", "/d"}));
    // Nor does an overlong UTF-8 NUL once converted to ISO-8859-1.
    EXPECT_EQ(Names("file:///t/\xC0\x80x\nfile:///u/%C0%80y", 0), (V{"/t/??x", "/u/??y"}));
}

TEST(X11Borderless, EdgesAndSizingRect) {
    EXPECT_EQ(OsClassifyEdge(2, 3, 200, 100), CX_EDGE_LEFT | CX_EDGE_TOP);
    EXPECT_EQ(OsClassifyEdge(195, 50, 200, 100), CX_EDGE_RIGHT);
    EXPECT_EQ(OsClassifyEdge(100, 95, 200, 100), CX_EDGE_BOTTOM);
    EXPECT_EQ(OsClassifyEdge(100, 50, 200, 100), CX_EDGE_RIGHT | CX_EDGE_BOTTOM);
    const int start[4] = {100, 100, 200, 100};
    int r[4];
    OsSizingRect(start, CX_EDGE_RIGHT | CX_EDGE_BOTTOM, 30, -20, r);
    EXPECT_EQ(r[0], 100);
    EXPECT_EQ(r[1], 100);
    EXPECT_EQ(r[2], 230);
    EXPECT_EQ(r[3], 80);
    OsSizingRect(start, CX_EDGE_LEFT | CX_EDGE_TOP, 50, 10, r);
    EXPECT_EQ(r[0], 150);
    EXPECT_EQ(r[1], 110);
    EXPECT_EQ(r[2], 150);
    EXPECT_EQ(r[3], 90);
    // Dragged past the fixed edge: at least one pixel, the fixed edge stays.
    OsSizingRect(start, CX_EDGE_LEFT, 500, 0, r);
    EXPECT_EQ(r[0] + r[2], 300);
    EXPECT_EQ(r[2], 1);
    OsSizingRect(start, CX_EDGE_BOTTOM, 0, -500, r);
    EXPECT_EQ(r[1], 100);
    EXPECT_EQ(r[3], 1);
}

#include "window/x11/runtime_libs.h"

TEST(RuntimeLibraries, MissingFunctionWarnsAndMissingLibraryGivesNull) {
    void *present = nullptr, *absent = reinterpret_cast<void *>(1);
    const cxLibFunction fns[] = {{"XFixesQueryExtension", &present}, {"XFixesNoSuchFunction", &absent}};
    static const char *const names[] = {"libXfixes.so.3", nullptr};
    testing::internal::CaptureStdout();
    void *handle = OsLoadLibraryFunctions(names, fns, 2);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(present, nullptr);
    EXPECT_EQ(absent, nullptr);
    EXPECT_EQ(out, "WARNING: Library function XFixesNoSuchFunction not found in libXfixes.so.3!\n");
    dlclose(handle);

    static const char *const missing[] = {"libcx-no-such-library.so.9", nullptr};
    present = reinterpret_cast<void *>(1);
    EXPECT_EQ(OsLoadLibraryFunctions(missing, fns, 1), nullptr);
    EXPECT_EQ(present, nullptr);
}

// The icon library through its script commands: icons built from image
// files, saved, checked with libpng alone, loaded back and edited; broken
// icon files; the application-icon slots.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "graphics/images/image_handle.h"
#include "images/brushes/brush.h"
#include "images/core/argb_bitmaps.h"
#include "io/icons/app_icons.h"
#include "io/icons/icon_images.h"
#include "io/icons/icons.h"
#include "streams/applet_record.h"
#include "tests/engine/runtime/vm_fixture.h"
#include "tests/io/icons/icon_png.h"

namespace {

using icontest::Image;
using icontest::Pattern;
using icontest::ReadPng;
using icontest::WritePng;

constexpr uint32_t kMagic[3] = {0x0043414Cu, 0x00595854u, 0x004F4E45u};

// One entry table: "type" 44 with the image files, or a brush entry.
struct Entry {
    std::string image;
    std::string selimage;
    int standard;
    int type;
    Entry(std::string i, std::string s = "", int st = -1, int t = 44)
        : image(std::move(i)), selimage(std::move(s)), standard(st), type(t) {}
};

class Icons : public cxtest::VmTest {
protected:
    std::string dir;

    void SetUp() override {
        VmTest::SetUp();
        char tmpl[] = "/tmp/cxicons.XXXXXX";
        dir = mkdtemp(tmpl);
        ASSERT_EQ(OpenScriptLibraries(L), 0);
        ASSERT_EQ(OpenIconLibrary(L), 0);
        SetKernelTags(L, CX_KTAG_QUIET, 1, CX_KTAG_END);
    }
    void TearDown() override {
        FreeIconObjects(L);
        std::string cmd = "rm -rf " + dir;
        (void)system(cmd.c_str());
        VmTest::TearDown();
    }
    std::string Path(const std::string &name) { return dir + "/" + name; }
    // Writes a pattern PNG and returns its path.
    std::string Png(const std::string &name, int w, int h, uint32_t seed, bool alpha) {
        std::string p = Path(name);
        EXPECT_TRUE(WritePng(p, Pattern(w, h, seed, alpha)));
        return p;
    }
    void PushEntry(const Entry &e) {
        lua_newtable(L);
        auto set = [&](const char *k, const std::string &v) {
            lua_pushstring(L, k);
            if (e.type == 44) lua_pushstring(L, v.c_str());
            else lua_pushnumber(L, atof(v.c_str()));
            lua_settable(L, -3);
        };
        if (e.type != 3) {
            lua_pushstring(L, "type");
            lua_pushnumber(L, e.type);
            lua_settable(L, -3);
        }
        if (!e.image.empty()) set("image", e.image);
        if (!e.selimage.empty()) set("selimage", e.selimage);
        if (e.standard >= 0) {
            lua_pushstring(L, "standard");
            lua_pushnumber(L, e.standard);
            lua_settable(L, -3);
        }
    }
    // CreateIcon(id, {[0] = e0, [1] = e1, ...}); id < 0 passes Nil.
    int Create(int id, const std::vector<Entry> &entries) {
        return Call("CreateIcon", [&] {
            if (id < 0) lua_pushnil(L);
            else lua_pushnumber(L, id);
            lua_newtable(L);
            for (size_t i = 0; i < entries.size(); i++) {
                PushEntry(entries[i]);
                lua_rawseti(L, -2, static_cast<int>(i));
            }
        });
    }
    int Add(int id, const Entry &e) {
        return Call("AddIconImage", [&] {
            lua_pushnumber(L, id);
            PushEntry(e);
        });
    }
    int Save(int id, const std::string &file) {
        return Call("SaveIcon", [&] {
            lua_pushnumber(L, id);
            lua_pushstring(L, file.c_str());
        });
    }
    int Load(int id, const std::string &file) {
        return Call("LoadIcon", [&] {
            lua_pushnumber(L, id);
            lua_pushstring(L, file.c_str());
        });
    }
    int Cmd(const char *name, std::initializer_list<double> args) {
        return Call(name, [&] {
            for (double a : args) lua_pushnumber(L, a);
        });
    }
    cxIcon *Icon(int id) {
        cxIcon *icon = nullptr;
        EXPECT_EQ(FindIconObject(cxObjectID{id, nullptr}, &icon), 0);
        return icon;
    }
    std::vector<int> Widths(int id) {
        std::vector<int> w;
        for (cxIconEntry *e = Icon(id)->entries; e; e = e->next) w.push_back(e->width);
        return w;
    }
    int StandardPosition(int id) {
        int i = 1, found = 0;
        for (cxIconEntry *e = Icon(id)->entries; e; e = e->next, i++)
            if (e->standard) found = found ? -1 : i;
        return found;
    }
};

// The pixels an entry should hold for a pattern file: opaque without alpha.
std::vector<uint32_t> Expected(int w, int h, uint32_t seed, bool alpha) { return Pattern(w, h, seed, alpha).px; }

TEST_F(Icons, SavedIconIsTheContainerAndLoadsBackTheSame) {
    // sizes given out of order; 32 is the standard size; 16 has alpha
    ASSERT_EQ(Create(1, {{Png("b48.png", 48, 48, 5, false), Png("b48s.png", 48, 48, 6, false)},
                         {Png("a16.png", 16, 16, 1, true), Png("a16s.png", 16, 16, 2, true)},
                         {Png("c32.png", 32, 32, 3, false), Png("c32s.png", 32, 32, 4, false), 1}}),
              0);
    EXPECT_EQ(Widths(1), (std::vector<int>{16, 32, 48}));
    const std::string file = Path("saved.png");
    ASSERT_EQ(Save(1, file), 0);

    Image img;
    ASSERT_TRUE(ReadPng(file, &img));
    EXPECT_TRUE(img.alpha);
    ASSERT_EQ(img.width, 96);
    ASSERT_EQ(img.height, 1 + 17 + 33 + 49);
    for (int i = 0; i < 3; i++) EXPECT_EQ(img.at(i, 0), kMagic[i]);
    struct {
        int size;
        uint32_t flags, seed, selSeed;
        bool alpha;
    } blocks[] = {{16, 1 | 2, 1, 2, true}, {32, 1 | 4, 3, 4, false}, {48, 1, 5, 6, false}};
    int row = 1;
    for (const auto &b : blocks) {
        EXPECT_EQ(img.at(0, row), uint32_t(b.size));
        EXPECT_EQ(img.at(1, row), uint32_t(b.size));
        EXPECT_EQ(img.at(2, row), b.flags) << b.size;
        for (int x = 3; x < img.width; x++) EXPECT_EQ(img.at(x, row), 0u);
        std::vector<uint32_t> std = Expected(b.size, b.size, b.seed, b.alpha);
        std::vector<uint32_t> sel = Expected(b.size, b.size, b.selSeed, b.alpha);
        for (int y = 0; y < b.size; y++)
            for (int x = 0; x < b.size; x++) {
                ASSERT_EQ(img.at(x, row + 1 + y), std[y * b.size + x]) << b.size << " " << x << "," << y;
                ASSERT_EQ(img.at(b.size + x, row + 1 + y), sel[y * b.size + x]);
            }
        row += 1 + b.size;
    }

    ASSERT_EQ(Load(2, file), 0);
    const cxIconEntry *a = Icon(1)->entries, *b = Icon(2)->entries;
    for (; a && b; a = a->next, b = b->next) {
        EXPECT_EQ(a->width, b->width);
        EXPECT_EQ(a->height, b->height);
        EXPECT_EQ(a->transparent, b->transparent);
        EXPECT_EQ(a->standard, b->standard);
        ASSERT_NE(b->selPixels, nullptr);
        EXPECT_EQ(0, memcmp(a->pixels, b->pixels, size_t(a->width) * a->height * 4));
        EXPECT_EQ(0, memcmp(a->selPixels, b->selPixels, size_t(a->width) * a->height * 4));
    }
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    // saved again it is the same picture
    ASSERT_EQ(Save(2, Path("again.png")), 0);
    Image again;
    ASSERT_TRUE(ReadPng(Path("again.png"), &again));
    EXPECT_EQ(again.px, img.px);
}

TEST_F(Icons, AutomaticIdsAndEntriesWithoutSelectedImages) {
    ASSERT_EQ(Create(-1, {{Png("x.png", 24, 20, 9, true)}}), 0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    void *id = lua_touserdata(L, 1);
    cxIcon *icon = nullptr;
    ASSERT_EQ(FindIconObject(cxObjectID{0, id}, &icon), 0);
    ASSERT_NE(icon->entries, nullptr);
    EXPECT_EQ(icon->entries->selPixels, nullptr);
    EXPECT_EQ(icon->entries->transparent, 1u);
    ASSERT_EQ(Call("SaveIcon", [&] {
                  lua_pushlightuserdata(L, id);
                  lua_pushstring(L, Path("one.png").c_str());
              }),
              0);
    Image img;
    ASSERT_TRUE(ReadPng(Path("one.png"), &img));
    EXPECT_EQ(img.width, 24);
    EXPECT_EQ(img.height, 22);
    EXPECT_EQ(img.at(2, 1), 2u);
    ASSERT_EQ(Call("LoadIcon", [&] {
                  lua_pushnil(L);
                  lua_pushstring(L, Path("one.png").c_str());
              }),
              0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    ASSERT_EQ(Call("FreeIcon", [&] { lua_pushlightuserdata(L, id); }), 0);
    EXPECT_EQ(Call("FreeIcon", [&] { lua_pushlightuserdata(L, id); }), ERR_FINDARRAY);
}

TEST_F(Icons, EntryTablesAreChecked) {
    std::string p48 = Png("p48.png", 48, 48, 1, false), q48 = Png("q48.png", 48, 48, 2, false);
    std::string p32 = Png("p32.png", 32, 32, 3, false), a48 = Png("a48.png", 48, 48, 4, true);
    std::string p4832 = Png("p4832.png", 48, 32, 5, false);
    struct {
        const char *what;
        std::vector<Entry> entries;
        int code;
    } cases[] = {
        {"no entries", {}, ERR_WRONGUSAGE},
        {"same size twice", {{p48}, {q48}}, ERR_ICONSIZE},
        {"two standard sizes", {{p48, "", 1}, {p32, "", 1}}, ERR_ICONSTANDARD},
        {"selected of another size", {{p48, p32}}, ERR_ICONPARMS},
        {"selected with alpha, image without", {{p48, a48}}, ERR_ICONPARMS},
        {"unknown type", {{p48, "", -1, 7}}, ERR_WRONGUSAGE},
        {"no image", {{"", p48}}, ERR_MISSINGFIELD},
        {"brush that is not there", {{"12", "", -1, 3}}, ERR_FINDBRUSH},
        {"missing file", {{Path("none.png")}}, ERR_READFILE},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Create(1, c.entries), c.code) << c.what;
        EXPECT_EQ(GetIconList()->first, nullptr) << c.what;
    }
    ASSERT_EQ(Create(1, {{"", p48}}), ERR_MISSINGFIELD);
    EXPECT_EQ(Detail(), "Image");
    char text[256];
    EXPECT_STREQ(GetErrorText(ERR_MISSINGFIELD, text, sizeof text), "Table field \"Image\" must be specified!");

    // an element that is no table; a table whose first entry is not at 0
    EXPECT_EQ(Call("CreateIcon", [&] {
                  lua_pushnumber(L, 1);
                  lua_newtable(L);
                  lua_pushnumber(L, 5);
                  lua_rawseti(L, -2, 0);
              }),
              ERR_TABLEORNIL);
    EXPECT_EQ(Call("CreateIcon", [&] {
                  lua_pushnumber(L, 1);
                  lua_newtable(L);
                  PushEntry({p48});
                  lua_rawseti(L, -2, 1);
              }),
              ERR_WRONGUSAGE);
    EXPECT_EQ(Call("CreateIcon", [&] {
                  lua_pushnumber(L, 1);
                  lua_pushnumber(L, 2);
              }),
              ERR_TABEXPECTED);

    // 48 x 48 and 48 x 32 may share a width in an icon, but a file cannot
    // hold them (its widths must grow): SaveIcon refuses to write one that
    // LoadIcon would refuse, and writes nothing.
    ASSERT_EQ(Create(1, {{p48}, {p4832}}), 0);
    EXPECT_EQ(Widths(1), (std::vector<int>{48, 48}));
    EXPECT_EQ(Save(1, Path("twin.png")), ERR_ICONSIZE);
    EXPECT_NE(access(Path("twin.png").c_str(), F_OK), 0);
}

TEST_F(Icons, AddRemoveAndStandard) {
    ASSERT_EQ(Create(1, {{Png("32.png", 32, 32, 1, false)}}), 0);
    EXPECT_EQ(Cmd("RemoveIconImage", {1, 1}), ERR_WRONGUSAGE); // the only entry
    struct {
        int w, h;
        double position;
    } adds[] = {{16, 16, 1}, {64, 64, 3}, {32, 16, 3}, {8, 8, 1}};
    for (const auto &a : adds) {
        std::string name = std::to_string(a.w) + "x" + std::to_string(a.h) + ".png";
        ASSERT_EQ(Add(1, {Png(name, a.w, a.h, 2, false)}), 0) << name;
        EXPECT_EQ(Num(1), a.position) << name;
    }
    EXPECT_EQ(Widths(1), (std::vector<int>{8, 16, 32, 32, 64}));
    EXPECT_EQ(Add(1, {Png("dup.png", 16, 16, 3, false)}), ERR_ICONSIZE);

    EXPECT_EQ(Cmd("RemoveIconImage", {1, 0}), ERR_ICONENTRY);
    EXPECT_EQ(Cmd("RemoveIconImage", {1, 6}), ERR_ICONENTRY);
    ASSERT_EQ(Cmd("RemoveIconImage", {1, 3}), 0);
    EXPECT_EQ(Widths(1), (std::vector<int>{8, 16, 32, 64}));
    EXPECT_EQ(Icon(1)->entries->next->next->height, 16); // the 32 x 32 went

    ASSERT_EQ(Cmd("SetStandardIconImage", {1, 2}), 0);
    EXPECT_EQ(StandardPosition(1), 2);
    EXPECT_EQ(Add(1, {Png("s.png", 128, 128, 4, false), "", 1}), ERR_ICONSTANDARD);
    ASSERT_EQ(Cmd("SetStandardIconImage", {1, 4}), 0);
    EXPECT_EQ(StandardPosition(1), 4);
    EXPECT_EQ(Cmd("SetStandardIconImage", {1, 5}), ERR_ICONENTRY);
    EXPECT_EQ(Cmd("SetStandardIconImage", {1, -1}), ERR_ICONENTRY);
    EXPECT_EQ(StandardPosition(1), 4);
    ASSERT_EQ(Cmd("SetStandardIconImage", {1, 0}), 0);
    EXPECT_EQ(StandardPosition(1), 0);

    EXPECT_EQ(Cmd("FreeIcon", {7}), ERR_FINDICON);
    char text[256];
    EXPECT_STREQ(GetErrorText(ERR_FINDICON, text, sizeof text), "Could not find icon 7!");
    EXPECT_EQ(Cmd("RemoveIconImage", {7, 1}), ERR_FINDICON);
    EXPECT_EQ(Save(7, Path("x.png")), ERR_FINDICON);
}

TEST_F(Icons, IconWithoutEntries) {
    // a 3 x 1 file holding only the magic is an icon without entries
    Image magic;
    magic.width = 3;
    magic.height = 1;
    magic.alpha = true;
    magic.px.assign(kMagic, kMagic + 3);
    ASSERT_TRUE(WritePng(Path("empty.png"), magic));
    ASSERT_EQ(Load(1, Path("empty.png")), 0);
    EXPECT_EQ(Icon(1)->entries, nullptr);
    EXPECT_EQ(Cmd("RemoveIconImage", {1, 1}), ERR_ICONENTRY);
    EXPECT_EQ(Cmd("SetStandardIconImage", {1, 0}), 0);
    EXPECT_EQ(Cmd("SetStandardIconImage", {1, 1}), ERR_ICONENTRY);
    ASSERT_EQ(Save(1, Path("empty2.png")), 0);
    Image back;
    ASSERT_TRUE(ReadPng(Path("empty2.png"), &back));
    EXPECT_EQ(back.px, magic.px);
    EXPECT_EQ(back.width, 3);
    // loading over a used number replaces that icon
    ASSERT_EQ(Create(2, {{Png("a.png", 8, 8, 1, false)}}), 0);
    ASSERT_EQ(Load(2, Path("empty.png")), 0);
    EXPECT_EQ(Icon(2)->entries, nullptr);
}

// A container image with the magic and the given descriptor rows; each
// descriptor is followed by its rows of pattern pixels.
Image Container(int width, const std::vector<std::array<uint32_t, 3>> &descriptors, int extraRows = -1) {
    Image img;
    img.width = width;
    img.alpha = true;
    std::vector<uint32_t> row0(width, 0);
    for (int i = 0; i < 3 && i < width; i++) row0[i] = kMagic[i];
    img.px = row0;
    for (const auto &d : descriptors) {
        std::vector<uint32_t> r(width, 0x11223344);
        for (int i = 0; i < 3 && i < width; i++) r[i] = d[i];
        img.px.insert(img.px.end(), r.begin(), r.end());
        int rows = extraRows >= 0 ? extraRows : static_cast<int>(d[1]);
        for (int y = 0; y < rows; y++) img.px.insert(img.px.end(), width, 0xFF00FF00u);
        extraRows = -1;
    }
    img.height = static_cast<int>(img.px.size() / width);
    return img;
}

TEST_F(Icons, MalformedIconFilesGive1611) {
    Image noAlpha = Container(8, {{4, 2, 0}});
    noAlpha.alpha = false;
    Image badMagic = Container(8, {{4, 2, 0}});
    badMagic.px[1] = 0x00595855;
    Image narrow = Container(2, {});
    struct {
        const char *what;
        Image img;
    } cases[] = {
        {"no alpha channel", noAlpha},
        {"wrong magic", badMagic},
        {"narrower than the magic", narrow},
        {"entry wider than the image", Container(8, {{9, 2, 0}})},
        {"entry taller than the rows left", Container(8, {{4, 5, 0}}, 3)},
        {"widths not growing", Container(8, {{4, 2, 0}, {4, 2, 0}})},
        {"widths shrinking", Container(8, {{6, 2, 0}, {4, 2, 0}})},
        {"selected image beyond the image", Container(8, {{5, 2, 1}})},
        {"zero width", Container(8, {{0, 2, 0}})},
        {"zero height", Container(8, {{4, 0, 0}, {5, 1, 0}})},
        {"two standard sizes", Container(8, {{2, 1, 4}, {4, 1, 4}})},
        {"huge height", Container(8, {{4, 0xFFFFFFF0u, 0}}, 1)},
    };
    for (const auto &c : cases) {
        std::string file = Path("bad.png");
        ASSERT_TRUE(WritePng(file, c.img)) << c.what;
        SetErrorDetail(nullptr);
        EXPECT_EQ(Load(1, file), ERR_LOADICON) << c.what;
        EXPECT_EQ(Detail(), file) << c.what;
        EXPECT_EQ(GetIconList()->first, nullptr);
    }
    char text[512];
    SetErrorDetail("x.png");
    EXPECT_STREQ(GetErrorText(ERR_LOADICON, text, sizeof text), "Icon file \"x.png\" is in an unknown/unsupported format!");
    // the good one of the same shapes loads
    ASSERT_TRUE(WritePng(Path("good.png"), Container(8, {{2, 1, 4}, {4, 2, 3}})));
    ASSERT_EQ(Load(1, Path("good.png")), 0);
    EXPECT_EQ(Widths(1), (std::vector<int>{2, 4}));
    EXPECT_EQ(Icon(1)->entries->standard, 1u);
    EXPECT_EQ(Icon(1)->entries->next->transparent, 1u);
    EXPECT_NE(Icon(1)->entries->next->selPixels, nullptr);
    // not an image at all: the loader's own error
    FILE *f = fopen(Path("text.png").c_str(), "w");
    fputs("not a picture", f);
    fclose(f);
    EXPECT_EQ(Load(2, Path("text.png")), ERR_LOADPICTURE2);
}

TEST_F(Icons, OldAppletsCannotCreateOrLoad) {
    cxApplet *applet = NewApplet();
    ASSERT_NE(applet, nullptr);
    applet->versionMajor = 7;
    SetRunningApplet(applet);
    EXPECT_EQ(Create(1, {{Png("a.png", 8, 8, 1, false)}}), ERR_OLDAPPLET);
    EXPECT_EQ(Load(1, Path("a.png")), ERR_OLDAPPLET);
    SetRunningApplet(nullptr);
    FreeApplet(applet);
}

TEST_F(Icons, PlugInsGetCopiesOfTheImages) {
    ASSERT_EQ(Create(1, {{Png("16.png", 16, 16, 1, true), Png("16s.png", 16, 16, 2, true)},
                         {Png("32.png", 32, 32, 3, false), "", 1},
                         {Png("48.png", 48, 48, 4, false)}}),
              0);
    const cxObjectID id{1, nullptr};
    cxPluginIconImage *list = nullptr;
    int count = 0;
    ASSERT_EQ(GetIconImageList(id, &list, &count), 0);
    ASSERT_EQ(count, 4);
    struct {
        int size;
        uint32_t flags, seed;
    } expected[] = {{16, 0, 1}, {16, CX_ICONIMAGE_SELECTED, 2},
                    {32, CX_ICONIMAGE_STANDARD | CX_ICONIMAGE_OPAQUE, 3}, {48, CX_ICONIMAGE_OPAQUE, 4}};
    const cxPluginIconImage *n = list;
    for (const auto &e : expected) {
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->width, e.size);
        EXPECT_EQ(n->flags, e.flags) << e.size;
        std::vector<uint32_t> px = Pattern(e.size, e.size, e.seed, e.size == 16).px;
        EXPECT_EQ(0, memcmp(n->pixels, px.data(), px.size() * 4));
        n = n->next;
    }
    // the copies outlive the icon
    ASSERT_EQ(Cmd("FreeIcon", {1}), 0);
    EXPECT_EQ(list->width, 16);
    FreeIconImageList(list);
    EXPECT_EQ(GetIconImageList(id, &list, &count), ERR_FINDICON);

    ASSERT_EQ(Create(1, {{Png("16.png", 16, 16, 1, true), Png("16s.png", 16, 16, 2, true)},
                         {Png("32.png", 32, 32, 3, false), "", 1},
                         {Png("48.png", 48, 48, 4, false)}}),
              0);
    struct {
        int w, h;
        uint32_t flags;
        int code, gotW;
        uint32_t gotFlags;
    } sizes[] = {
        {32, 32, 0, 0, 32, CX_ICONIMAGE_STANDARD | CX_ICONIMAGE_OPAQUE},
        {24, 24, 0, 0, 24, 0},                                     // 16 and 32 equally close: the first
        {24, 24, CX_ICONREQ_EXACT, ERR_ICONENTRY, 0, 0},
        {24, 24, CX_ICONREQ_NOSCALE | CX_ICONREQ_SELECTED, 0, 16, CX_ICONIMAGE_SELECTED},
        {90, 90, CX_ICONREQ_SMOOTH, 0, 90, CX_ICONIMAGE_OPAQUE},     // from the 48
        {0, 0, 0, ERR_ICONENTRY, 0, 0},
    };
    for (const auto &c : sizes) {
        cxPluginIconImage *img = nullptr;
        EXPECT_EQ(GetIconImageOfSize(id, c.w, c.h, c.flags, &img), c.code) << c.w << " " << c.flags;
        if (c.code) {
            EXPECT_EQ(img, nullptr);
            continue;
        }
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->width, c.gotW);
        EXPECT_EQ(img->height, c.gotW);
        EXPECT_EQ(img->flags, c.gotFlags) << c.w;
        FreeIconImageList(img);
    }
    // by scale of the standard size
    const double twice[2] = {2.0, 2.0};
    cxPluginIconImage *img = nullptr;
    ASSERT_EQ(GetIconImageAtScale(id, twice, 0, &img), 0);
    EXPECT_EQ(img->width, 64);
    FreeIconImageList(img);
    ASSERT_EQ(GetIconImageAtScale(id, nullptr, CX_ICONREQ_EXACT, &img), 0);
    EXPECT_EQ(img->width, 32);
    std::vector<uint32_t> px = Pattern(32, 32, 3, false).px;
    EXPECT_EQ(0, memcmp(img->pixels, px.data(), px.size() * 4));
    FreeIconImageList(img);
}

class BrushIcons : public Icons {
protected:
    void TearDown() override {
        FreeIconObjects(L);
        FreeAllBrushes(L);
        Icons::TearDown();
    }
    // Brush number id from a pattern: with an alpha channel, with a mask
    // from the transparent colour of pixel (0, 0), or plain.
    void MakeBrush(int id, const Image &img, bool alpha, bool mask = false) {
        cxBitmap *bitmap = nullptr, *bitmapMask = nullptr;
        const int32_t transparent = mask ? static_cast<int32_t>(img.px[0] & 0xFFFFFF) : -1;
        ASSERT_EQ(MakeBitmapFromARGB(img.px.data(), transparent, img.width, img.height, img.width, &bitmap,
                                     mask ? &bitmapMask : nullptr),
                  0);
        cxBitmap *a = alpha ? MakeAlphaFromARGB(img.px.data(), img.width, img.height, img.width) : nullptr;
        cxObjectID oid{id, nullptr};
        ASSERT_EQ(AddBrushRecord(&oid, CX_BRUSH_BITMAP, img.width, img.height, img.width, 0, nullptr, bitmap,
                                 mask ? CX_TRANSPARENT_BY_MASK : -1, bitmapMask, a, nullptr, nullptr),
                  0);
    }
};

TEST_F(BrushIcons, BrushEntriesTakeThePixelsWithTheirTransparency) {
    Image withAlpha = Pattern(16, 16, 1, true), plain = Pattern(32, 32, 2, false), sel = Pattern(16, 16, 3, true);
    MakeBrush(1, withAlpha, true);
    MakeBrush(2, plain, false);
    MakeBrush(3, sel, true);
    Image masked = Pattern(24, 24, 4, false);
    MakeBrush(4, masked, false, true);
    ASSERT_EQ(Create(1, {{"1", "3", -1, 3}, {"2", "", 1, 3}, {"4", "", -1, 3}}), 0);
    const cxIconEntry *e = Icon(1)->entries;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->transparent, 1u);
    EXPECT_EQ(std::vector<uint32_t>(e->pixels, e->pixels + 256), withAlpha.px);
    ASSERT_NE(e->selPixels, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(e->selPixels, e->selPixels + 256), sel.px);
    e = e->next;
    EXPECT_EQ(e->width, 24);
    EXPECT_EQ(e->transparent, 1u);
    for (int i = 0; i < 24 * 24; i++) {
        const bool clear = (masked.px[i] & 0xFFFFFF) == (masked.px[0] & 0xFFFFFF);
        ASSERT_EQ(e->pixels[i], clear ? masked.px[i] & 0xFFFFFF : masked.px[i]) << i;
    }
    e = e->next;
    EXPECT_EQ(e->transparent, 0u);
    EXPECT_EQ(e->standard, 1u);
    EXPECT_EQ(std::vector<uint32_t>(e->pixels, e->pixels + 32 * 32), plain.px);
    // selected image without alpha for an image with alpha
    MakeBrush(5, Pattern(16, 16, 5, false), false);
    EXPECT_EQ(Create(2, {{"1", "5", -1, 3}}), ERR_ICONPARMS);
    EXPECT_EQ(Create(2, {{"1", "9", -1, 3}}), ERR_FINDBRUSH);
}

TEST_F(BrushIcons, VectorBrushesStandAlone) {
    cxImageHandle *image = AllocImageHandle(40, 30);
    ASSERT_NE(image, nullptr);
    cxObjectID oid{7, nullptr};
    ASSERT_EQ(AddBrushRecord(&oid, CX_BRUSH_VECTOR, 40, 30, 40, 0, image, nullptr, -1, nullptr, nullptr, nullptr,
                             nullptr),
              0);
    MakeBrush(8, Pattern(16, 16, 1, false), false);
    ASSERT_EQ(Create(1, {{"7", "", -1, 3}}), 0);
    EXPECT_EQ(Icon(1)->entries->vector, image);
    EXPECT_EQ(Icon(1)->entries->standard, 1u);
    EXPECT_EQ(Add(1, {"8", "", -1, 3}), ERR_ICONVECTOR);
    EXPECT_EQ(Create(2, {{"8", "", -1, 3}, {"7", "", -1, 3}}), ERR_ICONVECTOR);
    EXPECT_EQ(Save(1, Path("v.png")), ERR_WRONGUSAGE);
    // the icon holds its own reference: the brush may go first
    FreeAllBrushes(L);
    EXPECT_EQ(Icon(1)->entries->vector->refCount, 1);
}

TEST_F(BrushIcons, BrushesLoadedBeforeADisplayGiveTheirKeptImage) {
    Image img = Pattern(12, 10, 6, false);
    cxImageHandle *image = AllocImageHandle(12, 10);
    ASSERT_NE(image, nullptr);
    memcpy(GetImageHandlePixels(image), img.px.data(), img.px.size() * 4);
    for (int i = 0; i < 120; i++) GetImageHandlePixels(image)[i] &= 0xFFFFFF; // no alpha: made opaque
    cxObjectID oid{1, nullptr};
    ASSERT_EQ(AddBrushRecord(&oid, CX_BRUSH_BITMAP, 12, 10, 12, 0, image, nullptr, -1, nullptr, nullptr, nullptr,
                             nullptr),
              0);
    SetKernelTags(L, CX_KTAG_PRELOADING, 1, CX_KTAG_END);
    ASSERT_EQ(Create(1, {{"1", "", -1, 3}}), 0);
    SetKernelTags(L, CX_KTAG_PRELOADING, 0, CX_KTAG_END);
    const cxIconEntry *e = Icon(1)->entries;
    EXPECT_EQ(e->transparent, 0u);
    EXPECT_EQ(std::vector<uint32_t>(e->pixels, e->pixels + 120), img.px);
}

class AppIcons : public Icons {
protected:
    void TearDown() override {
        FreeAppIcons();
        Icons::TearDown();
    }
};

TEST_F(AppIcons, SlotImagesMustHaveTheSlotsSize) {
    ASSERT_EQ(SetAppIconSlotFile("ic16x16", Png("20.png", 20, 20, 1, false).c_str()), 0);
    EXPECT_EQ(BuildAppIconImages(0), ERR_ICONDIMS);
    EXPECT_EQ(Detail(), "16x16");
    char text[256];
    EXPECT_STREQ(GetErrorText(ERR_ICONDIMS, text, sizeof text),
                 "Specified image does not match required icon dimensions (16x16)!");
    EXPECT_EQ(GetAppIconImages(), nullptr);

    EXPECT_EQ(SetAppIconSlotFile("ic17x17", "x.png"), ERR_WRONGUSAGE);
    ASSERT_EQ(SetAppIconSlotFile("IC16X16", Png("16.png", 16, 16, 1, false).c_str()), 0);
    ASSERT_EQ(SetAppIconSlotFile("ic48x48s", Png("48s.png", 48, 48, 2, true).c_str()), 0);
    ASSERT_EQ(BuildAppIconImages(0), 0);
    const cxAppIconImage *list = GetAppIconImages();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->width, 16);
    EXPECT_EQ(list->flags, 0u);
    EXPECT_EQ(list->pixels[0] >> 24, 0xFFu); // opaque
    ASSERT_NE(list->next, nullptr);
    EXPECT_EQ(list->next->width, 48);
    EXPECT_EQ(list->next->flags, uint32_t(CX_APPICON_SELECTED));
    std::vector<uint32_t> sel = Pattern(48, 48, 2, true).px;
    EXPECT_EQ(0, memcmp(list->next->pixels, sel.data(), sel.size() * 4));
    EXPECT_EQ(list->next->next, nullptr);
    // plug-ins get copies
    cxPluginIconImage *copies = nullptr;
    int count = 0;
    ASSERT_EQ(GetAppIconImageList(&copies, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(copies->next->flags, uint32_t(CX_APPICON_SELECTED));
    EXPECT_NE(copies->pixels, list->pixels);
    FreeIconImageList(copies);
}

TEST_F(AppIcons, TheAppletsDeclaredIconFillsTheSlots) {
    ASSERT_EQ(Create(1, {{Png("16.png", 16, 16, 1, false), Png("16s.png", 16, 16, 2, false)},
                         {Png("32.png", 32, 32, 3, true), "", 1},
                         {Png("20.png", 20, 20, 4, false)}}),
              0);
    ASSERT_EQ(Save(1, Path("app.png")), 0);
    // a slot file named before is dropped for the declared icon
    ASSERT_EQ(SetAppIconSlotFile("ic64x64", Path("none.png").c_str()), 0);
    cxApplet *applet = NewApplet();
    ASSERT_NE(applet, nullptr);
    auto *item = static_cast<cxPreprocItem *>(calloc(1, sizeof(cxPreprocItem)));
    item->type = 17;
    item->name = strdup(Path("app.png").c_str());
    applet->items = item;
    ASSERT_EQ(LoadAppletIcon(applet, nullptr), 0);
    FreeApplet(applet);
    struct {
        int size;
        uint32_t flags, seed;
    } expected[] = {{16, 0, 1}, {32, CX_APPICON_STANDARD, 3}, {16, CX_APPICON_SELECTED, 2}};
    const cxAppIconImage *n = GetAppIconImages();
    for (const auto &e : expected) {
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->width, e.size);
        EXPECT_EQ(n->flags, e.flags);
        std::vector<uint32_t> px = Pattern(e.size, e.size, e.seed, e.seed == 3).px;
        EXPECT_EQ(0, memcmp(n->pixels, px.data(), px.size() * 4)) << e.size;
        n = n->next;
    }
    EXPECT_EQ(n, nullptr);

    // a declared icon that is no icon file stops the start
    cxApplet *bad = NewApplet();
    auto *badItem = static_cast<cxPreprocItem *>(calloc(1, sizeof(cxPreprocItem)));
    badItem->type = 17;
    badItem->name = strdup(Png("plain.png", 16, 16, 1, true).c_str());
    bad->items = badItem;
    EXPECT_EQ(LoadAppletIcon(bad, nullptr), ERR_LOADICON);
    FreeApplet(bad);
    // no declared icon and no slot files: an empty list
    ASSERT_EQ(LoadAppletIcon(nullptr, nullptr), 0);
    EXPECT_EQ(GetAppIconImages(), nullptr);
}

} // namespace

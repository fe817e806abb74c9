// Saving anims: GIF frames and delays read back by ffprobe and the player's
// reader, Motion JPEG AVIs, anim streams from brushes, and the anim
// loader and saver plug-ins.
#include <gtest/gtest.h>

#include "engine/plugins/plugin_registry.h"
#include "images/brushes/brush.h"
#include "media/anim/anim_reader.h"
#include "media/anim/anim_save.h"
#include "tests/media/anim/anim_test_support.h"

namespace {

using cxtest::CellColour;

class AnimSave : public cxtest::AnimTest {
  protected:
    int Save(double id, const std::string &file, int format, const std::function<void()> &fill = nullptr) {
        return Call("SaveAnim", [&] {
            lua_pushnumber(L, id);
            lua_pushstring(L, file.c_str());
            lua_pushnumber(L, format);
            if (fill) {
                lua_newtable(L);
                fill();
            }
        });
    }
    // Frames of an anim file through the reader: pixel (x, y) of each, and
    // the delays.
    void ReadBack(const std::string &file, int x, int y, std::vector<uint32_t> *pixels, std::vector<int> *delays,
                  int *w = nullptr, int *h = nullptr) {
        cxAnimReader *r = nullptr;
        int fw = 0, fh = 0, frames = 0;
        ASSERT_EQ(OpenAnimFile(file.c_str(), "", "", 0, 0, &r, &fw, &fh, &frames, nullptr, nullptr), 0);
        for (int f = 0; f < frames; ++f) {
            uint32_t *px = ReadAnimReaderFrame(r, f, 0, nullptr);
            ASSERT_NE(px, nullptr);
            pixels->push_back(px[size_t(y) * fw + x] & 0xFFFFFF);
            if (delays) delays->push_back(GetAnimReaderDelay(r, f));
            FreeAnimReaderFrame(r, px);
        }
        CloseAnimReader(r);
        if (w) *w = fw;
        if (h) *h = fh;
    }
};

TEST_F(AnimSave, GifFramesAndDelays) {
    ASSERT_EQ(Load(1, Gif("in.gif", 12, 8, {100, 250, 70})), 0);
    const std::string out = dir.Path("out.gif");
    ASSERT_EQ(Save(1, out, 0), 0);
    std::vector<uint32_t> px;
    std::vector<int> delays;
    ReadBack(out, 5, 5, &px, &delays);
    ASSERT_EQ(px.size(), 3u);
    for (int f = 0; f < 3; ++f) EXPECT_EQ(px[size_t(f)], CellColour(f)) << f;
    EXPECT_EQ(delays, (std::vector<int>{100, 250, 70}));
    if (cxtest::HaveTool("ffprobe")) {
        EXPECT_EQ(cxtest::RunOutput("ffprobe -v error -show_entries frame=pkt_duration_time -of csv=p=0 '" + out + "'"),
                  "0.100000\n0.250000\n0.070000\n");
    }
    // Palette sizes from 2 to 256 only; alpha and a transparent colour
    // exclude each other; unknown formats.
    EXPECT_EQ(Save(1, out, 0, [&] { Field("colors", 1); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Save(1, out, 0, [&] { Field("colors", 257); }), ERR_WRONGUSAGE);
    EXPECT_EQ(Save(1, out, 0, [&] { Field("colors", 2); }), 0);
    EXPECT_EQ(Save(1, out, 0, [&] { Field("usealpha", 1), Field("transparency", 0); }), ERR_MASKNALPHA);
    EXPECT_EQ(Save(1, out, 2), ERR_UNKNOWNANMOUT);
    EXPECT_EQ(Save(9, out, 0), ERR_FINDANIM);
}

TEST_F(AnimSave, MotionJpegAvi) {
    ASSERT_EQ(Load(1, Gif("in.gif", 16, 8, {100, 100, 100, 100})), 0);
    const std::string out = dir.Path("out.avi");
    ASSERT_EQ(Save(1, out, 1, [&] { Field("fps", 10), Field("quality", 80); }), 0);
    const cxtest::Bytes b = cxtest::ReadBytes(out);
    ASSERT_GT(b.size(), 40u);
    EXPECT_EQ(cxtest::Le32At(b, 32), 100000u);
    EXPECT_EQ(cxtest::Le32At(b, 48), 4u);
    EXPECT_EQ(memcmp(&b[33124], "out.avi", 7), 0);  // the title: the file's name
    std::vector<uint32_t> px;
    ReadBack(out, 8, 4, &px, nullptr);
    ASSERT_EQ(px.size(), 4u);
    for (int f = 0; f < 4; ++f) EXPECT_TRUE(Near(px[size_t(f)], CellColour(f), 10)) << f;
    if (cxtest::HaveTool("ffprobe")) {
        EXPECT_EQ(cxtest::RunOutput("ffprobe -v error -count_frames -select_streams v -show_entries "
                                    "stream=codec_name,nb_read_frames -of csv=p=0 '" + out + "'"),
                  "mjpeg,4\n");
    }
}

TEST_F(AnimSave, StreamsFromBrushes) {
    // A brush larger than the stream (clipped) and a smaller one (padded).
    ASSERT_EQ(Cmd("CreateBrush", {1, 30, 20, double(CellColour(1))}), 0);
    ASSERT_EQ(Cmd("CreateBrush", {2, 4, 4, double(CellColour(2))}), 0);
    const std::string out = dir.Path("stream.gif");
    ASSERT_EQ(Call("BeginAnimStream", [&] {
                  lua_pushnil(L);
                  lua_pushstring(L, out.c_str());
                  lua_pushnumber(L, 10);
                  lua_pushnumber(L, 8);
              }),
              0);
    ASSERT_EQ(lua_type(L, 1), LUA_TLIGHTUSERDATA);
    void *stream = lua_touserdata(L, 1);
    auto write = [&](double brush, const std::function<void()> &fill) {
        return Call("WriteAnimFrame", [&] {
            lua_pushlightuserdata(L, stream);
            lua_pushnumber(L, brush);
            lua_newtable(L);
            fill();
        });
    };
    ASSERT_EQ(write(1, [&] { Field("delay", 40); }), 0);
    ASSERT_EQ(write(2, [&] { Field("delay", 50); }), 0);
    ASSERT_EQ(write(2, [&] { Field("x", CX_POS_CENTER), Field("y", CX_POS_CENTER), Field("transparency", 0xFF00FF); }),
              0);
    EXPECT_EQ(write(2, [&] { Field("colors", 300); }), ERR_WRONGUSAGE);
    EXPECT_EQ(write(9, [&] {}), ERR_FINDBRUSH);
    ASSERT_EQ(Call("FinishAnimStream", [&] { lua_pushlightuserdata(L, stream); }), 0);
    EXPECT_EQ(Call("FinishAnimStream", [&] { lua_pushlightuserdata(L, stream); }), ERR_FINDARRAY);
    EXPECT_EQ(Cmd("FinishAnimStream", {4}), ERR_FINDANIMSTREAM);

    std::vector<uint32_t> corner, centre;
    std::vector<int> delays;
    int w = 0, h = 0;
    ReadBack(out, 9, 7, &corner, &delays, &w, &h);
    ReadBack(out, 4, 3, &centre, nullptr);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 8);
    ASSERT_EQ(corner.size(), 3u);
    EXPECT_EQ(corner[0], CellColour(1));
    EXPECT_EQ(corner[1], 0u);         // padded with colour 0
    EXPECT_EQ(centre[1], 0u);         // the small brush sits at 0, 0
    EXPECT_EQ(centre[2], CellColour(2));
    EXPECT_EQ(delays[0], 40);
    EXPECT_EQ(delays[1], 50);

    // A numbered stream replaced by a new one finishes the old file.
    const std::string first = dir.Path("first.gif");
    ASSERT_EQ(Call("BeginAnimStream", [&] {
                  lua_pushnumber(L, 5);
                  lua_pushstring(L, first.c_str());
                  lua_pushnumber(L, 4);
                  lua_pushnumber(L, 4);
              }),
              0);
    ASSERT_EQ(Cmd("WriteAnimFrame", {5, 2}), 0);
    ASSERT_EQ(Call("BeginAnimStream", [&] {
                  lua_pushnumber(L, 5);
                  lua_pushstring(L, dir.Path("second.gif").c_str());
                  lua_pushnumber(L, 4);
                  lua_pushnumber(L, 4);
              }),
              0);
    const cxtest::Bytes f = cxtest::ReadBytes(first);
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.back(), 0x3B);
    // Bad sizes and names.
    EXPECT_EQ(Call("BeginAnimStream", [&] {
                  lua_pushnumber(L, 6);
                  lua_pushstring(L, "");
                  lua_pushnumber(L, 4);
                  lua_pushnumber(L, 4);
              }),
              ERR_WRONGUSAGE);
    EXPECT_EQ(Call("BeginAnimStream", [&] {
                  lua_pushnumber(L, 6);
                  lua_pushstring(L, first.c_str());
                  lua_pushnumber(L, 0);
                  lua_pushnumber(L, 4);
              }),
              ERR_WRONGUSAGE);
}

// ---- plug-ins ----

struct FakeAnim {
    int frames = 3;
};
int g_loaderFrames = 0, g_loaderClosed = 0;
void *FakeOpenAnim(const char *file, cxAnimInfo *info) {
    if (!strstr(file, ".fakeanim")) return nullptr;
    info->width = 4, info->height = 2, info->frames = 3, info->hasAlpha = 1;
    return new FakeAnim;
}
uint32_t *FakeLoadFrame(void *, int frame, cxAnimFrameRequest *request) {
    ++g_loaderFrames;
    auto *px = new uint32_t[8];
    for (int i = 0; i < 8; ++i) px[i] = (request->alphaWanted ? 0x80000000u : 0xFF000000u) | CellColour(frame);
    return px;
}
void FakeFreeFrame(uint32_t *pixels) { delete[] pixels; }
int FakeDelay(void *, int frame) { return 10 * (frame + 1); }
void FakeCloseAnim(void *anim) {
    ++g_loaderClosed;
    delete static_cast<FakeAnim *>(anim);
}

struct SavedFrame {
    int format, bytesPerRow, colours, flags, delay;
    uint32_t first;
};
std::vector<SavedFrame> g_saved;
int g_beginMode = -1, g_finished = 0;
void *FakeBegin(const char *, int, int, int mode, int, int) {
    g_beginMode = mode;
    return &g_saved;
}
int FakeWrite(void *, cxAnimFrame *f, const cxSaverFormat *) {
    const uint32_t first = f->palette ? f->palette[static_cast<const uint8_t *>(f->pixels)[0]]
                                      : static_cast<const uint32_t *>(f->pixels)[0];
    g_saved.push_back({f->format, f->bytesPerRow, f->colours, int(f->flags), f->delay, first});
    return 1;
}
int FakeFinish(void *) { return ++g_finished; }

cxPluginNode g_node{};
cxPluginNode *FakeList() { return &g_node; }

TEST_F(AnimSave, LoaderAndSaverPlugins) {
    cxPlugin p{};
    p.name = p.moduleName = "fakeanim";
    p.capabilities = CX_CAP_ANIMLOADER | CX_CAP_ANIMSAVER;
    p.OpenAnim = FakeOpenAnim;
    p.LoadFrame = FakeLoadFrame;
    p.FreeFrame = FakeFreeFrame;
    p.GetFrameDelay = FakeDelay;
    p.CloseAnim = FakeCloseAnim;
    cxSaverFormat formats[] = {{7, 1 | 4, "TRUE"}, {8, 0, "PAL"}, {0, 0, nullptr}};
    p.animFormats = formats;
    p.BeginAnimStream = FakeBegin;
    p.WriteAnimFrame = FakeWrite;
    p.FinishAnimStream = FakeFinish;
    ASSERT_EQ(AddCapabilityEntry(&p, CX_CAP_ANIMLOADER), 0);
    g_node.plugin = &p;
    SetAnimSaverPlugins(FakeList);

    ASSERT_EQ(Load(1, "/x.fakeanim", [&] { Field("loadalpha", 1); }), 0);
    cxAnim *a = Get(1);
    EXPECT_EQ(a->loader, uintptr_t(&p));
    ASSERT_EQ(a->frames, 3);
    EXPECT_EQ(FramePixel(a, 2, 1, 1), CellColour(2));
    EXPECT_NE(a->alphas[0], nullptr);
    EXPECT_EQ(GetAnimFrameDelay(a, 1), 20);
    EXPECT_EQ(g_loaderClosed, 1);
    // "inbuilt" keeps the plug-in out.
    EXPECT_EQ(Load(2, "/x.fakeanim", [&] {
                  lua_pushstring(L, "loader"), lua_pushstring(L, "inbuilt"), lua_settable(L, -3);
              }),
              ERR_READFILE);

    // A true-colour row with alpha, and a palette row.
    ASSERT_EQ(Save(1, dir.Path("o.x"), 7, [&] { Field("usealpha", 1); }), 0);
    EXPECT_EQ(g_beginMode, 4);
    ASSERT_EQ(g_saved.size(), 3u);
    EXPECT_EQ(g_saved[2].format, 7);
    EXPECT_EQ(g_saved[2].bytesPerRow, 16);
    EXPECT_EQ(g_saved[2].flags, int(CX_ANIMFRAME_ALPHA));
    EXPECT_EQ(g_saved[2].first, 0x80000000u | CellColour(2));
    EXPECT_EQ(g_saved[1].delay, 20);
    EXPECT_EQ(g_finished, 1);
    g_saved.clear();
    ASSERT_EQ(Save(1, dir.Path("o.x"), 8, [&] { Field("transparency", CellColour(0)); }), 0);
    EXPECT_EQ(g_beginMode, 1);
    ASSERT_EQ(g_saved.size(), 3u);
    EXPECT_EQ(g_saved[0].bytesPerRow, 4);
    EXPECT_EQ(g_saved[0].flags, int(CX_ANIMFRAME_TRANSPARENT));  // frame 0 has the colour
    EXPECT_EQ(g_saved[1].flags, 0);
    EXPECT_EQ(g_saved[0].first & 0xFFFFFF, CellColour(0));
    EXPECT_EQ(Save(1, dir.Path("o.x"), 8, [&] { Field("usealpha", 1); }), ERR_SAVERALPHA);
    p.BeginAnimStream = [](const char *, int, int, int, int, int) -> void * { return nullptr; };
    EXPECT_EQ(Save(1, dir.Path("o.x"), 7), ERR_SAVEANIM);
    p.disabled = 1;
    EXPECT_EQ(Save(1, dir.Path("o.x"), 7), ERR_UNKNOWNANMOUT);

    SetAnimSaverPlugins(nullptr);
    RemoveCapabilityEntry(&p, CX_CAP_ANIMLOADER);
    FreeAnimObjects();
}

}  // namespace

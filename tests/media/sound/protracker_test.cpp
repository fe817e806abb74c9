// The Protracker replayer: tick by tick beside libxmp in its Protracker
// mode, the effects whose numbers this replayer fixes, pitch and panning of
// the mix, and modules that lie about themselves.
#include <gtest/gtest.h>
#include <xmp.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/sound/protracker.h"
#include "tests/media/sound/sound_test_support.h"

namespace {

using cxsound::Bytes;
using cxsound::ModuleCell;
using cxsound::ModulePattern;
using cxsound::ModuleLayout;
using cxsound::NotePeriod;

// A replayer over a copy of the module bytes.
struct Player {
    unsigned char *file = nullptr;
    cxModulePlayer *m = nullptr;
    explicit Player(const Bytes &bytes, uint32_t rate = 48000) {
        file = static_cast<unsigned char *>(malloc(bytes.size() + 1));
        memcpy(file, bytes.data(), bytes.size());
        const size_t need = InitModulePlayer(nullptr, file, uint32_t(bytes.size()), rate);
        if (need) {
            m = static_cast<cxModulePlayer *>(calloc(1, need));
            InitModulePlayer(m, file, uint32_t(bytes.size()), rate);
        }
    }
    ~Player() {
        free(m);
        free(file);
    }
    // Renders until the next tick has run; the frames rendered.
    std::vector<int16_t> Tick() {
        const uint32_t left = m->samplesPerTick > m->tickCounter ? m->samplesPerTick - m->tickCounter : 1;
        const uint32_t frames = (left + 1) / 2;
        std::vector<int16_t> out(size_t(frames) * 2);
        RenderModuleBlock(m, out.data(), frames);
        return out;
    }
    int Row() { return QueryModulePosition(1, m, 1, 0); }
    int Position() { return QueryModulePosition(1, m, 2, 0); }
};

cxsound::ModuleSample Square(uint8_t volume = 64) {
    cxsound::ModuleSample s{"sq", {}, 0, volume, 0, 32};
    for (int i = 0; i < 32; i++) s.data.push_back(int8_t(i < 16 ? 64 : -64));
    return s;
}

ModuleLayout OnePattern(std::initializer_list<std::pair<int, std::array<ModuleCell, 4>>> rows) {
    ModuleLayout m;
    m.samples.push_back(Square());
    m.patterns.resize(2);
    for (const auto &[r, cells] : rows) m.patterns[0][r] = cells;
    m.order = {0, 1};
    return m;
}

// ---- beside libxmp ----

struct Difference {
    int ticks = 0, positionErrors = 0, periodErrors = 0, volumeErrors = 0;
    std::string first;
};

Difference CompareWithXmp(const Bytes &bytes, int ticks) {
    Difference d;
    Player ours(bytes);
    if (!ours.m) {
        d.first = "refused";
        return d;
    }
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module_from_memory(ctx, const_cast<uint8_t *>(bytes.data()), long(bytes.size())) != 0) {
        xmp_free_context(ctx);
        d.first = "libxmp refused";
        return d;
    }
    xmp_set_player(ctx, XMP_PLAYER_MODE, XMP_MODE_PROTRACKER);
    xmp_start_player(ctx, 48000, 0);
    xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    xmp_frame_info fi;
    for (int t = 0; t < ticks; t++) {
        if (xmp_play_frame(ctx) != 0) break;
        xmp_get_frame_info(ctx, &fi);
        ours.Tick();
        d.ticks++;
        auto note = [&](const std::string &what) {
            if (d.first.empty())
                d.first = "tick " + std::to_string(t) + " (pos " + std::to_string(fi.pos) + " row " +
                          std::to_string(fi.row) + " frame " + std::to_string(fi.frame) + "): " + what;
        };
        if (ours.Position() != fi.pos || ours.Row() != fi.row) {
            d.positionErrors++;
            note("at " + std::to_string(ours.Position()) + "/" + std::to_string(ours.Row()));
        }
        const cxModuleCell *cells =
            ours.m->patterns + (size_t(ours.m->order[ours.Position()]) * 64 + size_t(ours.Row())) * 4;
        for (int c = 0; c < 4; c++) {
            const cxModuleChannel &ch = ours.m->channels[c];
            const xmp_channel_info &x = fi.channel_info[c];
            const int xp = int(x.period / 4096);
            if (!ch.on || xp == 0 || x.volume == 0 || ch.outVolume == 0) continue;
            const cxModuleCell &cell = cells[c];
            const std::string cellText = " (cell " + std::to_string(cell.period) + " " + std::to_string(cell.sample) +
                                         " " + std::to_string(cell.effect) + " " + std::to_string(cell.param) + ")";
            // Two deliberate differences: arpeggio steps through its notes
            // in the order of the ticks left in the row, and vibrato moves
            // on the row's first tick too. Under vibrato the note stays
            // within the vibrato's depth of libxmp's period.
            const bool arpeggio = ch.arpOn;
            const int reach = (ch.flags & 4) ? ch.vibDepth * 255 / 128 + 1 : 1;
            const int period = (ch.flags & 4) ? ch.period : ch.outPeriod;
            if (!arpeggio && std::abs(xp - period) > reach) {
                d.periodErrors++;
                note("channel " + std::to_string(c) + " period " + std::to_string(ch.outPeriod) + " vs " +
                     std::to_string(xp) + cellText);
            }
            const int xv = x.volume > 63 ? 63 : x.volume;
            if (std::abs(xv - ch.outVolume) > 1) {
                d.volumeErrors++;
                note("channel " + std::to_string(c) + " volume " + std::to_string(ch.outVolume) + " vs " +
                     std::to_string(xv) + cellText);
            }
        }
    }
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return d;
}

TEST(Protracker, FollowsLibxmpTickByTick) {
    const Bytes demo = cxsound::MakeModule(cxsound::DemoModule(4));
    const Difference d = CompareWithXmp(demo, 4 * 64 * 6);
    EXPECT_EQ(d.ticks, 4 * 64 * 6);
    EXPECT_EQ(d.positionErrors, 0) << d.first;
    EXPECT_EQ(d.periodErrors, 0) << d.first;
    EXPECT_EQ(d.volumeErrors, 0) << d.first;
}

// Real modules: the order position and row, periods and volumes, tick by
// tick (apart from the two deliberate differences above).
TEST(Protracker, RealModulesBesideLibxmp) {
    const char *const files[] = {
        "/usr/share/games/tecnoballz/musics/tecnoballz.mod",
        "/usr/share/games/tecnoballz/musics/area1-game.mod",
        "/usr/share/games/tecnoballz/musics/high-score.mod",
        "/usr/share/games/freedroid/sound/The_Last_V8.mod",
        "/usr/share/games/freedroid/sound/dreamfish-sanxion.mod",
        "/usr/share/games/freedroid/sound/kollaps-tron.mod",
    };
    int tried = 0;
    for (const char *f : files) {
        const cxtest::Bytes bytes = cxtest::ReadBytes(f);
        if (bytes.empty()) continue;
        tried++;
        const Difference d = CompareWithXmp(Bytes(bytes.begin(), bytes.end()), 3000);
        EXPECT_EQ(d.positionErrors, 0) << f << ": " << d.first;
        EXPECT_EQ(d.periodErrors + d.volumeErrors, 0) << f << ": " << d.first;
    }
    if (!tried) GTEST_SKIP() << "no module corpus installed";
}

// ---- the numbers this replayer fixes ----

ModuleCell Note(int note, int sample = 1, int effect = 0, int param = 0) {
    return ModuleCell{NotePeriod(note), uint8_t(sample), uint8_t(effect), uint8_t(param)};
}
ModuleCell Fx(int effect, int param) { return ModuleCell{0, 0, uint8_t(effect), uint8_t(param)}; }

TEST(Protracker, PatternBreaksJumpsAndSpeeds) {
    struct Case {
        const char *what;
        ModuleCell cell;
        int wantPosition, wantRow; // after the row that holds the effect
    } cases[] = {
        {"D12 starts the next pattern at row 12", Fx(0xD, 0x12), 1, 12},
        {"D64 (past the pattern) starts at row 0", Fx(0xD, 0x64), 1, 0},
        {"D99 starts at row 0", Fx(0xD, 0x99), 1, 0},
        {"D00 starts at row 0", Fx(0xD, 0x00), 1, 0},
        {"B01 jumps to order 1", Fx(0xB, 1), 1, 0},
        {"B7F past the order table wraps to the start", Fx(0xB, 0x7F), 0, 0},
        {"B00 loops on itself", Fx(0xB, 0), 0, 0},
    };
    for (const Case &c : cases) {
        ModuleLayout m = OnePattern({{0, {c.cell, {}, {}, {}}}});
        Player p(cxsound::MakeModule(m));
        ASSERT_TRUE(p.m) << c.what;
        for (int t = 0; t < 6; t++) p.Tick(); // row 0 at speed 6
        p.Tick();                             // the next row is read
        EXPECT_EQ(p.Position(), c.wantPosition) << c.what;
        EXPECT_EQ(p.Row(), c.wantRow) << c.what;
    }

    ModuleLayout speed = OnePattern({{0, {Fx(0xF, 1), {}, {}, {}}}, {3, {Fx(0xF, 0x20), {}, {}, {}}}});
    Player p(cxsound::MakeModule(speed));
    p.Tick();
    EXPECT_EQ(p.m->speed, 1);
    for (int r = 1; r <= 3; r++) {
        p.Tick(); // one tick a row
        EXPECT_EQ(p.Row(), r);
    }
    EXPECT_EQ(p.m->tempo, 32);
    EXPECT_EQ(p.m->samplesPerTick, 96000u * 60 / (32 * 24));
}

TEST(Protracker, VolumesPanningAndArpeggioOrder) {
    ModuleLayout m = OnePattern({{0, {Note(12, 1, 0xC, 0x40), Note(12, 1, 0x0, 0x47), {}, {}}}});
    Player p(cxsound::MakeModule(m));
    // C40 gives 63: volumes run 0..63.
    p.Tick();
    EXPECT_EQ(p.m->channels[0].volume, 63);
    // Arpeggio by the ticks left in the row: y, x, the note, y, x, the note.
    const int base = NotePeriod(12), up4 = NotePeriod(16), up7 = NotePeriod(19);
    const int want[6] = {up7, up4, base, up7, up4, base};
    EXPECT_EQ(p.m->channels[1].outPeriod, want[0]);
    for (int t = 1; t < 6; t++) {
        p.Tick();
        EXPECT_EQ(p.m->channels[1].outPeriod, want[t]) << "tick " << t;
    }

    // Channels 0 and 3 sound right only, 1 and 2 left only.
    for (int c = 0; c < 4; c++) {
        ModuleLayout one = OnePattern({});
        one.patterns[0][0][c] = Note(12);
        Player q(cxsound::MakeModule(one));
        const std::vector<int16_t> out = q.Tick();
        int64_t left = 0, right = 0;
        for (size_t i = 0; i + 1 < out.size(); i += 2) left += std::abs(out[i]), right += std::abs(out[i + 1]);
        if (c == 0 || c == 3) EXPECT_TRUE(left == 0 && right > 0) << "channel " << c;
        else EXPECT_TRUE(right == 0 && left > 0) << "channel " << c;
    }
}

// A looped wave of n bytes at period p sounds at 8,363 x 428 / p / n Hz.
TEST(Protracker, PitchOfALoopedWave) {
    for (int note : {12, 19, 24, 35}) {
        ModuleLayout m = OnePattern({{0, {Note(note), {}, {}, {}}}});
        m.patterns[1][0][0] = ModuleCell{}; // the second pattern lets the note ring on
        Player p(cxsound::MakeModule(m));
        std::vector<int16_t> out(48000 * 2);
        RenderModuleBlock(p.m, out.data(), 48000);
        // Rising edges of the right channel over one second.
        int edges = 0, first = -1, last = -1;
        for (int i = 1; i < 48000; i++) {
            if (out[2 * (i - 1) + 1] < 0 && out[2 * i + 1] >= 0) {
                if (first < 0) first = i;
                last = i;
                edges++;
            }
        }
        ASSERT_GT(edges, 10);
        const double hz = (edges - 1) * 48000.0 / (last - first);
        const double want = 8363.0 * 428 / NotePeriod(note) / 32;
        EXPECT_NEAR(hz, want, want * 0.005) << "note " << note;
    }
}

TEST(Protracker, PatternCountFromTheWholeOrderTable) {
    ModuleLayout m = OnePattern({});
    m.order = {0};
    m.songLength = 1;
    Bytes bytes = cxsound::MakeModule(m);
    bytes[952 + 100] = 63; // an order entry beyond the song names pattern 63
    EXPECT_EQ(InitModulePlayer(nullptr, bytes.data(), uint32_t(bytes.size()), 48000), 0u); // too short for 64
    bytes.insert(bytes.begin() + 1084 + 2 * 1024, size_t(62) * 1024, 0);
    Player p(bytes);
    ASSERT_TRUE(p.m);
    EXPECT_EQ(p.m->patternCount, 64);
    EXPECT_EQ(p.m->songLength, 1);
}

// Modules that lie: whatever they claim, rendering stays within the data
// and the song goes on.
TEST(Protracker, HostileModulesRenderSafely) {
    using LayoutBend = std::function<void(ModuleLayout &)>;
    using ByteBend = std::function<void(Bytes &)>;
    struct Case {
        const char *what;
        LayoutBend bend;
        ByteBend bytes;
        std::function<void(Player &)> check;
    } cases[] = {
        {"song length 0", nullptr, [](Bytes &b) { b[950] = 0; }, [](Player &p) { EXPECT_EQ(p.m->songLength, 1); }},
        {"song length 200", nullptr, [](Bytes &b) { b[950] = 200; },
         [](Player &p) { EXPECT_EQ(p.m->songLength, 128); }},
        {"sample number 45", [](ModuleLayout &m) { m.patterns[0][0][0] = Note(12, 45); }, nullptr, nullptr},
        {"9xx past the sample", [](ModuleLayout &m) { m.patterns[0][0][0] = Note(12, 1, 9, 0xF0); }, nullptr,
         [](Player &p) { EXPECT_EQ(p.m->channels[0].on, 0u); }},
        {"a loop past a cut sample", nullptr,
         [](Bytes &b) {
             b[20 + 26] = 0x10; // loop start of sample 1 far beyond its 32 bytes
             b[20 + 29] = 0x40;
         },
         nullptr},
        {"a sample longer than the file", nullptr, [](Bytes &b) { b[20 + 22] = 0x7F; }, nullptr},
        {"nested pattern loops",
         [](ModuleLayout &m) {
             m.patterns[0][0][0] = Fx(0xE, 0x60);
             m.patterns[0][0][1] = Fx(0xE, 0x60);
             m.patterns[0][1][0] = Fx(0xE, 0x63);
             m.patterns[0][2][1] = Fx(0xE, 0x62);
         },
         nullptr, nullptr},
        {"B00 on the first row", [](ModuleLayout &m) { m.patterns[0][0][1] = Fx(0xB, 0); }, nullptr, nullptr},
        {"funk repeat", [](ModuleLayout &m) { m.patterns[0][0][1] = Note(12, 1, 0xE, 0xFF); }, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        ModuleLayout m = OnePattern({{0, {Note(12), {}, {}, {}}}});
        m.samples[0].loopStart = 2;
        m.samples[0].loopLength = 30;
        if (c.bend) c.bend(m);
        Bytes bytes = cxsound::MakeModule(m);
        if (c.bytes) c.bytes(bytes);
        Player p(bytes);
        ASSERT_TRUE(p.m) << c.what;
        std::vector<int16_t> out(48000 * 2);
        for (int s = 0; s < 10; s++) RenderModuleBlock(p.m, out.data(), 48000); // ten seconds
        if (c.check) c.check(p);
    }
}

// Advancing without a buffer never writes the module's bytes: funk repeat
// inverts sample bytes only while it renders sound.
TEST(Protracker, AdvancingAloneLeavesTheModuleAlone) {
    ModuleLayout m = OnePattern({});
    for (int r = 0; r < 64; r++) m.patterns[0][r][0] = Note(12, 1, 0xE, 0xFF);
    m.samples[0].loopStart = 2;
    m.samples[0].loopLength = 30;
    const Bytes bytes = cxsound::MakeModule(m);
    Player p(bytes);
    RenderModuleBlock(p.m, nullptr, 48000 * 3);
    EXPECT_EQ(memcmp(p.file, bytes.data(), bytes.size()), 0);
    std::vector<int16_t> out(48000 * 2);
    RenderModuleBlock(p.m, out.data(), 48000);
    EXPECT_NE(memcmp(p.file, bytes.data(), bytes.size()), 0);
}

TEST(Protracker, PendingPositionsAndQueries) {
    ModuleLayout m = OnePattern({});
    m.patterns.resize(3);
    m.order = {0, 1, 2};
    Player p(cxsound::MakeModule(m));
    p.Tick();
    EXPECT_EQ(QueryModulePosition(0, p.m, 1, 0), -1); // on no channel
    EXPECT_EQ(QueryModulePosition(1, p.m, 0, 2), 0);
    p.Tick();
    EXPECT_EQ(p.Position(), 2);
    EXPECT_EQ(p.Row(), 0);
    QueryModulePosition(1, p.m, 0, 99); // past the song: from the start
    p.Tick();
    EXPECT_EQ(p.Position(), 0);
}

}  // namespace

#include "shell/applet.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "errors/errors.h"
#include "streams/chunk_names.h"
#include "tests/shell/test_files.h"
#include "tools/applet-writer/applet_writer.h"

namespace {

using cxtest::Bytes;
using cxtest::TempDir;
using cxtools::AppletWriter;

struct AppletFree {
    void operator()(cxApplet *a) const { FreeApplet(a); }
};
using AppletPtr = std::unique_ptr<cxApplet, AppletFree>;

Bytes B(const std::string &s) { return Bytes(s.begin(), s.end()); }

AppletWriter FullApplet(bool packed) {
    AppletWriter w;
    w.SetPacked(packed);
    w.SetInfo(0, "Demo");
    w.SetInfo(1, "$VER: demo 1.0");
    w.SetInfo(5, "Grüße");
    w.AddVersion(9, 2);
    w.AddIdentifier("com.example.demo");
    cxtools::DeclaredItem display{21, 1, "Main window", {{"width", 1, 640, ""}, {"title", 2, 0, "Hello"}}};
    cxtools::DeclaredItem brush{3, 7, "gfx/pic.png", {{"palette", 3, 0, std::string("\0\1\2", 3)}}};
    w.AddItem(display);
    w.AddItem(brush, packed);
    w.AddFile("gfx/pic.png", B("PNGDATA"));
    w.AddFont("Serif.ttf", B("FONT"));
    w.AddLabel("start", 12);
    w.AddInclude("lib.cxs", 10, 5, 1);
    w.AddMainChunk(B("\x1b" "CXB chunk bytes"), packed);
    return w;
}

class Applet : public ::testing::Test {
protected:
    int Read(const Bytes &file, uint64_t base = 0, int skipInfo = 0) {
        path_ = dir_.Path("a.cxa");
        cxtest::WriteBytes(path_, file);
        applet_.reset(NewApplet());
        return ReadAppletHeader(applet_.get(), path_.c_str(), base, skipInfo);
    }
    int ReadAll(const Bytes &file) {
        int err = Read(file);
        return err ? err : LoadApplet(applet_.get());
    }
    TempDir dir_;
    std::string path_;
    AppletPtr applet_;
};

void ExpectFullApplet(const cxApplet *a) {
    EXPECT_STREQ(a->info[0], "Demo");
    EXPECT_STREQ(a->info[1], "$VER: demo 1.0");
    EXPECT_STREQ(a->info[2], "");
    EXPECT_STREQ(a->info[5], "Grüße");
    EXPECT_EQ(a->versionMajor, 9);
    EXPECT_EQ(a->versionMinor, 2);
    EXPECT_STREQ(a->identifier, "com.example.demo");

    const cxPreprocItem *display = a->items;
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(display->type, 21u);
    EXPECT_EQ(display->id, 1);
    EXPECT_STREQ(display->name, "Main window");
    ASSERT_NE(display->tags, nullptr);
    EXPECT_STREQ(display->tags->key, "width");
    EXPECT_EQ(display->tags->kind, CX_TAG_NUMBER);
    EXPECT_EQ(display->tags->number, 640);
    ASSERT_NE(display->tags->next, nullptr);
    EXPECT_EQ(display->tags->next->kind, CX_TAG_STRING);
    EXPECT_STREQ(display->tags->next->text, "Hello");
    const cxPreprocItem *brush = display->next;
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(brush->type, 3u);
    EXPECT_EQ(brush->tags->kind, CX_TAG_DATA);
    EXPECT_EQ(brush->tags->size, 3u);
    EXPECT_EQ(memcmp(brush->tags->text, "\0\1\2", 3), 0);
    EXPECT_EQ(brush->next, nullptr);

    ASSERT_NE(a->files, nullptr);
    EXPECT_STREQ(a->files->name, "gfx/pic.png");
    EXPECT_EQ(a->files->length, 7u);
    ASSERT_NE(a->fonts, nullptr);
    EXPECT_STREQ(a->fonts->name, "Serif.ttf");
    ASSERT_NE(a->labels, nullptr);
    EXPECT_STREQ(a->labels->name, "start");
    EXPECT_EQ(a->labels->position, 12);
    EXPECT_TRUE(a->hasMainChunk);
}

TEST_F(Applet, PlainAppletRoundTrip) {
    ASSERT_EQ(ReadAll(FullApplet(false).Build()), 0);
    EXPECT_FALSE(applet_->packed);
    ExpectFullApplet(applet_.get());
    EXPECT_EQ(applet_->chunkData, nullptr);
    EXPECT_EQ(applet_->chunkLength, 16u);

    // A linked file opens as a window of the applet.
    char name[CX_STREAM_NAME_MAX];
    const char *resolved = ResolveFileNameArg(applet_.get(), "GFX/PIC.PNG", name, sizeof name);
    cxStream *s = OpenFileStream(resolved, CX_STREAM_READ, nullptr);
    ASSERT_NE(s, nullptr);
    char data[16] = {};
    EXPECT_EQ(ReadStreamData(s, data, sizeof data), 7u);
    EXPECT_STREQ(data, "PNGDATA");
    CloseFileStream(s);
}

TEST_F(Applet, PackedAppletRoundTrip) {
    ASSERT_EQ(ReadAll(FullApplet(true).Build()), 0);
    EXPECT_TRUE(applet_->packed);
    ExpectFullApplet(applet_.get());
    ASSERT_NE(applet_->chunkData, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(applet_->chunkData), applet_->chunkSize),
              "\x1b" "CXB chunk bytes");
}

TEST_F(Applet, AppletInsideALargerFile) {
    Bytes file(5000, 0xCC);
    Bytes applet = FullApplet(false).Build();
    file.insert(file.end(), applet.begin(), applet.end());
    ASSERT_EQ(Read(file, 5000), 0);
    ASSERT_EQ(LoadApplet(applet_.get()), 0);
    ExpectFullApplet(applet_.get());
    char name[CX_STREAM_NAME_MAX];
    const char *resolved = ResolveFileNameArg(applet_.get(), "gfx/pic.png", name, sizeof name);
    cxChunkName parts;
    ASSERT_TRUE(ParseChunkName(resolved, &parts));
    EXPECT_EQ(parts.offset, 5000 + applet_->files->offset);
    EXPECT_EQ(file[parts.offset], 'P');
}

TEST_F(Applet, HeaderErrors) {
    Bytes good = FullApplet(false).Build();
    const std::pair<Bytes, int> cases[] = {
        {Bytes{'C', 'X', 'A'}, ERR_NOAPPLET},  // shorter than the mark
        {Bytes{}, ERR_NOAPPLET},
        {Bytes{'C', 'X', 'A', 1, 0, 0}, ERR_NOAPPLET},
        {Bytes{'C', 'X', 'B', 0}, ERR_NOAPPLET},
        {Bytes{'X', 'C', 'A', 0}, ERR_NOAPPLET},
        {Bytes{'c', 'x', 'a', 0}, ERR_NOAPPLET},
        {Bytes(good.begin(), good.begin() + 1000), ERR_READFILE},  // info block cut
        {Bytes{'C', 'X', 'Z', 0, 0, 0}, ERR_READFILE},              // packed item length cut
        {Bytes{'C', 'X', 'Z', 0, 0, 0, 0, 4}, ERR_FILEFORMAT},  // item shorter than its header
        {Bytes{'C', 'X', 'Z', 0, 0, 0, 1, 0}, ERR_FILEFORMAT},  // item past the file
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Read(c.first), c.second) << c.first.size();
    }
    applet_.reset(NewApplet());
    std::string missing = dir_.Path("missing.cxa");
    EXPECT_EQ(ReadAppletHeader(applet_.get(), missing.c_str(), 0, 0), ERR_FILEEXIST);
    EXPECT_EQ(GetErrorDetail(), missing);
    EXPECT_EQ(Read(Bytes{'C', 'X', 'A', 9}), ERR_NOAPPLET);
    EXPECT_EQ(GetErrorDetail(), path_);
    // A cut file is named in the report.
    EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + 1000)), ERR_READFILE);
    EXPECT_EQ(GetErrorDetail(), path_);
}

// A folder is no applet, and a file that is there but cannot be read says
// so: neither "does not exist".
TEST_F(Applet, FolderAndUnreadableFileAreNamedForWhatTheyAre) {
    applet_.reset(NewApplet());
    const std::string folder = dir_.Path("folder.cxa");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(ReadAppletHeader(applet_.get(), folder.c_str(), 0, 0), ERR_NOAPPLET);
    EXPECT_EQ(GetErrorDetail(), folder);
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const std::string locked = dir_.Path("locked.cxa");
    cxtest::WriteBytes(locked, FullApplet(false).Build());
    chmod(locked.c_str(), 0);
    EXPECT_EQ(ReadAppletHeader(applet_.get(), locked.c_str(), 0, 0), ERR_READFILE);
    EXPECT_EQ(GetErrorDetail(), locked);
}

TEST_F(Applet, InfoBlockOpcodes) {
    struct Case {
        Bytes ops;
        std::array<const char *, 6> info;
    };
    const Case cases[] = {
        {{9, 11, 'a', 0}, {"", "", "", "", "", ""}},  // first opcode below 10
        {{11, 'a', 0, 36, 12, 'b', 0}, {"a", "", "", "", "", ""}},
        {{10, 11, 0, 29, 13, 'c', 0, 14, 'd', 0, 15, 'e', 0, 34, 'f', 0}, {"", "", "c", "d", "e", "f"}},
        {{12, 0xFF, 'x', 0}, {"", "$x", "", "", "", ""}},
        {{35, 1, 11, 0xE9, 't', 0xE9, 0, 35, 0, 13, 0xC3, 0xA9, 0}, {"\xC3\xA9t\xC3\xA9", "", "\xC3\xA9", "", "", ""}},
        {{35, 1, 12, 0xFF, 0xFF, 0}, {"", "$\xC3\xBF", "", "", "", ""}},
        {{11, 'o', 'l', 'd', 0, 11, 'n', 'e', 'w', 0}, {"new", "", "", "", "", ""}},
        {{10}, {"", "", "", "", "", ""}},
        {{35}, {"", "", "", "", "", ""}},
    };
    for (const Case &c : cases) {
        AppletWriter w;
        w.SetRawInfo(c.ops);
        ASSERT_EQ(Read(w.Build()), 0);
        for (int i = 0; i < 6; i++) EXPECT_STREQ(applet_->info[i], c.info[i]) << i;
    }
}

TEST_F(Applet, InfoStringsAreBounded) {
    // 254 ASCII bytes then a two-byte character: the character does not fit.
    Bytes ops = {11};
    ops.insert(ops.end(), 254, 'a');
    ops.insert(ops.end(), {0xC3, 0xA9, 'z', 0});
    // A string without its NUL runs to the end of the block only.
    ops.push_back(34);
    ops.insert(ops.end(), 2048 - 4 - ops.size(), 'q');
    AppletWriter w;
    w.SetRawInfo(ops);
    ASSERT_EQ(Read(w.Build()), 0);
    EXPECT_EQ(std::string(applet_->info[0]), std::string(254, 'a'));
    EXPECT_EQ(strlen(applet_->info[5]), 255u);

    // Converted ISO-8859-1 doubles in length and is cut between characters.
    Bytes iso = {35, 1, 13};
    iso.insert(iso.end(), 300, 0xE4);
    iso.push_back(0);
    w.SetRawInfo(iso);
    ASSERT_EQ(Read(w.Build()), 0);
    EXPECT_EQ(strlen(applet_->info[2]), 254u);
    EXPECT_EQ(static_cast<unsigned char>(applet_->info[2][252]), 0xC3);

    // The parser never looks past the size it is given.
    cxApplet *a = NewApplet();
    const unsigned char block[6] = {'C', 'X', 'A', 0, 11, 'x'};
    ParseAppletInfoBlock(a, block, sizeof block);
    EXPECT_STREQ(a->info[0], "x");
    FreeApplet(a);
}

// An empty plain identifier section is an empty identifier (its payload
// has no bytes, so no pointer either).
TEST_F(Applet, EmptyIdentifierSection) {
    AppletWriter w;
    w.AddSection("IDNT", Bytes{});
    ASSERT_EQ(ReadAll(w.Build()), 0);
    ASSERT_NE(applet_->identifier, nullptr);
    EXPECT_STREQ(applet_->identifier, "");
}

TEST_F(Applet, SectionErrors) {
    auto build = [](auto edit) {
        AppletWriter w;
        w.AddVersion(8, 0);
        edit(w);
        return w.Build();
    };
    struct Case {
        const char *what;
        Bytes file;
        int error;
    };
    std::vector<Case> cases = {
        {"unknown tag", build([](AppletWriter &w) { w.AddSection("WHAT", B("x")); }), ERR_UNKNOWNSEC},
        {"no end mark", build([](AppletWriter &w) { w.SetEndMark(false); }), ERR_READFILE},
        {"packed file", build([](AppletWriter &w) { w.AddSection("FILE", B("\0\1xdata"), true); }), ERR_FILEFORMAT},
        {"two chunks", build([](AppletWriter &w) {
             w.AddMainChunk(B("a"));
             w.AddMainChunk(B("b"));
         }),
         ERR_FILEFORMAT},
        {"two versions", build([](AppletWriter &w) { w.AddVersion(1, 0); }), ERR_FILEFORMAT},
        {"short version", build([](AppletWriter &w) { w.AddSection("VERS", B("\0\1\0")); }), ERR_FILEFORMAT},
        {"identifier with NUL", build([](AppletWriter &w) { w.AddSection("IDNT", Bytes{'a', 0, 'b'}); }),
         ERR_FILEFORMAT},
        {"item cut", build([](AppletWriter &w) { w.AddSection("ITEM", Bytes{0, 0, 0, 3, 0, 0}); }), ERR_FILEFORMAT},
        {"item tag kind", build([](AppletWriter &w) {
             w.AddSection("ITEM", Bytes{0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 'k', 9});
         }),
         ERR_FILEFORMAT},
        {"item string past its end", build([](AppletWriter &w) {
             w.AddSection("ITEM", Bytes{0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 'k', 2, 0x7F, 0xFF, 0xFF, 0xFF});
         }),
         ERR_FILEFORMAT},
        {"item trailing bytes", build([](AppletWriter &w) {
             w.AddSection("ITEM", Bytes{0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0xEE});
         }),
         ERR_FILEFORMAT},
        {"file name past its end", build([](AppletWriter &w) { w.AddSection("FILE", Bytes{0, 9, 'a'}); }),
         ERR_FILEFORMAT},
        {"file without name", build([](AppletWriter &w) { w.AddSection("FONT", Bytes{0, 0, 'a'}); }),
         ERR_FILEFORMAT},
        {"label cut", build([](AppletWriter &w) { w.AddSection("LABL", Bytes{0, 1, 'x', 0}); }), ERR_FILEFORMAT},
        {"include cut", build([](AppletWriter &w) { w.AddSection("INCL", Bytes{0, 1, 'x', 0, 0, 0, 1}); }),
         ERR_FILEFORMAT},
        {"end with payload", build([](AppletWriter &w) {
             w.SetEndMark(false);
             w.AddSection("END ", B("x"));
         }),
         ERR_FILEFORMAT},
    };
    Bytes flags = build([](AppletWriter &) {});
    flags[2048 + 7] = 4;  // an unknown flag bit on the version section
    cases.push_back({"flags", flags, ERR_FILEFORMAT});
    Bytes length = build([](AppletWriter &) {});
    length[2048 + 8] = 0x7F;  // a length far past the file
    cases.push_back({"length", length, ERR_READFILE});
    Bytes sizes = build([](AppletWriter &) {});
    sizes[2048 + 15] = 5;  // a plain section whose two sizes differ
    cases.push_back({"sizes", sizes, ERR_FILEFORMAT});
    for (const Case &c : cases) {
        EXPECT_EQ(ReadAll(c.file), c.error) << c.what;
        // A failed load leaves nothing half-read behind.
        EXPECT_EQ(applet_->items, nullptr) << c.what;
        EXPECT_EQ(applet_->hasMainChunk, 0) << c.what;
    }
    EXPECT_EQ(ReadAll(build([](AppletWriter &w) { w.AddSection("WHAT", B("x")); })), ERR_UNKNOWNSEC);
    EXPECT_STREQ(GetErrorDetail(), "WHAT");
}

TEST_F(Applet, PackedSectionOfTheWrongSize) {
    AppletWriter w;
    w.AddSection("LABL", B(std::string("\0\1x\0\0\0\1", 7)), true);
    Bytes file = w.Build();
    ASSERT_EQ(ReadAll(file), 0);
    ASSERT_NE(applet_->labels, nullptr);
    for (int delta : {-1, 1}) {
        Bytes bad = file;
        bad[2048 + 15] = static_cast<unsigned char>(7 + delta);  // the unpacked size
        EXPECT_EQ(ReadAll(bad), ERR_FILEFORMAT) << delta;
    }
    Bytes hostile = file;
    hostile[2048 + 12] = 0xFF;  // asks for 4 GiB
    EXPECT_EQ(ReadAll(hostile), ERR_FILEFORMAT);
    // A size below the reader's limit but far beyond what the packed bytes
    // can hold is refused as well, before memory is set aside for it.
    Bytes amplified = file;
    amplified[2048 + 12] = 0x0C;  // 200 MiB from a few bytes
    EXPECT_EQ(ReadAll(amplified), ERR_FILEFORMAT);
    Bytes corrupt = file;
    corrupt[2048 + 16 + 10] ^= 0xFF;  // inside the zlib stream
    EXPECT_NE(ReadAll(corrupt), 0);
}

TEST_F(Applet, EveryTruncationFailsCleanly) {
    for (bool packed : {false, true}) {
        Bytes good = FullApplet(packed).Build();
        for (size_t n = 0; n < good.size(); n++) {
            Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
            EXPECT_NE(ReadAll(cut), 0) << n;
        }
        EXPECT_EQ(ReadAll(good), 0);
    }
}

TEST_F(Applet, CorruptedBytesNeverCrash) {
    Bytes good = FullApplet(true).Build();
    uint32_t seed = 12345;
    for (int round = 0; round < 400; round++) {
        Bytes bad = good;
        for (int k = 0; k < 3; k++) {
            seed = seed * 1103515245 + 12345;
            size_t at = (seed >> 8) % bad.size();
            seed = seed * 1103515245 + 12345;
            bad[at] = static_cast<unsigned char>(seed >> 16);
        }
        ReadAll(bad);  // any result; ASan and the leak checker judge
    }
}

TEST_F(Applet, IncludeLinesAndVersions) {
    AppletWriter w;
    w.AddInclude("main.cxs", 1, 9, 1);
    w.AddInclude("lib.cxs", 10, 5, 1);
    w.AddInclude("main.cxs", 15, 100, 10);
    ASSERT_EQ(ReadAll(w.Build()), 0);
    const char *file;
    int line;
    EXPECT_TRUE(MapIncludeLine(applet_.get(), 12, &file, &line));
    EXPECT_STREQ(file, "lib.cxs");
    EXPECT_EQ(line, 3);
    EXPECT_TRUE(MapIncludeLine(applet_.get(), 15, &file, &line));
    EXPECT_STREQ(file, "main.cxs");
    EXPECT_EQ(line, 10);
    EXPECT_FALSE(MapIncludeLine(applet_.get(), 500, &file, &line));
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(line, 500);
    // Without a version section the applet counts as 8.0.
    EXPECT_TRUE(CheckAppletVersion(applet_.get(), 8, 0));
    EXPECT_TRUE(CheckAppletVersion(applet_.get(), 7, 9));
    EXPECT_FALSE(CheckAppletVersion(applet_.get(), 8, 1));
    EXPECT_FALSE(CheckAppletVersion(applet_.get(), 9, 0));
}

}  // namespace

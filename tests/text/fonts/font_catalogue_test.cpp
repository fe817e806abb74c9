#include "text/fonts/font_catalogue.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "tests/text/fonts/font_fixtures.h"
#include "text/fonts/font.h"
#include "text/fonts/truetype_engine.h"

using fontfix::TempDir;

namespace {

const std::string kVeraDir = "/usr/share/fonts/truetype/ttf-bitstream-vera/";
const std::string kCollection = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override {
        FreeAvailableFontList();
        ClearFontPaths();
    }
    void TearDown() override {
        FreeAvailableFontList();
        ClearFontPaths();
        StopFontEngines();
    }
    static std::vector<const cxAvailableFont *> Named(const std::string &fullName) {
        std::vector<const cxAvailableFont *> out;
        for (const cxAvailableFont *f = GetAvailableFontList(); f; f = f->next)
            if (fullName == f->fullName) out.push_back(f);
        return out;
    }
    static void Copy(const std::string &from, const std::string &to) { fontfix::WriteFile(to, fontfix::ReadFile(from)); }
};

// An sfnt holding only a 'name' table with the given records {platform,
// encoding, language, name id, text}.
struct NameRecord {
    uint16_t platform, encoding, language, id;
    std::string text;
};
std::vector<uint8_t> NameOnlyFont(const std::vector<NameRecord> &records, uint32_t version = 0x00010000) {
    fontfix::Bytes f;
    f.U32(0, version);
    f.U16(4, 1);
    const size_t table = 12 + 16;
    std::memcpy(&(f.At(table), f.b)[12], "name", 4);
    f.U32(12 + 8, uint32_t(table));
    f.U16(table, 0);
    f.U16(table + 2, uint32_t(records.size()));
    const size_t storage = 6 + 12 * records.size();
    f.U16(table + 4, uint32_t(storage));
    size_t text = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const NameRecord &r = records[i];
        const size_t o = table + 6 + 12 * i;
        f.U16(o, r.platform);
        f.U16(o + 2, r.encoding);
        f.U16(o + 4, r.language);
        f.U16(o + 6, r.id);
        f.U16(o + 8, uint32_t(r.text.size()));
        f.U16(o + 10, uint32_t(text));
        f.Put(table + storage + text, std::vector<uint8_t>(r.text.begin(), r.text.end()));
        text += r.text.size();
    }
    f.U32(12 + 12, uint32_t(storage + text));
    return f.b;
}

std::string Utf16(const std::string &s) {
    std::string out;
    for (char c : s) out += std::string{'\0', c};
    return out;
}

TEST_F(Catalogue, StyleWords) {
    const struct {
        const char *style;
        int32_t weight, slant;
    } cases[] = {
        {"", 80, 0},           {"Roman", 80, 0},         {"Bold", 200, 0},          {"bold italic", 200, 100},
        {"Light Oblique", 50, 110}, {"Extra-Light", 40, 0}, {"Semi Bold", 200, 0},   {"Demi", 180, 0},
        {"ultrablack", 215, 0}, {"Medium", 100, 0},      {"Book", 75, 0},           {"Thin Italic", 0, 100},
        {"Condensed", 80, 0},  {"Heavy", 210, 0},
    };
    for (const auto &c : cases) {
        int32_t w, s;
        ParseStyleWords(c.style, &w, &s);
        EXPECT_EQ(w, c.weight) << c.style;
        EXPECT_EQ(s, c.slant) << c.style;
    }
    for (const char *r : {"Regular", "PLAIN", "normal", "Book", "roman"}) EXPECT_EQ(IsRegularStyleName(r), 1) << r;
    for (const char *r : {"Bold", "", "Regular Italic"}) EXPECT_EQ(IsRegularStyleName(r), 0) << r;
}

TEST_F(Catalogue, ReadsNameRecords) {
    TempDir dir;
    struct Case {
        const char *what;
        std::vector<NameRecord> records;
        uint32_t version;
        int result;
        const char *family, *style;
    };
    const std::vector<Case> cases = {
        {"mac english only", {{1, 0, 0, 1, "Mac Face"}, {1, 0, 0, 2, "Italic"}}, 0x00010000, 1, "Mac Face", "Italic"},
        {"windows utf-16", {{3, 1, 0x0409, 1, Utf16("Win Face")}, {3, 1, 0x0409, 2, Utf16("Bold")}}, 0x00010000, 1,
         "Win Face", "Bold"},
        {"other languages skipped",
         {{3, 1, 0x0407, 1, Utf16("Deutsch")}, {1, 0, 5, 1, "Mac other"}, {3, 1, 0x0809, 1, Utf16("British")}},
         0x00010000, 1, "British", ""},
        {"later records replace", {{1, 0, 0, 1, "First"}, {0, 3, 0, 1, "Second"}}, 0x74727565, 1, "Second", ""},
        {"no family", {{1, 0, 0, 2, "Bold"}}, 0x00010000, 0, "", "Bold"},
        {"too long", {{1, 0, 0, 1, std::string(600, 'x')}}, 0x00010000, 0, "", ""},
        {"not an sfnt", {{1, 0, 0, 1, "X"}}, 0x12345678, 0, "", ""},
    };
    for (const Case &c : cases) {
        fontfix::WriteFile(dir / "f.ttf", NameOnlyFont(c.records, c.version));
        cxStream *s = OpenFileStream((dir / "f.ttf").c_str(), CX_STREAM_READ, nullptr);
        ASSERT_NE(s, nullptr);
        char family[256], style[256];
        EXPECT_EQ(ReadTrueTypeNames(s, family, style, 0, 0), c.result) << c.what;
        if (c.result) {
            EXPECT_STREQ(family, c.family) << c.what;
            EXPECT_STREQ(style, c.style) << c.what;
        }
        CloseFileStream(s);
    }
}

TEST_F(Catalogue, ScansFoldersFirstEntryWins) {
    TempDir a, b;
    Copy(kVeraDir + "Vera.ttf", a / "Vera.ttf");
    Copy(kVeraDir + "VeraBd.ttf", a / "VeraBd.ttf");
    Copy(kVeraDir + "Vera.ttf", b / "VeraCopy.TTF");
    fontfix::WriteFile(b / "Mac.ttf", NameOnlyFont({{1, 0, 0, 1, "Mac Face"}, {1, 0, 0, 2, "Regular"}}));
    fontfix::WriteFile(b / "x.ttf", {}); // too short a name and empty: skipped
    fontfix::WriteFile(b / "junk.otf", std::vector<uint8_t>(100, 7));
    ASSERT_EQ(mkdir((b / "sub").c_str(), 0755), 0);
    Copy(kVeraDir + "VeraSe.ttf", b / "sub/VeraSe.ttf");
    ASSERT_EQ(ScanFontFolder(a.path().c_str(), 0, 0), 0);
    ASSERT_EQ(ScanFontFolder(b.path().c_str(), 0, 0), 0);
    // The regular face twice: with its style and under its family alone.
    ASSERT_EQ(Named("Bitstream Vera Sans Roman").size(), 1u);
    ASSERT_EQ(Named("Bitstream Vera Sans").size(), 1u);
    EXPECT_EQ(std::string(Named("Bitstream Vera Sans")[0]->path), a / "Vera.ttf");
    EXPECT_EQ(Named("Bitstream Vera Sans Roman")[0]->weight, 80);
    ASSERT_EQ(Named("Bitstream Vera Sans Bold").size(), 1u);
    EXPECT_EQ(Named("Bitstream Vera Sans Bold")[0]->weight, 200);
    EXPECT_EQ(Named("Mac Face").size(), 1u);
    // Sub-folders of a plain folder are not entered.
    EXPECT_TRUE(Named("Bitstream Vera Serif").empty());
    size_t count = 0;
    for (const cxAvailableFont *f = GetAvailableFontList(); f; f = f->next) ++count;
    EXPECT_EQ(count, 5u);
    FreeAvailableFontList();
    // Family only: regular faces are listed once.
    ASSERT_EQ(ScanFontFolder(a.path().c_str(), 1, 0), 0);
    EXPECT_TRUE(Named("Bitstream Vera Sans").empty());
    // Folders that cannot be read.
    EXPECT_EQ(ScanFontFolder((a / "none").c_str(), 0, 0), ERR_LOCK2);
    EXPECT_EQ(std::string(GetErrorDetail()), a / "none");
    EXPECT_EQ(ScanFontFolder((a / "Vera.ttf").c_str(), 0, 0), ERR_LOCK2);
}

TEST_F(Catalogue, CollectionsAndBitmapContents) {
    TempDir dir;
    Copy(kCollection, dir / "wqy.ttc");
    fontfix::WriteFile(dir / "Pixel.font", fontfix::ContentsFile({{"Pixel/8", 8}, {"Pixel/11", 11}, {"Pixel/8b", 8}}));
    fontfix::WriteFile(dir / "Outline.font", fontfix::ContentsFile({}, 0x0F03));
    fontfix::WriteFile(dir / "Other.font", fontfix::ContentsFile({}, 0x1234));
    fontfix::WriteFile(dir / "cut.ttc", {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 9});
    ASSERT_EQ(ScanFontFolder(dir.path().c_str(), 0, 0), 0);
    for (const char *name : {"WenQuanYi Micro Hei Regular", "WenQuanYi Micro Hei", "WenQuanYi Micro Hei Mono Regular",
                             "WenQuanYi Micro Hei Mono"}) {
        ASSERT_EQ(Named(name).size(), 1u) << name;
        EXPECT_NE(Named(name)[0]->collectionOffset, 0u) << name;
    }
    ASSERT_EQ(Named("Pixel").size(), 1u);
    const cxAvailableFont *pixel = Named("Pixel")[0];
    EXPECT_EQ(pixel->bitmap, 1u);
    EXPECT_EQ(std::vector<uint8_t>(pixel->sizes, pixel->sizes + pixel->sizeCount), (std::vector<uint8_t>{8, 11}));
    ASSERT_EQ(Named("Outline").size(), 1u);
    EXPECT_EQ(Named("Outline")[0]->bitmap, 0u);
    EXPECT_TRUE(Named("Other").empty());
}

TEST_F(Catalogue, FindsFontsByNameOrByFamilyWeightAndSlant) {
    TempDir dir;
    Copy(kVeraDir + "VeraBI.ttf", dir / "VeraBI.ttf");
    fontfix::WriteFile(dir / "Pixel.font", fontfix::ContentsFile({{"Pixel/8", 8}}));
    AddFontPath(dir.path().c_str());
    char path[1024];
    uint32_t offset, length;
    int temporary;
    ASSERT_NE(FindAvailableFont("bitstream vera sans bold oblique", -1, 0, 0, &offset, &length, &temporary, path,
                                sizeof path),
              nullptr);
    EXPECT_EQ(std::string(path), dir / "VeraBI.ttf");
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(temporary, 0);
    ASSERT_NE(FindAvailableFont("Bitstream Vera Sans", 200, 110, 0, &offset, &length, &temporary, path, sizeof path),
              nullptr);
    EXPECT_EQ(std::string(path), dir / "VeraBI.ttf");
    EXPECT_EQ(FindAvailableFont("Bitstream Vera Sans", 200, 100, 0, &offset, &length, &temporary, path, sizeof path),
              nullptr);
    // Bitmap fonts are never handed to the TrueType engine.
    EXPECT_EQ(FindAvailableFont("Pixel", -1, 0, 0, &offset, &length, &temporary, path, sizeof path), nullptr);
    // Collection members are passed over when asked to.
    EXPECT_EQ(FindAvailableFont("WenQuanYi Micro Hei Mono", -1, 0, 1, &offset, &length, &temporary, path, sizeof path),
              nullptr);
}

TEST_F(Catalogue, CollectionMemberOpensFromATemporaryFile) {
    TempDir tmp;
    const char *savedTmp = getenv("TMPDIR");
    const std::string saved = savedTmp ? savedTmp : "";
    setenv("TMPDIR", tmp.path().c_str(), 1);
    auto files = [&] {
        std::vector<std::string> names;
        DIR *d = opendir(tmp.path().c_str());
        while (const dirent *e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
        return names;
    };
    cxOsFont *f = nullptr;
    ASSERT_EQ(OpenPlatformFont("WenQuanYi Micro Hei Mono", 16, CX_FONT_TRUETYPE, 1, 0, 0, &f), 0);
    EXPECT_STREQ(f->name, "WenQuanYi Micro Hei Mono");
    const std::vector<std::string> during = files();
    ASSERT_EQ(during.size(), 1u);
    // The file holds that face alone: FreeType sees one face.
    EXPECT_EQ(GetFreeTypeFace(f)->num_faces, 1);
    EXPECT_STREQ(GetFreeTypeFace(f)->family_name, "WenQuanYi Micro Hei Mono");
    cxTextExtent e;
    EXPECT_EQ(FontTextExtent(f, "\xE4\xB8\xAD", 3, CX_FONTSTYLE_ANTIALIAS, 1, &e), 0);
    EXPECT_GT(e.maxX - e.minX, 5);
    OsCloseFont(f);
    EXPECT_TRUE(files().empty());
    if (savedTmp) setenv("TMPDIR", saved.c_str(), 1);
    else unsetenv("TMPDIR");
}

TEST_F(Catalogue, DataForkFacesOpenAtTheirOffset) {
    TempDir dir;
    // A data-fork file: 256 bytes of header, then length-prefixed faces.
    const std::vector<uint8_t> bold = fontfix::ReadFile(kVeraDir + "VeraBd.ttf");
    std::vector<uint8_t> fork(256, 0);
    const uint32_t n = uint32_t(bold.size());
    fork.insert(fork.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    fork.insert(fork.end(), bold.begin(), bold.end());
    fontfix::WriteFile(dir / "Vera.dfont", fork);
    AddFontPath(dir.path().c_str());
    BuildAvailableFontList(0);
    const auto entries = Named("Bitstream Vera Sans Bold");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->dataForkOffset, 260u);
    EXPECT_EQ(entries[0]->dataForkLength, n);
    cxOsFont *f = nullptr;
    ASSERT_EQ(OpenPlatformFont("Bitstream Vera Sans Bold", 16, CX_FONT_TRUETYPE, 1, 0, 0, &f), 0);
    EXPECT_STREQ(f->name, "Bitstream Vera Sans Bold");
    EXPECT_EQ(static_cast<cxTrueTypeFont *>(f->engineData)->faceOffset, 260u);
    cxTextExtent e;
    EXPECT_EQ(FontTextExtent(f, "Bold", 4, CX_FONTSTYLE_ANTIALIAS, 0, &e), 0);
    EXPECT_GT(e.advance, 20);
    OsCloseFont(f);
}

TEST_F(Catalogue, SystemFoldersAreScanned) {
    BuildAvailableFontList(0);
    for (const char *name : {"DejaVu Sans", "DejaVu Sans Bold", "Liberation Serif Italic", "FreeSans", "FreeMono Bold",
                             "Bitstream Vera Serif"})
        EXPECT_EQ(Named(name).size(), 1u) << name;
}

} // namespace

#include "shell/catalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "errors/errors.h"
#include "tests/shell/test_files.h"

namespace {

using cxtest::Bytes;
using cxtest::TempDir;

struct CatalogFree {
    void operator()(cxCatalog *c) const { FreeCatalog(c); }
};
using CatalogPtr = std::unique_ptr<cxCatalog, CatalogFree>;

void Put32(Bytes &b, uint32_t v) {
    for (int i = 3; i >= 0; i--) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void Chunk(Bytes &out, const char *id, const Bytes &data) {
    out.insert(out.end(), id, id + 4);
    Put32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
}

Bytes Strings(const std::vector<std::pair<uint32_t, std::string>> &rows) {
    Bytes s;
    for (const auto &r : rows) {
        Put32(s, r.first);
        std::string text = r.second + '\0';
        Put32(s, static_cast<uint32_t>(text.size()));
        s.insert(s.end(), text.begin(), text.end());
        while (s.size() & 3) s.push_back(0);
    }
    return s;
}

Bytes Iff(const Bytes &body) {
    Bytes form;
    form.insert(form.end(), {'F', 'O', 'R', 'M'});
    Put32(form, static_cast<uint32_t>(body.size() + 4));
    form.insert(form.end(), {'C', 'T', 'L', 'G'});
    form.insert(form.end(), body.begin(), body.end());
    return form;
}

Bytes SampleIff() {
    Bytes body;
    std::string ver = "$VER: Calyxtone.catalog 8.0 (1.1.2024)";
    Chunk(body, "FVER", Bytes(ver.begin(), ver.end() + 1));
    Chunk(body, "LANG", Bytes{'d', 'e', 'u', 't', 's', 'c', 'h', 0, 'x'});  // odd: padded
    Chunk(body, "STRS", Strings({{0, "Kein Fehler!"}, {91, "Unbekannter Fehlercode!"}, {7, "abc"}}));
    return Iff(body);
}

CatalogPtr Load(const Bytes &data, int *err) {
    cxCatalog *c = nullptr;
    *err = LoadCatalogFromMemory(data.data(), data.size(), &c);
    return CatalogPtr(c);
}

TEST(Catalog, IffStringsAndVersion) {
    int err;
    CatalogPtr c = Load(SampleIff(), &err);
    ASSERT_EQ(err, 0);
    EXPECT_STREQ(GetCatalogVersion(c.get()), "$VER: Calyxtone.catalog 8.0 (1.1.2024)");
    EXPECT_EQ(GetCatalogStringCount(c.get()), 3u);
    EXPECT_STREQ(GetCatalogString(c.get(), 0), "Kein Fehler!");
    EXPECT_STREQ(GetCatalogString(c.get(), 91), "Unbekannter Fehlercode!");
    EXPECT_STREQ(GetCatalogString(c.get(), 7), "abc");
    EXPECT_EQ(GetCatalogString(c.get(), 1), nullptr);
}

TEST(Catalog, PlainTextOneStringPerLine) {
    std::string text = "Kein Fehler!\r\n\nZeile eins\\nZeile zwei\\t\\\\ \\q\nletzte";
    int err;
    CatalogPtr c = Load(Bytes(text.begin(), text.end()), &err);
    ASSERT_EQ(err, 0);
    EXPECT_STREQ(GetCatalogString(c.get(), 0), "Kein Fehler!");
    EXPECT_EQ(GetCatalogString(c.get(), 1), nullptr);  // empty: untranslated
    EXPECT_STREQ(GetCatalogString(c.get(), 2), "Zeile eins\nZeile zwei\t\\ \\q");
    EXPECT_STREQ(GetCatalogString(c.get(), 3), "letzte");
    EXPECT_STREQ(GetCatalogVersion(c.get()), "");
    CatalogPtr empty = Load(Bytes{}, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(GetCatalogStringCount(empty.get()), 0u);
}

TEST(Catalog, HostileIffIsRefused) {
    Bytes good = SampleIff();
    std::vector<std::pair<std::string, Bytes>> bad;
    Bytes b = good;
    b[11] = 'X';  // FORM of another type
    bad.push_back({"not CTLG", b});
    b = good;
    b[4] = 0x7F;  // FORM larger than the file
    bad.push_back({"form size", b});
    b = good;
    b[7] = 3;  // FORM smaller than its type
    b[4] = b[5] = b[6] = 0;
    bad.push_back({"form too small", b});
    {
        Bytes body;
        Chunk(body, "STRS", Strings({{1, "x"}}));
        body[7 + 8] = 0xFF;  // entry length far past the chunk
        bad.push_back({"entry length", Iff(body)});
    }
    {
        Bytes body;
        body.insert(body.end(), {'S', 'T', 'R', 'S', 0xFF, 0xFF, 0xFF, 0xF0});
        bad.push_back({"chunk length", Iff(body)});
    }
    {
        Bytes body;
        Chunk(body, "STRS", Bytes{0, 0, 0, 1, 0, 0});  // entry header cut
        bad.push_back({"entry header", Iff(body)});
    }
    {
        Bytes body = {'S', 'T', 'R'};
        bad.push_back({"chunk header", Iff(body)});
    }
    for (const auto &c : bad) {
        int err;
        CatalogPtr cat = Load(c.second, &err);
        EXPECT_EQ(err, ERR_FILEFORMAT) << c.first;
        EXPECT_EQ(cat, nullptr) << c.first;
    }
}

TEST(Catalog, EveryTruncationFailsCleanly) {
    Bytes good = SampleIff();
    for (size_t n = 4; n < good.size(); n++) {
        Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        int err;
        CatalogPtr c = Load(cut, &err);
        EXPECT_EQ(err, ERR_FILEFORMAT) << n;
    }
}

TEST(Catalog, FilesLoadThroughTheStreamLayer) {
    TempDir dir;
    cxtest::WriteBytes(dir.Path("x.catalog"), SampleIff());
    cxCatalog *c = nullptr;
    ASSERT_EQ(LoadCatalog(dir.Path("x.catalog").c_str(), &c), 0);
    EXPECT_STREQ(GetCatalogString(c, 7), "abc");
    FreeCatalog(c);
    EXPECT_EQ(LoadCatalog(dir.Path("none.catalog").c_str(), &c), ERR_READFILE);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(GetErrorDetail(), dir.Path("none.catalog"));
}

TEST(Catalog, LanguageFromLocale) {
    const std::pair<const char *, const char *> cases[] = {
        {"de_DE.UTF-8", "de_DE"}, {"fr", "fr"}, {"en_US@euro", "en_US"}, {"C", ""}, {"C.UTF-8", ""},
        {"POSIX", ""}, {"", ""}, {"../x", ""},
    };
    for (const auto &c : cases) {
        char out[32];
        int ok = CatalogLanguage(c.first, out, sizeof out);
        EXPECT_EQ(ok, *c.second ? 1 : 0) << c.first;
        EXPECT_STREQ(out, c.second) << c.first;
    }
    char out[4];
    EXPECT_EQ(CatalogLanguage(nullptr, out, sizeof out), 0);
}

TEST(Catalog, PlayerCatalogReplacesMessages) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path("catalogs/de"));
    cxtest::WriteBytes(dir.Path("catalogs/de/Calyxtone.catalog"), SampleIff());
    ASSERT_EQ(OpenPlayerCatalog(dir.path().c_str(), "de_DE"), 0);  // falls back to "de"
    cxMessageOverride hook = GetMessageOverride();
    ASSERT_NE(hook, nullptr);
    EXPECT_STREQ(hook(91), "Unbekannter Fehlercode!");
    EXPECT_EQ(hook(92), nullptr);
    ClosePlayerCatalog();
    EXPECT_EQ(GetMessageOverride(), nullptr);

    // A broken catalog is reported and leaves the built-in texts.
    std::filesystem::create_directories(dir.Path("Catalogs/fr"));
    cxtest::WriteBytes(dir.Path("Catalogs/fr/Calyxtone.catalog"), Bytes{'F', 'O', 'R', 'M', 0, 0});
    EXPECT_EQ(OpenPlayerCatalog(dir.path().c_str(), "fr"), ERR_FILEFORMAT);
    EXPECT_EQ(GetMessageOverride(), nullptr);
    EXPECT_EQ(OpenPlayerCatalog(dir.path().c_str(), "it"), 0);  // none: no error
    EXPECT_EQ(GetMessageOverride(), nullptr);
}

}  // namespace

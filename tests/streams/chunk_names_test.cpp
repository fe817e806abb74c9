#include "streams/chunk_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ChunkNames, WindowNameRoundTrip) {
    char name[CX_STREAM_NAME_MAX];
    ASSERT_TRUE(MakeChunkName("gfx/Part.PNG", name, sizeof name, 100, 50, 4096, "/apps/demo.cxa"));
    EXPECT_STREQ(name, ":::chunk4196:50*gfx/Part.PNG?/apps/demo.cxa");
    EXPECT_TRUE(IsChunkName(name));
    cxChunkName parts;
    ASSERT_TRUE(ParseChunkName(name, &parts));
    EXPECT_FALSE(parts.memory);
    EXPECT_EQ(parts.offset, 4196u);
    EXPECT_EQ(parts.length, 50u);
    EXPECT_STREQ(parts.display, "gfx/Part.PNG");
    EXPECT_STREQ(parts.source, "/apps/demo.cxa");
    EXPECT_STREQ(parts.extension, "PNG");
}

TEST(ChunkNames, MemoryNameRoundTrip) {
    char name[CX_STREAM_NAME_MAX];
    ASSERT_TRUE(MakeChunkName("notes", name, sizeof name, -1, 0, -12, "unused"));
    EXPECT_STREQ(name, ":::chunkS-12:0*notes?unused");
    cxChunkName parts;
    ASSERT_TRUE(ParseChunkName(name, &parts));
    EXPECT_TRUE(parts.memory);
    EXPECT_EQ(parts.reference, -12);
    EXPECT_STREQ(parts.display, "notes");
    EXPECT_STREQ(parts.extension, "");
}

TEST(ChunkNames, MakeRefusesWhatCannotBeReadBack) {
    char name[CX_STREAM_NAME_MAX];
    EXPECT_FALSE(MakeChunkName("a?b", name, sizeof name, 0, 1, 0, "src"));
    EXPECT_FALSE(MakeChunkName("a", name, sizeof name, 0xFFFFFFFF, 1, 1, "src"));  // past 32 bits
    EXPECT_FALSE(MakeChunkName("a", name, sizeof name, -1, 0, int64_t{1} << 40, "src"));
    char small[20];
    EXPECT_FALSE(MakeChunkName("a", small, sizeof small, 0, 1, 0, "a-long-source-name"));
    EXPECT_EQ(small[0], 0);
}

TEST(ChunkNames, MalformedNamesAreRefused) {
    std::string longDisplay = ":::chunk1:2*" + std::string(2000, 'a') + "?src";
    std::string longExt = ":::chunk1:2*a." + std::string(100, 'x') + "?src";
    for (const std::string &n : {std::string(":::chunk"), std::string(":::chunk1:2"), std::string(":::chunk1:2*x"),
                                 std::string(":::chunk1*x?y"), std::string(":::chunk:2*x?y"),
                                 std::string(":::chunk99999999999:2*x?y"), std::string(":::chunk1:-2*x?y"),
                                 std::string(":::chunkS:1*x?y"), std::string(":::chunkS3000000000:1*x?y"),
                                 std::string("::chunk1:2*x?y"), longDisplay, longExt}) {
        cxChunkName parts;
        EXPECT_FALSE(ParseChunkName(n.c_str(), &parts)) << n;
    }
}

class LinkedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        applet_ = NewApplet();
        strcpy(applet_->path, "/apps/demo.cxa");
        applet_->base = 1000;
        Add(&applet_->files, "gfx/Pic.png", 100, 50);
        Add(&applet_->files, "data.bin", 200, 7);
        Add(&applet_->fonts, "Serif.ttf", 300, 9);
    }
    void TearDown() override { FreeApplet(applet_); }
    static void Add(cxLinkedFile **list, const char *name, uint64_t offset, uint32_t length) {
        auto *f = static_cast<cxLinkedFile *>(calloc(1, sizeof(cxLinkedFile)));
        f->name = strdup(name);
        f->offset = offset;
        f->length = length;
        while (*list) list = &(*list)->next;
        *list = f;
    }
    cxApplet *applet_ = nullptr;
    char out_[CX_STREAM_NAME_MAX];
};

TEST_F(LinkedFiles, NamesMatchWithoutCaseAndWithBackslashes) {
    int isFont = -1;
    const char *r = ResolveLinkedFileName(applet_, "GFX\\pic.PNG", 0, &isFont, out_, sizeof out_);
    EXPECT_EQ(r, out_);
    EXPECT_STREQ(r, ":::chunk1100:50*gfx/Pic.png?/apps/demo.cxa");
    EXPECT_EQ(isFont, 0);
    const char *plain = "gfx/other.png";
    EXPECT_EQ(ResolveLinkedFileName(applet_, plain, 0, nullptr, out_, sizeof out_), plain);
    EXPECT_EQ(ResolveLinkedFileName(applet_, "gfx/Pic.pn", 0, nullptr, out_, sizeof out_), std::string("gfx/Pic.pn"));
}

TEST_F(LinkedFiles, FontsAreFoundOnlyWhenAskedFor) {
    int isFont = 0;
    EXPECT_STREQ(ResolveLinkedFileName(applet_, "serif.TTF", 0, &isFont, out_, sizeof out_), "serif.TTF");
    EXPECT_STREQ(ResolveLinkedFileName(applet_, "serif.TTF", 1, &isFont, out_, sizeof out_),
                 ":::chunk1300:9*Serif.ttf?/apps/demo.cxa");
    EXPECT_EQ(isFont, 1);
    // A linked file wins over a font of the same name and is not a font.
    Add(&applet_->files, "Serif.ttf", 400, 1);
    EXPECT_STREQ(ResolveLinkedFileName(applet_, "Serif.ttf", 1, &isFont, out_, sizeof out_),
                 ":::chunk1400:1*Serif.ttf?/apps/demo.cxa");
    EXPECT_EQ(isFont, 0);
}

TEST_F(LinkedFiles, FileNameArgumentsKeepVirtualNames) {
    const char *virt = ":::chunk5:5*x?y";
    EXPECT_EQ(ResolveFileNameArg(applet_, virt, out_, sizeof out_), virt);
    EXPECT_STREQ(ResolveFileNameArg(applet_, "DATA.BIN", out_, sizeof out_), ":::chunk1200:7*data.bin?/apps/demo.cxa");
    EXPECT_STREQ(ResolveFileNameArg(nullptr, "DATA.BIN", out_, sizeof out_), "DATA.BIN");
    char tiny[8];
    EXPECT_STREQ(ResolveFileNameArg(applet_, "data.bin", tiny, sizeof tiny), "data.bin");  // does not fit
}

}  // namespace

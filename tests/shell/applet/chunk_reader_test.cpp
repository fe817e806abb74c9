#include "shell/chunk_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "errors/errors.h"
#include "streams/memory_name.h"
#include "tests/shell/test_files.h"
#include "tools/applet-writer/applet_writer.h"

namespace {

using cxtest::Bytes;

// What a loader sees: every block concatenated.
Bytes Drain(cxChunkReader *r) {
    Bytes all;
    size_t size;
    const char *p;
    while ((p = ReadChunkBlock(r, &size)) != nullptr) {
        EXPECT_GT(size, 0u);
        all.insert(all.end(), p, p + size);
    }
    EXPECT_EQ(size, 0u);
    return all;
}

class ChunkReader : public ::testing::TestWithParam<bool> {
protected:
    cxtest::TempDir dir_;
};

TEST_P(ChunkReader, ReadsTheMainChunkStraightFromTheApplet) {
    bool packed = GetParam();
    Bytes chunk = cxtest::Ramp(40000);
    cxtools::AppletWriter w;
    w.SetPacked(packed);
    w.AddFile("before.bin", Bytes(300, 1));
    w.AddMainChunk(chunk, packed);
    w.AddFile("after.bin", Bytes(300, 2));
    std::string path = dir_.Path("a.cxa");
    ASSERT_TRUE(w.Write(path));
    cxApplet *a = NewApplet();
    ASSERT_EQ(ReadAppletHeader(a, path.c_str(), 0, 0), 0);
    ASSERT_EQ(LoadApplet(a), 0);
    cxChunkReader *r = nullptr;
    ASSERT_EQ(OpenMainChunkReader(a, &r), 0);
    EXPECT_EQ(Drain(r), chunk);
    EXPECT_EQ(GetChunkReaderError(r), 0);
    EXPECT_EQ(ReadChunkBlock(r, nullptr), nullptr);  // stays at the end
    CloseChunkReader(r);
    FreeApplet(a);
}

INSTANTIATE_TEST_SUITE_P(PlainAndPacked, ChunkReader, ::testing::Bool());

// The memory name of an unpacked main chunk goes with the chunk: a stream
// opened by that name after the applet is freed must not reach its memory.
TEST(ChunkReaderMemory, TheChunksMemoryNameIsReleasedWithTheApplet) {
    cxtest::TempDir dir;
    cxtools::AppletWriter w;
    w.AddMainChunk(cxtest::Ramp(5000), true);
    const std::string path = dir.Path("a.cxa");
    ASSERT_TRUE(w.Write(path));
    cxApplet *a = NewApplet();
    ASSERT_EQ(ReadAppletHeader(a, path.c_str(), 0, 0), 0);
    ASSERT_EQ(LoadApplet(a), 0);
    ASSERT_NE(a->chunkData, nullptr);
    cxChunkReader *r = nullptr;
    ASSERT_EQ(OpenMainChunkReader(a, &r), 0);
    CloseChunkReader(r);
    char name[CX_MEMORY_NAME_MAX];
    ASSERT_TRUE(MakeMemoryName(name, sizeof name, a->chunkData, a->chunkSize));
    const void *p = nullptr;
    size_t n = 0;
    EXPECT_TRUE(ParseMemoryName(name, &p, &n));
    FreeApplet(a);
    EXPECT_FALSE(ParseMemoryName(name, &p, &n)) << name;
}

TEST(ChunkReaderErrors, MissingChunkAndShortFile) {
    cxtest::TempDir dir;
    cxtools::AppletWriter w;
    w.AddVersion(8, 0);
    std::string path = dir.Path("a.cxa");
    ASSERT_TRUE(w.Write(path));
    cxApplet *a = NewApplet();
    ASSERT_EQ(ReadAppletHeader(a, path.c_str(), 0, 0), 0);
    ASSERT_EQ(LoadApplet(a), 0);
    cxChunkReader *r = reinterpret_cast<cxChunkReader *>(1);
    EXPECT_EQ(OpenMainChunkReader(a, &r), ERR_EMPTYSCRIPT);
    EXPECT_EQ(r, nullptr);
    FreeApplet(a);

    // The file shrinks after the sections were read: the reader reports it
    // instead of handing the loader a cut chunk as if it were whole.
    w.AddMainChunk(Bytes(1000, 7));
    ASSERT_TRUE(w.Write(path));
    a = NewApplet();
    ASSERT_EQ(ReadAppletHeader(a, path.c_str(), 0, 0), 0);
    ASSERT_EQ(LoadApplet(a), 0);
    std::filesystem::resize_file(path, 2048 + 16 + 4 + 16 + 500);
    ASSERT_EQ(OpenMainChunkReader(a, &r), 0);
    EXPECT_EQ(Drain(r).size(), 500u);
    EXPECT_EQ(GetChunkReaderError(r), ERR_READ);
    CloseChunkReader(r);
    FreeApplet(a);
}

TEST(ChunkReaderErrors, ReaderOverAnyStream) {
    unsigned char data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    char name[64];
    ASSERT_TRUE(MakeMemoryName(name, sizeof name, data, sizeof data));
    cxStream *s = OpenFileStream(name, CX_STREAM_READ, nullptr);
    SeekFileStream(s, 2, CX_SEEK_BEGINNING);
    cxChunkReader *r = OpenStreamChunkReader(s, 5);
    EXPECT_EQ(Drain(r), (Bytes{3, 4, 5, 6, 7}));
    CloseChunkReader(r);
    EXPECT_EQ(ReadStreamByte(s), 8);  // the stream stays the caller's
    CloseFileStream(s);
    EXPECT_EQ(OpenStreamChunkReader(nullptr, 5), nullptr);
}

}  // namespace

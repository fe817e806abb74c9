#include "streams/stream.h"
#include "streams/memory_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "errors/error_codes.h"
#include "streams/chunk_names.h"
#include "tests/shell/test_files.h"

namespace {

using cxtest::Bytes;
using cxtest::TempDir;

struct Closer {
    void operator()(cxStream *s) const { CloseFileStream(s); }
};
using StreamPtr = std::unique_ptr<cxStream, Closer>;

StreamPtr Open(const std::string &name, int mode) { return StreamPtr(OpenFileStream(name.c_str(), mode, nullptr)); }

TEST(StreamFile, IntegerWritersAndReadersRoundTrip) {
    TempDir dir;
    std::string path = dir.Path("ints.bin");
    {
        StreamPtr s = Open(path, CX_STREAM_WRITE);
        ASSERT_TRUE(s);
        EXPECT_EQ(WriteBE16(s.get(), 0x1234), 2);
        EXPECT_EQ(WriteLE16(s.get(), 0x1234), 2);
        EXPECT_EQ(WriteBE32(s.get(), -2), 4);
        EXPECT_EQ(WriteLE32(s.get(), 0x01020304), 4);
        EXPECT_EQ(WriteBE16(s.get(), 0xFFFE), 2);
        EXPECT_EQ(WriteStreamByte(s.get(), 0x1AB), 1);
        EXPECT_EQ(CloseFileStream(s.release()), 1);
    }
    EXPECT_EQ(cxtest::ReadBytes(path),
              (Bytes{0x12, 0x34, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFE, 4, 3, 2, 1, 0xFF, 0xFE, 0xAB}));

    StreamPtr s = Open(path, CX_STREAM_READ);
    ASSERT_TRUE(s);
    EXPECT_EQ(ReadBE16(s.get()), 0x1234);
    EXPECT_EQ(ReadLE16(s.get()), 0x1234);
    EXPECT_EQ(ReadBE32(s.get()), -2);
    EXPECT_EQ(ReadLE32(s.get()), 0x01020304);
    EXPECT_EQ(ReadBE16(s.get()), -2);  // sign-extended
    SeekFileStream(s.get(), -2, CX_SEEK_CURRENT);
    EXPECT_EQ(ReadBEU16(s.get()), 65534);
    EXPECT_EQ(ReadStreamByte(s.get()), 0xAB);
    EXPECT_EQ(ReadStreamByte(s.get()), -1);
    SeekFileStream(s.get(), 12, CX_SEEK_BEGINNING);
    EXPECT_EQ(ReadLEU16(s.get()), 0xFEFF);
}

TEST(StreamFile, ShortReadsStopAtTheEnd) {
    TempDir dir;
    std::string path = dir.Path("five");
    cxtest::WriteBytes(path, Bytes{1, 2, 3, 4, 5});
    StreamPtr s = Open(path, CX_STREAM_READ);
    ASSERT_TRUE(s);
    unsigned char buf[10] = {};
    EXPECT_FALSE(IsStreamEof(s.get()));
    EXPECT_EQ(ReadStreamData(s.get(), buf, 3), 3u);
    EXPECT_EQ(ReadStreamData(s.get(), buf, 10), 2u);
    EXPECT_EQ(buf[0], 4);
    EXPECT_TRUE(IsStreamEof(s.get()));
    EXPECT_EQ(ReadStream(s.get(), buf, 10), 0u);
    // An integer cut by the end of the data reads its missing bytes as zero.
    SeekFileStream(s.get(), 3, CX_SEEK_BEGINNING);
    EXPECT_EQ(ReadBE32(s.get()), 0x04050000);
    EXPECT_TRUE(IsStreamEof(s.get()));
}

TEST(StreamFile, BufferedAndUnbufferedCallsShareOnePosition) {
    TempDir dir;
    std::string path = dir.Path("mix");
    {
        StreamPtr s = Open(path, CX_STREAM_READWRITE);
        ASSERT_TRUE(s);
        EXPECT_EQ(WriteStream(s.get(), "abc", 3), 3u);      // buffered
        EXPECT_EQ(WriteStreamData(s.get(), "def", 3), 3u);  // unbuffered
        EXPECT_EQ(WriteStream(s.get(), "gh", 2), 2u);
        EXPECT_EQ(SeekFileStream(s.get(), 0, CX_SEEK_CURRENT), 8);
        EXPECT_EQ(GetStreamSize(s.get()), 8u);
        SeekFileStream(s.get(), 1, CX_SEEK_BEGINNING);
        char two[3] = {};
        EXPECT_EQ(ReadStreamData(s.get(), two, 2), 2u);  // fills the read-ahead
        EXPECT_STREQ(two, "bc");
        EXPECT_EQ(ReadStream(s.get(), two, 2), 2u);
        EXPECT_STREQ(two, "de");
        // A write after read-ahead lands at the reader's position.
        EXPECT_EQ(WriteStream(s.get(), "X", 1), 1u);
        EXPECT_EQ(ReadStreamByte(s.get()), 'g');
    }
    Bytes got = cxtest::ReadBytes(path);
    EXPECT_EQ(std::string(got.begin(), got.end()), "abcdeXgh");
}

TEST(StreamFile, LargeTransfersBypassTheBuffer) {
    TempDir dir;
    std::string path = dir.Path("big");
    Bytes data = cxtest::Ramp(100000);
    {
        StreamPtr s = Open(path, CX_STREAM_WRITE);
        ASSERT_TRUE(s);
        EXPECT_EQ(WriteStream(s.get(), data.data(), 10), 10u);
        EXPECT_EQ(WriteStream(s.get(), data.data() + 10, data.size() - 10), data.size() - 10);
    }
    EXPECT_EQ(cxtest::ReadBytes(path), data);
    StreamPtr s = Open(path, CX_STREAM_READ);
    Bytes back(data.size());
    EXPECT_EQ(ReadStreamData(s.get(), back.data(), 7), 7u);
    EXPECT_EQ(ReadStreamData(s.get(), back.data() + 7, back.size() - 7), back.size() - 7);
    EXPECT_EQ(back, data);
}

TEST(StreamFile, SeekModesReturnThePreviousPosition) {
    TempDir dir;
    std::string path = dir.Path("seek");
    cxtest::WriteBytes(path, cxtest::Ramp(100));
    StreamPtr s = Open(path, CX_STREAM_READ);
    ASSERT_TRUE(s);
    EXPECT_EQ(SeekFileStream(s.get(), 10, CX_SEEK_BEGINNING), 0);
    EXPECT_EQ(SeekFileStream(s.get(), 5, CX_SEEK_CURRENT), 10);
    EXPECT_EQ(SeekFileStream(s.get(), 0, CX_SEEK_CURRENT), 15);
    EXPECT_EQ(ReadStreamByte(s.get()), 15);
    EXPECT_EQ(SeekFileStream(s.get(), -1, CX_SEEK_END), 16);
    EXPECT_EQ(ReadStreamByte(s.get()), 99);
    EXPECT_EQ(SeekFileStream(s.get(), -200, CX_SEEK_CURRENT), -1);
    EXPECT_EQ(SeekFileStream(s.get(), 0, 7), -1);
    EXPECT_EQ(SeekFileStream(s.get(), 0, CX_SEEK_CURRENT), 100);  // unchanged by failures
}

TEST(StreamFile, OffsetsBeyondFourGigabytes) {
    TempDir dir;
    std::string path = dir.Path("sparse");
    const int64_t far = (int64_t{5} << 30) + 3;
    {
        StreamPtr s = Open(path, CX_STREAM_WRITE);
        ASSERT_TRUE(s);
        EXPECT_EQ(SeekFileStream(s.get(), far, CX_SEEK_BEGINNING), 0);
        EXPECT_EQ(WriteStreamByte(s.get(), 0x5A), 1);
        EXPECT_EQ(FlushStream(s.get()), 0);
        EXPECT_EQ(GetStreamSize(s.get()), static_cast<uint64_t>(far + 1));
    }
    StreamPtr s = Open(path, CX_STREAM_READ);
    ASSERT_TRUE(s);
    EXPECT_EQ(SeekFileStream(s.get(), -1, CX_SEEK_END), 0);
    EXPECT_EQ(SeekFileStream(s.get(), 0, CX_SEEK_CURRENT), far);
    EXPECT_EQ(ReadStreamByte(s.get()), 0x5A);
}

TEST(StreamFile, ModesAndBadNames) {
    TempDir dir;
    std::string path = dir.Path("m");
    cxtest::WriteBytes(path, Bytes{1, 2, 3});
    unsigned char b[4];
    {
        StreamPtr r = Open(path, CX_STREAM_READ);
        EXPECT_EQ(WriteStream(r.get(), "x", 1), 0u);
        EXPECT_EQ(WriteStreamData(r.get(), "x", 1), 0u);
    }
    {
        StreamPtr w = Open(path, CX_STREAM_WRITE);  // truncates
        EXPECT_EQ(GetStreamSize(w.get()), 0u);
        EXPECT_EQ(ReadStreamData(w.get(), b, 1), 0u);
    }
    EXPECT_FALSE(Open(dir.Path("missing"), CX_STREAM_READ));
    EXPECT_FALSE(Open(dir.path(), CX_STREAM_READ));  // a folder
    EXPECT_FALSE(Open("", CX_STREAM_READ));
    EXPECT_FALSE(Open(path, CX_STREAM_READ | CX_STREAM_WRITE));
    EXPECT_FALSE(Open(path, 0));
    EXPECT_EQ(CloseFileStream(nullptr), 0);
    EXPECT_EQ(ReadStreamByte(nullptr), -1);
    EXPECT_EQ(SeekFileStream(nullptr, 0, CX_SEEK_CURRENT), -1);
}

class StreamWindow : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.Path("src");
        cxtest::WriteBytes(path_, cxtest::Ramp(256));
    }
    TempDir dir_;
    std::string path_;
};

TEST_F(StreamWindow, ReadsStayInsideTheWindow) {
    char name[CX_STREAM_NAME_MAX];
    ASSERT_TRUE(MakeChunkName("part.png", name, sizeof name, 100, 50, 0, path_.c_str()));
    StreamPtr s = Open(name, CX_STREAM_READ);
    ASSERT_TRUE(s);
    EXPECT_EQ(GetStreamSize(s.get()), 50u);
    Bytes buf(80, 0xEE);
    EXPECT_EQ(ReadStreamData(s.get(), buf.data(), buf.size()), 50u);
    for (int i = 0; i < 50; i++) ASSERT_EQ(buf[i], 100 + i);
    EXPECT_EQ(buf[50], 0xEE);
    EXPECT_TRUE(IsStreamEof(s.get()));
    EXPECT_EQ(ReadStreamByte(s.get()), -1);
    EXPECT_STREQ(GetStreamName(s.get()), name);
}

TEST_F(StreamWindow, SeeksAreClampedToTheWindow) {
    StreamPtr s(OpenWindowStream(path_.c_str(), 100, 50));
    ASSERT_TRUE(s);
    EXPECT_EQ(SeekFileStream(s.get(), 1000, CX_SEEK_BEGINNING), 0);
    EXPECT_EQ(SeekFileStream(s.get(), 0, CX_SEEK_CURRENT), 50);
    EXPECT_EQ(ReadStreamByte(s.get()), -1);
    EXPECT_EQ(SeekFileStream(s.get(), -1000, CX_SEEK_CURRENT), 50);
    EXPECT_EQ(ReadStreamByte(s.get()), 100);
    EXPECT_EQ(SeekFileStream(s.get(), -10, CX_SEEK_END), 1);
    EXPECT_EQ(ReadStreamByte(s.get()), 140);
    unsigned char big[40000];
    EXPECT_EQ(ReadStream(s.get(), big, sizeof big), 9u);
    EXPECT_EQ(big[8], 149);
}

TEST_F(StreamWindow, WindowPastTheFileIsShortened) {
    StreamPtr s(OpenWindowStream(path_.c_str(), 250, 100));
    ASSERT_TRUE(s);
    EXPECT_EQ(GetStreamSize(s.get()), 6u);
    StreamPtr beyond(OpenWindowStream(path_.c_str(), 1000, 10));
    ASSERT_TRUE(beyond);
    EXPECT_EQ(GetStreamSize(beyond.get()), 0u);
    EXPECT_TRUE(IsStreamEof(beyond.get()));
}

TEST_F(StreamWindow, WindowsAreReadOnly) {
    char name[CX_STREAM_NAME_MAX];
    ASSERT_TRUE(MakeChunkName("x", name, sizeof name, 0, 10, 0, path_.c_str()));
    EXPECT_FALSE(Open(name, CX_STREAM_WRITE));
    EXPECT_FALSE(Open(name, CX_STREAM_READWRITE));
    StreamPtr s = Open(name, CX_STREAM_READ);
    EXPECT_EQ(WriteStreamData(s.get(), "x", 1), 0u);
    EXPECT_FALSE(Open(":::chunk1:2*x", CX_STREAM_READ));  // malformed
}

TEST(StreamMemory, ReadsAndWritesStayInTheBlock) {
    unsigned char block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    char name[64];
    ASSERT_TRUE(MakeMemoryName(name, sizeof name, block, sizeof block));
    EXPECT_TRUE(IsMemoryName(name));
    StreamPtr s = Open(name, CX_STREAM_READWRITE);
    ASSERT_TRUE(s);
    EXPECT_EQ(GetStreamSize(s.get()), 8u);
    EXPECT_EQ(ReadBE32(s.get()), 0x01020304);
    EXPECT_EQ(WriteStream(s.get(), "abcdef", 6), 4u);  // cut at the block's end
    EXPECT_EQ(block[4], 'a');
    EXPECT_EQ(block[7], 'd');
    EXPECT_TRUE(IsStreamEof(s.get()));
    EXPECT_EQ(SeekFileStream(s.get(), 100, CX_SEEK_BEGINNING), 8);
    EXPECT_EQ(SeekFileStream(s.get(), 0, CX_SEEK_CURRENT), 8);
    unsigned char buf[16];
    EXPECT_EQ(ReadStreamData(s.get(), buf, sizeof buf), 0u);
    EXPECT_EQ(FlushStream(s.get()), 0);
}

TEST(StreamMemory, MalformedMemoryNamesDoNotOpen) {
    for (const char *name : {":::memory", ":::memory0:4", ":::memory12ab", ":::memory12ab:", ":::memoryzz:4",
                             ":::memory12ab:4x", ":::memory12ab:99999999999"}) {
        EXPECT_FALSE(Open(name, CX_STREAM_READ)) << name;
    }
    char tiny[8];
    unsigned char block[1];
    EXPECT_FALSE(MakeMemoryName(tiny, sizeof tiny, block, 1));
    EXPECT_EQ(tiny[0], 0);
}

std::map<int, cxVirtualBlock> g_blocks;
cxVirtualBlock *FindBlock(int ref) {
    auto it = g_blocks.find(ref);
    return it == g_blocks.end() ? nullptr : &it->second;
}

TEST(StreamMemory, VirtualStringFilesGrowInSteps) {
    g_blocks.clear();
    g_blocks[7] = cxVirtualBlock{nullptr, 1, 0, 0, 0, 0};
    char name[CX_STREAM_NAME_MAX];
    ASSERT_TRUE(MakeChunkName("notes.txt", name, sizeof name, -1, 0, 7, "unused"));
    EXPECT_FALSE(Open(name, CX_STREAM_WRITE));  // no resolver yet
    SetVirtualBlockResolver(FindBlock);
    {
        StreamPtr s = Open(name, CX_STREAM_WRITE);
        ASSERT_TRUE(s);
        EXPECT_EQ(WriteStream(s.get(), "hello", 5), 5u);
        EXPECT_EQ(g_blocks[7].capacity, 65536u);
        Bytes more(65536, 'x');
        EXPECT_EQ(WriteStreamData(s.get(), more.data(), more.size()), more.size());
        EXPECT_EQ(g_blocks[7].capacity, 131072u);
        EXPECT_EQ(g_blocks[7].length, 65541u);
    }
    {
        StreamPtr s = Open(name, CX_STREAM_READ);
        ASSERT_TRUE(s);
        EXPECT_EQ(GetStreamSize(s.get()), 65541u);
        char five[6] = {};
        EXPECT_EQ(ReadStreamData(s.get(), five, 5), 5u);
        EXPECT_STREQ(five, "hello");
    }
    char gone[CX_STREAM_NAME_MAX];
    ASSERT_TRUE(MakeChunkName("x", gone, sizeof gone, -1, 0, 8, "unused"));
    EXPECT_FALSE(Open(gone, CX_STREAM_READ));
    SetVirtualBlockResolver(nullptr);
    free(g_blocks[7].data);
    g_blocks.clear();
}

// A file adapter serving names that begin with "fake:" from memory.
struct FakeFile {
    std::string data;
    size_t pos = 0;
};
bool g_noSeek;
void *FakeOpen(const char *name, int mode, const char *adapters, unsigned *flags) {
    if (strncmp(name, "fake:", 5) != 0) return nullptr;
    *flags = g_noSeek ? (CX_ADAPTER_NOSEEK | CX_ADAPTER_STREAMING) : 0;
    return new FakeFile{std::string(name + 5), 0};
}
int FakeClose(void *h) {
    delete static_cast<FakeFile *>(h);
    return 1;
}
int64_t FakeRead(void *h, void *buf, int64_t n) {
    auto *f = static_cast<FakeFile *>(h);
    size_t k = std::min(static_cast<size_t>(n), f->data.size() - f->pos);
    memcpy(buf, f->data.data() + f->pos, k);
    f->pos += k;
    return static_cast<int64_t>(k);
}
int64_t FakeSeek(void *h, int64_t off, int mode) {
    auto *f = static_cast<FakeFile *>(h);
    if (mode != CX_SEEK_BEGINNING || off < 0 || static_cast<size_t>(off) > f->data.size()) return -1;
    int64_t prev = static_cast<int64_t>(f->pos);
    f->pos = static_cast<size_t>(off);
    return prev;
}
int FakeEof(void *h) {
    auto *f = static_cast<FakeFile *>(h);
    return f->pos >= f->data.size();
}
const cxStreamAdapterHooks kFakeHooks = {FakeOpen, FakeClose, FakeRead, nullptr, FakeSeek, nullptr, nullptr, FakeEof};

TEST(StreamAdapter, HooksServeNamesWhenAllowed) {
    SetStreamAdapterHooks(&kFakeHooks);
    g_noSeek = false;
    EXPECT_FALSE(OpenFileStream("fake:abc", CX_STREAM_READ, nullptr));  // adapters not allowed
    {
        StreamPtr s(OpenFileStream("fake:abcdef", CX_STREAM_READ | CX_STREAM_ADAPTERS, "fakeadapter"));
        ASSERT_TRUE(s);
        EXPECT_EQ(GetStreamSize(s.get()), CX_STREAM_SIZE_UNKNOWN);
        EXPECT_EQ(SeekFileStream(s.get(), 0, CX_SEEK_END), -1);
        EXPECT_EQ(ReadStreamByte(s.get()), 'a');
        EXPECT_FALSE(IsStreamEof(s.get()));
        EXPECT_EQ(SeekFileStream(s.get(), 4, CX_SEEK_BEGINNING), 1);
        EXPECT_EQ(ReadStreamByte(s.get()), 'e');
        EXPECT_EQ(ReadStream(s.get(), nullptr, 1), 0u);
        EXPECT_EQ(ReadStreamByte(s.get()), 'f');
        EXPECT_TRUE(IsStreamEof(s.get()));
        EXPECT_EQ(WriteStreamData(s.get(), "x", 1), 0u);  // read mode
    }
    g_noSeek = true;
    {
        StreamPtr s(OpenFileStream("fake:xyz", CX_STREAM_READ | CX_STREAM_ADAPTERS, nullptr));
        ASSERT_TRUE(s);
        EXPECT_TRUE(IsStreamUnseekable(s.get()));
        EXPECT_EQ(GetStreamAdapterFlags(s.get()), unsigned{CX_ADAPTER_NOSEEK | CX_ADAPTER_STREAMING});
        EXPECT_EQ(SeekFileStream(s.get(), 2, CX_SEEK_BEGINNING), -1);
        EXPECT_EQ(ReadStreamByte(s.get()), 'x');
    }
    SetStreamAdapterHooks(nullptr);
}

}  // namespace

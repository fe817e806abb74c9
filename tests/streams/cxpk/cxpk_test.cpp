#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "streams/cxpk/cxpk.h"
#include "streams/stream.h"
#include "streams/memory_name.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

class Cxpk : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::path(testing::TempDir()) / "cxpk-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const auto &[pointer, length] : names_) ReleaseMemoryName(pointer, length);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string Path(const char *name) const { return (dir_ / name).string(); }

    std::string Name(const Bytes &data) {
        char name[CX_MEMORY_NAME_MAX];
        MakeMemoryName(name, sizeof name, data.data(), data.size());
        names_.emplace_back(data.data(), data.size());
        return name;
    }

    static void Write(const std::string &path, const Bytes &data) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    }

    static Bytes Read(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Packs data (through a memory name) and returns the packed bytes.
    Bytes Pack(const Bytes &data, const char *magic = "CXPK") {
        const std::string target = Path("packed");
        int64_t size = -1;
        EXPECT_EQ(PackCxpk(magic, Name(data).c_str(), target.c_str(), nullptr, &size), 0);
        Bytes packed = Read(target);
        EXPECT_EQ(size, static_cast<int64_t>(packed.size()));
        return packed;
    }

    fs::path dir_;
    std::vector<std::pair<const void *, size_t>> names_;
};

Bytes Text(const std::string &s) { return Bytes(s.begin(), s.end()); }

Bytes Noise(size_t n, uint32_t seed) {
    Bytes out(n);
    for (auto &b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(seed >> 24);
    }
    return out;
}

Bytes Repetitive(size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>("calyxtone "[i % 10] + (i / 4096) % 3);
    return out;
}

TEST_F(Cxpk, RoundTripsThroughFilesAndMemory) {
    const Bytes inputs[] = {Bytes{}, Text("hello"), Repetitive(100000), Noise(40000, 7), Noise(16384, 3),
                            Noise(16384 * 2, 5)};
    for (const Bytes &data : inputs) {
        SCOPED_TRACE(data.size());
        const Bytes packed = Pack(data);
        ASSERT_GE(packed.size(), 8u);
        EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 8), Bytes({'C', 'X', 'P', 'K', 0, 0, 0, 0}));

        Bytes fromFile(data.size());
        const std::string path = Path("packed");
        EXPECT_EQ(UnpackCxpk("CXPK", path.c_str(), nullptr, nullptr, 0, nullptr, nullptr, fromFile.data(), fromFile.size()), 0);
        EXPECT_EQ(fromFile, data);

        Bytes fromMemory(data.size());
        EXPECT_EQ(UnpackCxpk("CXPK", Name(packed).c_str(), nullptr, nullptr, 0, nullptr, nullptr, fromMemory.data(), fromMemory.size()),
                  0);
        EXPECT_EQ(fromMemory, data);

        const std::string target = Path("unpacked");
        EXPECT_EQ(UnpackCxpk("CXPK", path.c_str(), target.c_str(), nullptr, 0, nullptr, nullptr, nullptr, 0), 0);
        EXPECT_EQ(Read(target), data);

        // With neither buffer nor target the data is inflated and dropped.
        EXPECT_EQ(UnpackCxpk("CXPK", path.c_str(), nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0), 0);
    }
}

// The bound readers use to refuse a claimed size before setting memory
// aside: the best compression there is (long runs of one byte) stays
// inside it, for small and large items.
TEST_F(Cxpk, MostCompressibleDataStaysInsideTheUnpackedBound) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{1000}, size_t{1} << 22}) {
        const Bytes packed = Pack(Bytes(n, 0));
        EXPECT_LE(n, MaxCxpkUnpackedSize(packed.size())) << n;
    }
    EXPECT_EQ(MaxCxpkUnpackedSize(UINT64_MAX), UINT64_MAX);
}

TEST_F(Cxpk, OtherMagicsAndIgnoredReservedBytes) {
    const Bytes data = Repetitive(5000);
    Bytes packed = Pack(data, "CXZ");  // the three letters and their NUL
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 4), Bytes({'C', 'X', 'Z', 0}));
    std::memset(packed.data() + 4, 0xFF, 4);
    Bytes out(data.size());
    EXPECT_EQ(UnpackCxpk("CXZ", Name(packed).c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), 0);
    EXPECT_EQ(out, data);
}

TEST_F(Cxpk, WrongMagicIsAFormatError) {
    const Bytes packed = Pack(Text("plug-in entry"), "PLPK");
    Bytes out(64);
    EXPECT_EQ(UnpackCxpk("CXPK", Name(packed).c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), ERR_PAKFORMAT);
    const Bytes junk = Text("GIF89a and more");
    EXPECT_EQ(UnpackCxpk("CXPK", Name(junk).c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), ERR_PAKFORMAT);
    const Bytes tiny = Text("CXP");
    EXPECT_EQ(UnpackCxpk("CXPK", Name(tiny).c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), ERR_READ);
}

TEST_F(Cxpk, TruncatedOrCorruptStreamIsAZlibDataError) {
    const Bytes data = Noise(50000, 11);
    const Bytes packed = Pack(data);
    for (size_t cut : {size_t{4}, size_t{8}, size_t{9}, size_t{100}, packed.size() / 2, packed.size() - 4,
                       packed.size() - 1}) {
        SCOPED_TRACE(cut);
        const Bytes shorter(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(cut));
        Bytes out(data.size());
        const int err = UnpackCxpk("CXPK", Name(shorter).c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size());
        EXPECT_EQ(err, ERR_ZLIBDATA);
        Write(Path("short"), shorter);
        EXPECT_EQ(UnpackCxpk("CXPK", Path("short").c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), ERR_ZLIBDATA);
    }
    Bytes corrupt = packed;
    corrupt[8] ^= 0xFF;  // zlib header
    Bytes out(data.size());
    EXPECT_EQ(UnpackCxpk("CXPK", Name(corrupt).c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), ERR_ZLIBDATA);
    corrupt = packed;
    corrupt[corrupt.size() - 1] ^= 0x01;  // checksum
    EXPECT_EQ(UnpackCxpk("CXPK", Name(corrupt).c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), ERR_ZLIBDATA);
}

TEST_F(Cxpk, SmallBufferFillsAndSucceedsWithoutOverrun) {
    const Bytes data = Repetitive(70000);
    const Bytes packed = Pack(data);
    for (size_t size : {size_t{0}, size_t{1}, size_t{100}, size_t{16384}, size_t{16385}, size_t{69999}}) {
        SCOPED_TRACE(size);
        // Exactly the asked size on the heap: AddressSanitizer sees any overrun.
        std::unique_ptr<unsigned char[]> out(new unsigned char[size + 1]);
        out[size] = 0xA5;
        EXPECT_EQ(UnpackCxpk("CXPK", Name(packed).c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.get(), size), 0);
        EXPECT_EQ(out[size], 0xA5);
        EXPECT_TRUE(std::equal(out.get(), out.get() + size, data.begin()));
        std::unique_ptr<unsigned char[]> exact(new unsigned char[size ? size : 1]);
        EXPECT_EQ(UnpackCxpk("CXPK", Name(packed).c_str(), nullptr, nullptr, 0, nullptr, nullptr, exact.get(), size), 0);
    }
}

TEST_F(Cxpk, OffsetSkipsLeadingDataAndTrailingDataIsIgnored) {
    const Bytes data = Text("the packed item in the middle");
    const Bytes packed = Pack(data);
    Bytes file = Text(std::string(100, '#'));
    file.insert(file.end(), packed.begin(), packed.end());
    const Bytes tail = Text("next section");
    file.insert(file.end(), tail.begin(), tail.end());
    Write(Path("applet"), file);
    Bytes out(data.size());
    EXPECT_EQ(UnpackCxpk("CXPK", Path("applet").c_str(), nullptr, nullptr, 100, nullptr, nullptr, out.data(), out.size()), 0);
    EXPECT_EQ(out, data);
    EXPECT_EQ(UnpackCxpk("CXPK", Name(file).c_str(), nullptr, nullptr, 100, nullptr, nullptr, out.data(), out.size()), 0);
    EXPECT_EQ(out, data);
    EXPECT_EQ(UnpackCxpk("CXPK", Path("applet").c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), ERR_PAKFORMAT);
    EXPECT_EQ(UnpackCxpk("CXPK", Name(file).c_str(), nullptr, nullptr, static_cast<int64_t>(file.size()) + 1, nullptr, nullptr,
                         out.data(), out.size()),
              ERR_READ);
    EXPECT_EQ(UnpackCxpk("CXPK", Path("applet").c_str(), nullptr, nullptr, -1, nullptr, nullptr, out.data(), out.size()), ERR_READ);
}

TEST_F(Cxpk, MissingFilesAndStreamsAreReported) {
    Bytes out(16);
    const std::string missing = Path("missing.cxpk");
    EXPECT_EQ(UnpackCxpk("CXPK", missing.c_str(), nullptr, nullptr, 0, nullptr, nullptr, out.data(), out.size()), ERR_READFILE);
    EXPECT_STREQ(GetErrorDetail(), missing.c_str());
    EXPECT_EQ(PackCxpk("CXPK", missing.c_str(), Path("t").c_str(), nullptr, nullptr), ERR_READFILE);

    const Bytes packed = Pack(Text("x"));
    const std::string unwritable = Path("no/such/folder/out");
    EXPECT_EQ(UnpackCxpk("CXPK", Name(packed).c_str(), unwritable.c_str(), nullptr, 0, nullptr, nullptr, nullptr, 0), ERR_WRITEFILE);
    EXPECT_STREQ(GetErrorDetail(), unwritable.c_str());
    EXPECT_EQ(PackCxpk("CXPK", Name(packed).c_str(), unwritable.c_str(), nullptr, nullptr), ERR_WRITEFILE);

}

TEST_F(Cxpk, PackedFileUnpacksFromAFilePath) {
    const Bytes data = Noise(20000, 99);
    Write(Path("plain"), data);
    int64_t size = 0;
    ASSERT_EQ(PackCxpk("CXPK", Path("plain").c_str(), Path("plain.cxpk").c_str(), nullptr, &size), 0);
    EXPECT_EQ(size, static_cast<int64_t>(fs::file_size(Path("plain.cxpk"))));
    ASSERT_EQ(UnpackCxpk("CXPK", Path("plain.cxpk").c_str(), Path("back").c_str(), nullptr, 0, nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(Read(Path("back")), data);
}

}  // namespace

TEST_F(Cxpk, OpenStreamsAsSourceAndTarget) {
    const Bytes data = Noise(40000, 7);
    const std::string packedPath = Path("streamed.cxpk");
    // Pack into an open stream after a prefix: the stream stays open and
    // the item lands behind the prefix.
    cxStream *out = OpenFileStream(packedPath.c_str(), CX_STREAM_WRITE, nullptr);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(WriteStreamData(out, "HEAD", 4), 4u);
    int64_t size = 0;
    ASSERT_EQ(PackCxpk("PLPK", Name(data).c_str(), nullptr, out, &size), 0);
    ASSERT_EQ(WriteStreamData(out, "TAIL", 4), 4u);
    ASSERT_TRUE(CloseFileStream(out));

    // Unpack from an open stream positioned at the item; afterwards the
    // stream stands just behind it, and consumed tells the item's length.
    cxStream *in = OpenFileStream(packedPath.c_str(), CX_STREAM_READ, nullptr);
    ASSERT_NE(in, nullptr);
    char head[4];
    ASSERT_EQ(ReadStreamData(in, head, 4), 4u);
    Bytes back(data.size());
    uint64_t written = 0, consumed = 0;
    ASSERT_EQ(UnpackCxpk("PLPK", nullptr, nullptr, in, 0, &written, &consumed, back.data(), back.size()), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(written, data.size());
    EXPECT_EQ(consumed, static_cast<uint64_t>(size));
    char tail[4];
    ASSERT_EQ(ReadStreamData(in, tail, 4), 4u);
    EXPECT_EQ(std::string(tail, 4), "TAIL");
    ASSERT_TRUE(CloseFileStream(in));

    // Dropping the output still measures the item.
    consumed = 0;
    ASSERT_EQ(UnpackCxpk("PLPK", packedPath.c_str(), nullptr, nullptr, 4, &written, &consumed, nullptr, 0), 0);
    EXPECT_EQ(consumed, static_cast<uint64_t>(size));
    EXPECT_EQ(written, data.size());
}

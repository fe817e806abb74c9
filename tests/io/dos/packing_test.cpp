// CXPK packing commands and the checksums, against zlib, Python and
// md5sum.
#include <string>

#include "engine/runtime/md5.h"
#include "tests/io/dos/dos_fixture.h"
#include "tests/streams/small_disk.h"

namespace cxtest {
namespace {

using Packing = DosTest;

std::string Sample(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245 + 12345;
        s[i] = static_cast<char>(i % 7 == 0 ? (x >> 16) : 'a' + i % 13);
    }
    return s;
}

TEST_F(Packing, RoundTripAndPlainZlibCanRead) {
    const std::string data = Sample(100000);
    Put("in.bin", data);
    ASSERT_EQ(Do("CompressFile", {Path("in.bin"), Path("in.cxpk")}), 0);
    const std::string packed = Get("in.cxpk");
    EXPECT_EQ(Num(1), static_cast<double>(packed.size()));
    EXPECT_EQ(packed.substr(0, 8), std::string("CXPK\0\0\0\0", 8));
    ASSERT_EQ(Do("DecompressFile", {Path("in.cxpk"), Path("out.bin")}), 0);
    EXPECT_EQ(Num(1), 100000);
    EXPECT_TRUE(Get("out.bin") == data);
    // The stream behind the header is plain zlib.
    EXPECT_EQ(Shell("python3 -c \"import zlib,sys; d=open(sys.argv[1],'rb').read()[8:]; "
                    "print(len(zlib.decompress(d)))\" '" +
                    Path("in.cxpk") + "'"),
              "100000");
}

TEST_F(Packing, ZlibDataFromElsewhereUnpacks) {
    Put("plain.txt", "packed by another tool");
    ASSERT_EQ(Shell("python3 -c \"import zlib,sys; d=open(sys.argv[1],'rb').read(); "
                    "open(sys.argv[2],'wb').write(b'CXPK\\xff\\xee\\xdd\\xcc'+zlib.compress(d,9))\" '" +
                    Path("plain.txt") + "' '" + Path("other.cxpk") + "' && echo ok"),
              "ok");
    ASSERT_EQ(Do("DecompressFile", {Path("other.cxpk"), Path("back.txt")}), 0);
    EXPECT_EQ(Get("back.txt"), "packed by another tool");
}

TEST_F(Packing, EmptyAndBadInput) {
    Put("empty", "");
    ASSERT_EQ(Do("CompressFile", {Path("empty"), Path("empty.cxpk")}), 0);
    EXPECT_GT(Num(1), 8);
    ASSERT_EQ(Do("DecompressFile", {Path("empty.cxpk"), Path("empty.out")}), 0);
    EXPECT_EQ(Num(1), 0);
    EXPECT_EQ(Get("empty.out"), "");

    const std::string packed = [&] {
        Put("d", Sample(5000));
        EXPECT_EQ(Do("CompressFile", {Path("d"), Path("d.cxpk")}), 0);
        return Get("d.cxpk");
    }();
    Put("plpk", "PLPK" + packed.substr(4));
    EXPECT_EQ(Do("DecompressFile", {Path("plpk"), Path("x")}), ERR_PAKFORMAT);
    Put("cut", packed.substr(0, packed.size() / 2));
    EXPECT_EQ(Do("DecompressFile", {Path("cut"), Path("x")}), ERR_ZLIBDATA);
    Put("short", "CX");
    EXPECT_EQ(Do("DecompressFile", {Path("short"), Path("x")}), ERR_READ);
    EXPECT_EQ(Do("CompressFile", {Path("missing"), Path("x")}), ERR_READFILE);
    EXPECT_EQ(Detail(), Path("missing"));
    EXPECT_EQ(Do("CompressFile", {Path("d"), Path("no/dir/x")}), ERR_WRITEFILE);
    EXPECT_EQ(Do("DecompressFile", {Path("d.cxpk")}), ERR_MISSINGPARAMTR);
}

// A damaged source or a full disk leaves an existing target as it was and
// nothing beside it.
TEST_F(Packing, FailuresKeepTheOldTarget) {
    Put("d", Sample(30000));
    ASSERT_EQ(Do("CompressFile", {Path("d"), Path("d.cxpk")}), 0);
    const std::string packed = Get("d.cxpk");
    Put("cut", packed.substr(0, packed.size() / 2));
    Put("target", "old target");
    EXPECT_EQ(Do("DecompressFile", {Path("cut"), Path("target")}), ERR_ZLIBDATA);
    EXPECT_TRUE(Get("target") == "old target");
    EXPECT_EQ(Shell("ls -A '" + dir + "'"), "cut\nd\nd.cxpk\ntarget");

    SmallDisk disk(8192);
    ASSERT_TRUE(disk.usable());
    const std::string target = disk.Path("target");
    std::ofstream(target) << "old target";
    EXPECT_EQ(Do("CompressFile", {Path("d"), target}), ERR_WRITE);
    EXPECT_TRUE(Shell("cat '" + target + "'") == "old target");
    EXPECT_EQ(Do("DecompressFile", {Path("d.cxpk"), target}), ERR_WRITE);
    EXPECT_TRUE(Shell("cat '" + target + "'") == "old target");
    EXPECT_EQ(Shell("ls -A '" + disk.dir() + "'"), "target");
}

TEST(Md5, Rfc1321VectorsWithOddSplits) {
    const std::pair<const char *, const char *> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &[text, want] : vectors) {
        for (size_t split : {size_t{1}, size_t{3}, size_t{63}, size_t{64}, size_t{65}}) {
            cxMD5Context ctx;
            MD5Init(&ctx);
            const size_t n = strlen(text);
            for (size_t at = 0; at < n; at += split) MD5Update(&ctx, text + at, std::min(split, n - at));
            uint8_t d[16];
            MD5Final(&ctx, d);
            char hex[33];
            for (int i = 0; i < 16; i++) snprintf(hex + 2 * i, 3, "%02x", d[i]);
            EXPECT_STREQ(hex, want) << '"' << text << "\" split " << split;
        }
    }
}

TEST_F(Packing, ChecksumsOfFilesMatchTheSystemTools) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{65536}, size_t{200003}}) {
        Put("h.bin", Sample(n));
        ASSERT_EQ(Do("MD5", {Path("h.bin")}), 0);
        EXPECT_EQ(Str(1), Shell("md5sum '" + Path("h.bin") + "' | cut -d' ' -f1")) << n;
        ASSERT_EQ(Do("CRC32", {Path("h.bin")}), 0);
        EXPECT_EQ(std::to_string(static_cast<uint64_t>(Num(1))),
                  Shell("python3 -c \"import zlib,sys; print(zlib.crc32(open(sys.argv[1],'rb').read()))\" '" +
                        Path("h.bin") + "'"))
            << n;
    }
    EXPECT_EQ(Do("MD5", {Path("missing")}), ERR_READFILE);
    EXPECT_EQ(Detail(), Path("missing"));
    EXPECT_EQ(Do("CRC32", {""}), ERR_WRONGUSAGE);
    EXPECT_EQ(Do("MD5", {dir}), ERR_READFILE);  // a folder has no contents to hash
}

}  // namespace
}  // namespace cxtest

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/os_files.h"

namespace {

class OsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/cx_os_files_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { (void)!system(("rm -rf '" + dir + "'").c_str()); }
    std::string dir;
};

// A sparse file past 4 GiB: on a 32-bit platform, stat and readdir without
// 64-bit offsets fail on it (EOVERFLOW), and the folder scan skips it.
TEST_F(OsFiles, FilesPast4GiBAreExaminedAndListed) {
    const std::string path = dir + "/big.bin";
    const int64_t size = (int64_t{5} << 30) + 123;
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);

    cxOsFileInfo info{};
    ASSERT_EQ(OsExaminePath(path.c_str(), &info), 1);
    EXPECT_EQ(info.size, size);
    EXPECT_EQ(info.isDirectory, 0u);

    cxOsDirScan *scan = OsBeginDirScan(dir.c_str());
    ASSERT_NE(scan, nullptr);
    const char *name = nullptr;
    uint32_t isDirectory = 1;
    cxOsFileInfo entry{};
    ASSERT_EQ(OsNextDirEntry(scan, &name, &isDirectory, &entry), 1);
    EXPECT_STREQ(name, "big.bin");
    EXPECT_EQ(isDirectory, 0u);
    EXPECT_EQ(entry.size, size);
    EXPECT_EQ(OsNextDirEntry(scan, &name, &isDirectory, &entry), 0);
    OsEndDirScan(scan);
}

// Dates past January 2038 do not fit a 32-bit time_t: setting one fails and
// leaves the file's date alone, converting one gives the all-zero date of a
// failed conversion (year 1900, day 0), rather than a date wrapped into 1901.
TEST_F(OsFiles, DatesPast2038AreSetOrRefusedNeverWrapped) {
    const std::string path = dir + "/f";
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    const bool wide = sizeof(time_t) >= 8;

    const cxOsFileTimes ok{{1000000000, 1200000000}};
    ASSERT_EQ(OsSetFileDate(path.c_str(), &ok), 1);
    cxOsDate date{};
    OsTimeToDate(&ok, &date, 1);
    EXPECT_EQ(date.year, 2008);

    const int64_t later = 2147688000;  // 21 January 2038, noon UTC: past 2^31
    const cxOsFileTimes far{{later, later}};
    EXPECT_EQ(OsSetFileDate(path.c_str(), &far), wide ? 1 : 0);
    cxOsFileInfo info{};
    ASSERT_EQ(OsExaminePath(path.c_str(), &info), 1);
    EXPECT_EQ(info.modifyTime, wide ? later : int64_t{1200000000});

    OsTimeToDate(&far, &date, 1);
    EXPECT_EQ(date.year, wide ? 2038 : 1900);
    EXPECT_EQ(date.mday, wide ? 21 : 0);
}

}  // namespace

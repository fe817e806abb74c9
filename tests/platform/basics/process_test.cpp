// External programs and their watching thread, the environment, the
// current folder and moves between file systems.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "errors/error_codes.h"
#include "errors/errors.h"
#include "platform/os_environment.h"
#include "platform/os_file_moves.h"
#include "platform/os_process.h"

namespace {

class Process : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/cxproc.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { (void)!system(("rm -rf '" + dir + "'").c_str()); }
};

std::atomic<int> g_ended{0};
void Ended(cxOsProgramThread *rec) {
    EXPECT_EQ(rec->userData, &g_ended);
    g_ended.fetch_add(1);
}

TEST_F(Process, ProgramThreadReportsTheEndOnce) {
    g_ended = 0;
    cxOsProgramThread rec{};
    rec.program = "/bin/sh";
    rec.args = "-c 'exit 5'";
    rec.ended = Ended;
    rec.userData = &g_ended;
    ASSERT_EQ(OsStartProgramThread(&rec), 0);
    for (int i = 0; i < 500 && g_ended.load() == 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(g_ended.load(), 1);
    OsStopProgramThread(&rec);
    EXPECT_EQ(rec.exitStatus, 5);
    EXPECT_EQ(rec.thread, nullptr);
    OsStopProgramThread(&rec);  // twice is harmless
    EXPECT_EQ(g_ended.load(), 1);
}

TEST_F(Process, StoppingBeforeTheEndReportsNothing) {
    g_ended = 0;
    cxOsProgramThread rec{};
    rec.program = "/bin/sleep";
    rec.args = "0.3";
    rec.ended = Ended;
    rec.userData = &g_ended;
    ASSERT_EQ(OsStartProgramThread(&rec), 0);
    OsStopProgramThread(&rec);
    EXPECT_EQ(g_ended.load(), 0);
}

TEST_F(Process, MissingProgramsStartNoThread) {
    cxOsProgramThread rec{};
    rec.program = "/no/such/program";
    rec.ended = Ended;
    SetErrorDetail(nullptr);
    EXPECT_EQ(OsStartProgramThread(&rec), ERR_EXECUTE);
    EXPECT_STREQ(GetErrorDetail(), "/no/such/program (not found)");
    EXPECT_EQ(rec.thread, nullptr);
    int64_t pid = 0;
    EXPECT_EQ(OsStartProgram("/bin/true", "'open", &pid), ERR_WRONGUSAGE);
    EXPECT_EQ(OsRunCommand("", nullptr, 0, nullptr), ERR_WRONGUSAGE);
}

TEST_F(Process, DetachedProgramsRunWithoutBeingWaitedFor) {
    const std::string mark = dir + "/mark";
    ASSERT_EQ(OsRunCommand("/bin/sh", ("-c 'echo ran > " + mark + "'").c_str(), 1, nullptr), 0);
    struct stat st;
    for (int i = 0; i < 500 && stat(mark.c_str(), &st) != 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(stat(mark.c_str(), &st), 0);
    EXPECT_EQ(OsRunCommand("/no/such/program", nullptr, 1, nullptr), ERR_EXECUTE);
}

TEST_F(Process, EnvironmentAndCurrentFolder) {
    ASSERT_EQ(OsSetEnv("CX_PROC_TEST", "v"), 0);
    char *v = OsGetEnv("CX_PROC_TEST");
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v, "v");
    free(v);
    ASSERT_EQ(OsUnsetEnv("CX_PROC_TEST"), 0);
    EXPECT_EQ(OsGetEnv("CX_PROC_TEST"), nullptr);
    EXPECT_EQ(OsSetEnv("A=B", "x"), ERR_SETENV);
    EXPECT_EQ(OsUnsetEnv(""), ERR_UNSETENV);

    char *start = OsGetCurrentDir();
    ASSERT_NE(start, nullptr);
    char *previous = OsChangeDir(dir.c_str());
    ASSERT_NE(previous, nullptr);
    EXPECT_STREQ(previous, start);
    EXPECT_EQ(OsChangeDir((dir + "/missing").c_str()), nullptr);
    free(previous);
    previous = OsChangeDir(start);
    ASSERT_NE(previous, nullptr);
    free(previous);
    free(start);
}

TEST_F(Process, MovesMountPointsAndLinks) {
    std::ofstream(dir + "/a") << "a";
    EXPECT_EQ(OsMoveFile((dir + "/a").c_str(), (dir + "/b").c_str()), 0);
    EXPECT_EQ(OsMoveFile((dir + "/a").c_str(), (dir + "/c").c_str()), ERR_MOVEFILE);
    struct stat here, shm;
    if (stat("/dev/shm", &shm) == 0 && stat(dir.c_str(), &here) == 0 && here.st_dev != shm.st_dev) {
        // Another device: the caller copies instead.
        EXPECT_EQ(OsMoveFile((dir + "/b").c_str(), "/dev/shm/cxproc-never-created"), ERR_WRONGUSAGE);
        EXPECT_EQ(OsIsMountPoint("/dev/shm"), 1);
    }
    EXPECT_EQ(OsIsMountPoint("/"), 1);
    EXPECT_EQ(OsIsMountPoint(dir.c_str()), 0);
    EXPECT_EQ(OsIsMountPoint((dir + "/missing").c_str()), 1);

    ASSERT_EQ(symlink("nowhere", (dir + "/dangling").c_str()), 0);
    EXPECT_EQ(OsIsSymbolicLink((dir + "/dangling").c_str()), 1);
    EXPECT_EQ(OsPathNameExists((dir + "/dangling").c_str()), 1);
    EXPECT_EQ(OsIsSymbolicLink((dir + "/b").c_str()), 0);
    ASSERT_EQ(OsCopySymbolicLink((dir + "/dangling").c_str(), (dir + "/copy").c_str()), 1);
    char target[64] = {};
    ASSERT_GT(readlink((dir + "/copy").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "nowhere");
    EXPECT_EQ(OsIsSameFile((dir + "/b").c_str(), (dir + "/./b").c_str()), 1);
    EXPECT_EQ(OsIsSameFile((dir + "/b").c_str(), (dir + "/copy").c_str()), 0);
}

}  // namespace

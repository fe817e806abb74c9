// The break handler of the player: the first SIGINT asks the run to end
// through its clean-up; a second one ends the process at once, yet the
// unpacked plug-ins of a linked executable do not stay behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "shell/platform_start.h"
#include "shell/plugins/plugin_package.h"
#include "tests/shell/test_files.h"
#include "tools/cxlink/cxlink.h"

namespace {

namespace fs = std::filesystem;

TEST(Break, ASecondSignalEndsAtOnceAndLeavesNoUnpackedPlugins) {
    cxtest::TempDir dir;
    const std::string tempRoot = dir.Path("tmp");
    fs::create_directory(tempRoot);
    cxtools::LinkBytes package;
    std::string error;
    ASSERT_TRUE(cxtools::BuildPluginPackage({{"one.cxp", {1, 2, 3}}, {"two.cxp", {4, 5}}}, package, error)) << error;
    cxtest::Bytes image(1000 + package.size(), 0x90);
    std::copy(package.begin(), package.end(), image.begin() + 1000);
    const std::string program = dir.Path("program");
    cxtest::WriteBytes(program, image);

    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (ExtractAppendedPlugins(program.c_str(), 1000, tempRoot.c_str(), nullptr) != 0) _exit(2);
            static volatile unsigned int flag = 0;
            OsInstallBreakHandler(nullptr, &flag);
            raise(sig);
            if (!flag) _exit(3);  // the first one only asks
            raise(sig);
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_TRUE(fs::is_empty(tempRoot)) << fs::directory_iterator(tempRoot)->path();
    }
}

}  // namespace

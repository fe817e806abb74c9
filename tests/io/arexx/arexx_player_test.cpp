// An applet that calls an ARexx command ends with the platform's answer.
#include <gtest/gtest.h>

#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

namespace {

TEST(ARexxPlayer, TheCommandsExistAndRefuse) {
    cxtest::TempDir dir;
    const std::string applet = dir.Path("rexx.cxa");
    cxe2e::WriteApplet(applet, R"(
.source "=rexx.cxs"
.line 4
        GETGLOBAL 0 "sendrexxcommand"
        LOADK 1 "SOMEPORT"
        LOADK 2 "QUIT"
        CALL 0 3 1
        RETURN 0 1
)");
    cxe2e::RunResult r = cxe2e::RunPlayer({applet, "-QUIET"});
    EXPECT_EQ(r.status, 1);
    const std::string all = r.out + r.err;
    EXPECT_NE(all.find("This feature is currently not supported on this platform!"), std::string::npos) << all;
    EXPECT_EQ(all.find("not found"), std::string::npos) << all;
    EXPECT_NE(all.find("rexx.cxs:4"), std::string::npos) << all;
}

}  // namespace

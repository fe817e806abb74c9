// The serial library through the real player: an applet opens one end of a
// pseudo-terminal pair, talks to the test at the other end and closes it;
// a missing device is named in the error report.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "tests/io/serial/pty_pair.h"
#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

namespace {

using serialtest::SttyAll;

TEST(SerialPlayer, AnAppletTalksThroughAPort) {
    serialtest::PtyPair pair;
    ASSERT_TRUE(pair.ok());
    const std::string before = SttyAll(pair.near());
    int far = open(pair.far().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(far, 0);
    cxtest::TempDir dir;
    const std::string applet = dir.Path("serial.cxa");
    cxe2e::WriteApplet(applet, R"(
.source "=serial.cxs"
.line 1
        GETGLOBAL 0 "openserialport"
        LOADK 1 #1
        LOADK 2 ")" + pair.near() + R"("
        NEWTABLE 3 0 0
        SETTABLE 3 "baudrate" #7   ; BAUD_115200
        CALL 0 4 1
.line 2
        GETGLOBAL 0 "writeserialdata"
        LOADK 1 #1
        LOADK 2 "ping;"
        CALL 0 3 1
.line 3
        GETGLOBAL 0 "readserialdata"
        LOADK 1 #1
        LOADK 2 #5
        LOADK 3 #10000
        CALL 0 4 2
.line 4
        GETGLOBAL 1 "writeserialdata"
        LOADK 2 #1
        MOVE 3 0
        CALL 1 3 1
.line 5
        GETGLOBAL 0 "closeserialport"
        LOADK 1 #1
        CALL 0 2 1
        RETURN 0 1
)");
    // the far end answers once the applet has set the line up
    std::atomic<bool> stop{false};
    std::string received;
    std::thread peer([&] {
        bool answered = false;
        char buf[256];
        while (!stop) {
            if (!answered && SttyAll(pair.near()).find("speed 115200 baud") != std::string::npos) {
                answered = write(far, "pong!", 5) == 5;
            }
            pollfd p{far, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                ssize_t n = read(far, buf, sizeof buf);
                if (n > 0) received.append(buf, static_cast<size_t>(n));
            }
        }
    });
    cxe2e::RunResult r = cxe2e::RunPlayer({applet, "-QUIET"});
    usleep(200000);
    stop = true;
    peer.join();
    close(far);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(received, "ping;pong!");
    EXPECT_EQ(SttyAll(pair.near()), before);
}

TEST(SerialPlayer, AMissingDeviceIsNamed) {
    cxtest::TempDir dir;
    const std::string applet = dir.Path("missing.cxa");
    cxe2e::WriteApplet(applet, R"(
.source "=missing.cxs"
.line 2
        GETGLOBAL 0 "openserialport"
        LOADNIL 1 1
        LOADK 2 "/dev/cx-no-such-tty"
        CALL 0 3 1
        RETURN 0 1
)");
    cxe2e::RunResult r = cxe2e::RunPlayer({applet, "-QUIET"});
    EXPECT_EQ(r.status, 1);
    const std::string all = r.out + r.err;
    EXPECT_NE(all.find("Error opening serial port /dev/cx-no-such-tty!"), std::string::npos) << all;
    EXPECT_NE(all.find("missing.cxs:2"), std::string::npos) << all;
}

}  // namespace

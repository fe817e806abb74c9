// The download demo run by the real player against the scripted peer: the
// progress of each piece and the final count reach the console.
#include <gtest/gtest.h>

#include <string>

#include "tests/io/net/net_peers.h"
#include "tests/shell/e2e/player_runner.h"

namespace {

TEST(DownloadDemo, ShowsProgressAndTheByteCount) {
    nettest::Peer http({"http"});
    ASSERT_GT(http.port(), 0);
    std::string url = "http://127.0.0.1:" + std::to_string(http.port()) + "/big/20000";
    cxe2e::RunResult r = cxe2e::RunPlayer({CX_DEMO_APPLET, "-url", url});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("20000 of 20000 b"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("downloaded 20000"), std::string::npos) << r.out;

    // (the console dump shows 16 bytes a line)
    // a server that is not there: the system's message, not a crash
    std::string gone = "http://127.0.0.1:" + std::to_string(nettest::FreePort()) + "/";
    r = cxe2e::RunPlayer({CX_DEMO_APPLET, "-url", gone});
    EXPECT_NE(r.status, 0);
    EXPECT_NE((r.out + r.err).find("The following network error occurred"), std::string::npos) << r.out << r.err;
}

} // namespace

// The parsers of server replies on lines of every shape: each stays inside
// its line, and numbers saturate.
#include "io/net/net_replies.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "errors/errors.h"

namespace {

TEST(NetReplies, StatusLinesAndChunkSizes) {
    const struct {
        const char *line;
        int error, number, status;
    } statuses[] = {
        {"HTTP/1.1 200 OK", 0, 0, 200},       {"HTTP/1.0 404", 0, 0, 404},
        {"HTTP/1.1 99999999999999 x", 0, 0, 2147483647},
        {"HTTQ/1.1 200", ERR_HTTPERROR, 1001, 0}, {"HTTP/", ERR_HTTPERROR, 1002, 0},
        {"HTTP/.1 200", ERR_HTTPERROR, 1002, 0},  {"HTTP/1.1", ERR_HTTPERROR, 1003, 0},
    };
    for (const auto &c : statuses) {
        int status = 0;
        SetErrorNumber(0);
        EXPECT_EQ(ParseStatusLine(c.line, &status), c.error) << c.line;
        EXPECT_EQ(GetErrorNumber(), c.number) << c.line;
        if (!c.error) {
            EXPECT_EQ(status, c.status) << c.line;
        }
    }
    const struct {
        const char *line;
        int error;
        unsigned long long size;
    } chunks[] = {{"4", 0, 4}, {"  1aF;ext", 0, 0x1af}, {"0", 0, 0}, {"7fffffff", 0, 0x7fffffff},
                  {"80000000", ERR_HTTPERROR, 0}, {"ffffffffffffffffffff", ERR_HTTPERROR, 0}, {"", ERR_HTTPERROR, 0},
                  {" z", ERR_HTTPERROR, 0}};
    for (const auto &c : chunks) {
        unsigned long long size = 99;
        EXPECT_EQ(ParseChunkSize(c.line, &size), c.error) << c.line;
        if (!c.error) {
            EXPECT_EQ(size, c.size) << c.line;
        }
    }
    EXPECT_EQ(LeadingNumber("123abc"), 123);
    EXPECT_EQ(LeadingNumber("99999999999999999999999"), 0x7fffffffffffffffll);
    EXPECT_EQ(LeadingNumber("-5"), 0);
}

TEST(NetReplies, FtpCodesPasvAndSizes) {
    std::string host;
    int port = 0;
    EXPECT_EQ(ParsePasv("227 Entering Passive Mode (127,0,0,1,4,1)", host, &port), 0);
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 1025);
    for (const char *bad : {"227 (1,2,3,4,5)", "227 (1,2,3,4,5,6,7)", "227 (1,2,3,4,256,1)", "227", ""}) {
        SetErrorNumber(0);
        EXPECT_EQ(ParsePasv(bad, host, &port), ERR_FTPERROR) << bad;
        EXPECT_EQ(GetErrorNumber(), 2) << bad;
    }
    // A SIZE reply of exactly "213" has no size, and the parse reads no
    // byte beyond the three it has.
    auto exact = std::make_unique<char[]>(3);
    memcpy(exact.get(), "213", 3);
    EXPECT_EQ(ParseSizeReply(std::string(exact.get(), 3)), -1);
    EXPECT_EQ(ParseSizeReply("213 4096"), 4096);
    EXPECT_EQ(ParseSizeReply("213 "), -1);
    EXPECT_EQ(BytesInReply("150 Opening BINARY (1234 bytes)"), 1234);
    EXPECT_EQ(BytesInReply("150 12 bytes of 34 bytes"), 34);
    EXPECT_EQ(BytesInReply(" bytes"), -1);
    EXPECT_EQ(FtpReplyCode("220-hello"), 220);
    EXPECT_EQ(FtpReplyCode("hello"), 0);
}

}  // namespace

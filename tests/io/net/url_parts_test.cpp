// Taking URLs apart: encoding, schemes, credentials, ports, FTP types and
// where redirects lead.
#include <gtest/gtest.h>

#include "errors/errors.h"
#include "io/net/url_parts.h"

namespace {

TEST(UrlEncoding, EncodesTheBytesThatNeedIt) {
    std::string out;
    ASSERT_EQ(EncodeUrl("http://h/a b\"<>%\\^[]`+$,{~}\x80", false, out), 0);
    EXPECT_EQ(out, "http://h/a%20b%22%3c%3e%25%5c%5e%5b%5d%60%2b%24%2c%7b%7e%7d%80");
    ASSERT_EQ(EncodeUrl("http://h/p?q=1&r=a:b@c", false, out), 0);
    EXPECT_EQ(out, "http://h/p?q=1&r=a:b@c");
}

TEST(UrlEncoding, AlreadyEncodedKeepsNeededEscapesAndDecodesTheRest) {
    std::string out;
    ASSERT_EQ(EncodeUrl("http://h/%41%20%2f%7E", true, out), 0);
    EXPECT_EQ(out, "http://h/A%20/%7E");
    EXPECT_EQ(EncodeUrl("http://h/%zz", true, out), ERR_WRONGUSAGE);
    EXPECT_EQ(EncodeUrl("http://h/%4", true, out), ERR_WRONGUSAGE);
    EXPECT_EQ(EncodeUrl("http://h/%", true, out), ERR_WRONGUSAGE);
}

struct ParseCase {
    const char *url;
    bool ssl;
    int error;
    const char *host;
    int port;
    const char *path;
    bool secure;
};

TEST(UrlParse, Table) {
    const ParseCase cases[] = {
        {"http://example.org", false, 0, "example.org", 80, "/", false},
        {"HTTP://example.org:8080/x/y", false, 0, "example.org", 8080, "/x/y", false},
        {"https://h/", false, 0, "h", 443, "/", true},
        {"http://h/", true, 0, "h", 443, "/", true},
        {"ftp://h/f", false, 0, "h", 21, "/f", false},
        {"ftps://h/f", false, 0, "h", 21, "/f", true},
        {"gopher://h/", false, ERR_UNKPROTOCOL, "", 0, "", false},
        {"h/x", false, ERR_UNKPROTOCOL, "", 0, "", false},
        {"http://u:p@h:81/z", false, 0, "h", 81, "/z", false},
        {"http://u:@h/", false, ERR_BADURL, "", 0, "", false},
        {"http://:p@h/", false, ERR_BADURL, "", 0, "", false},
        {"http://u@h/", false, ERR_BADURL, "", 0, "", false},
        {"http://h:x/", false, ERR_BADURL, "", 0, "", false},
        {"http://:80/", false, ERR_BADURL, "", 0, "", false},
        {"http://h:99999/", false, ERR_BADURL, "", 0, "", false},
    };
    for (const ParseCase &c : cases) {
        cxUrlParts u;
        EXPECT_EQ(ParseUrl(c.url, c.ssl, u), c.error) << c.url;
        if (c.error) continue;
        EXPECT_EQ(u.host, c.host) << c.url;
        EXPECT_EQ(u.port, c.port) << c.url;
        EXPECT_EQ(u.path, c.path) << c.url;
        EXPECT_EQ(u.secure, c.secure) << c.url;
    }
}

TEST(UrlParse, CredentialsSplitAtFirstColonAndLastAtAndAreDecoded) {
    cxUrlParts u;
    ASSERT_EQ(ParseUrl("ftp://us%24er:pa:ss@word@host/f", false, u), 0);
    EXPECT_TRUE(u.hasCredentials);
    EXPECT_EQ(u.user, "us$er");
    EXPECT_EQ(u.password, "pa:ss@word");
    EXPECT_EQ(u.host, "host");
    EXPECT_EQ(u.serverPart, "us%24er:pa:ss@word@host");
}

TEST(UrlParse, FtpTypeSuffix) {
    cxUrlParts u;
    ASSERT_EQ(ParseUrl("ftp://h/file.txt;type=A", false, u), 0);
    EXPECT_EQ(u.ftpType, 'a');
    EXPECT_EQ(u.path, "/file.txt");
    ASSERT_EQ(ParseUrl("ftp://h/file.bin;type=i", false, u), 0);
    EXPECT_EQ(u.ftpType, 'i');
    EXPECT_EQ(ParseUrl("ftp://h/file.bin;type=x", false, u), ERR_BADURL);
    ASSERT_EQ(ParseUrl("http://h/file.bin;type=x", false, u), 0); // only FTP paths carry a type
}

TEST(UrlRedirect, LocationsResolveAgainstTheCurrentUrl) {
    EXPECT_EQ(ResolveRedirect("http://h/a/b", "http://o/x"), "http://o/x");
    EXPECT_EQ(ResolveRedirect("http://h/", "/x"), "http://h/x");
    EXPECT_EQ(ResolveRedirect("http://h/a/b", "/x"), "http://h/x");
    EXPECT_EQ(ResolveRedirect("http://h/a/b?q=1", "c"), "http://h/a/c");
    EXPECT_EQ(ResolveRedirect("http://h:81", "c"), "http://h:81/c");
}

} // namespace

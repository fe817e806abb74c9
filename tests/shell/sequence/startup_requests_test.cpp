// Start-up requests are taken out of the command line before it is parsed.
#include <gtest/gtest.h>

#include "errors/errors.h"
#include "shell/startup_requests.h"

namespace {

struct Parsed {
    int err;
    cxStartupRequests requests;
    std::vector<std::string> rest;
};

Parsed Extract(std::vector<std::string> args) {
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    Parsed p;
    std::vector<char *> rest;
    p.err = ExtractStartupRequests(static_cast<int>(argv.size()), argv.data(), &p.requests, &rest);
    if (!p.err) {
        EXPECT_EQ(rest.back(), nullptr);
        for (size_t i = 0; i + 1 < rest.size(); i++) p.rest.emplace_back(rest[i]);
    }
    return p;
}

TEST(StartupRequests, AreTakenOutAndTheRestKeepsItsOrder) {
    Parsed p = Extract({"player", "-Compile", "a.cxa", "-vocabcommands", "c.txt", "-foo", "bar", "-PLUGININFO",
                        "-VOCABCONSTANTS", "k.txt", "-VocabPreproc", "p.txt", "-QUIET"});
    ASSERT_EQ(p.err, 0);
    EXPECT_TRUE(p.requests.compile);
    EXPECT_TRUE(p.requests.pluginInfo);
    EXPECT_EQ(p.requests.vocabCommands, "c.txt");
    EXPECT_EQ(p.requests.vocabConstants, "k.txt");
    EXPECT_EQ(p.requests.vocabPreproc, "p.txt");
    EXPECT_TRUE(p.requests.WantsExport());
    EXPECT_EQ(p.rest, (std::vector<std::string>{"player", "a.cxa", "-foo", "bar", "-QUIET"}));
}

TEST(StartupRequests, ARequestWithoutItsFileIsAWrongArgument) {
    for (auto args : {std::vector<std::string>{"player", "a.cxa", "-VOCABCOMMANDS"},
                      std::vector<std::string>{"player", "-VOCABPREPROC", ""}}) {
        Parsed p = Extract(args);
        EXPECT_EQ(p.err, ERR_ARGS);
        EXPECT_STREQ(GetErrorDetail(), args[args.size() - (args.back().empty() ? 2 : 1)].c_str());
    }
    // The program's own name is never a request, and plain tokens stay.
    Parsed p = Extract({"-compile", "compile"});
    ASSERT_EQ(p.err, 0);
    EXPECT_FALSE(p.requests.compile);
    EXPECT_EQ(p.rest, (std::vector<std::string>{"-compile", "compile"}));
}

}  // namespace

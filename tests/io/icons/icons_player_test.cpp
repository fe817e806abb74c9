// The icon library through the real player: an applet builds an icon from
// image files and saves it, loads the file and saves it again; an applet
// that declares an icon file has it read at start-up.
#include <gtest/gtest.h>

#include "tests/io/icons/icon_png.h"
#include "tests/shell/e2e/player_runner.h"
#include "tests/shell/test_files.h"

namespace {

using icontest::Image;
using icontest::Pattern;
using icontest::ReadPng;
using icontest::WritePng;

TEST(IconsPlayer, BuildSaveLoadAndSaveAgain) {
    cxtest::TempDir dir;
    ASSERT_TRUE(WritePng(dir.Path("16.png"), Pattern(16, 16, 1, true)));
    ASSERT_TRUE(WritePng(dir.Path("32.png"), Pattern(32, 32, 2, false)));
    const std::string first = dir.Path("first.png"), second = dir.Path("second.png");
    const std::string applet = dir.Path("icons.cxa");
    cxe2e::WriteApplet(applet, R"(
.source "=icons.cxs"
.line 1
        NEWTABLE 1 0 0
        NEWTABLE 2 0 0
        SETTABLE 2 "type" #44
        SETTABLE 2 "image" ")" + dir.Path("32.png") + R"("
        SETTABLE 2 "standard" #1
        SETTABLE 1 #0 2
        NEWTABLE 2 0 0
        SETTABLE 2 "type" #44
        SETTABLE 2 "image" ")" + dir.Path("16.png") + R"("
        SETTABLE 1 #1 2
        GETGLOBAL 0 "createicon"
        LOADK 2 #1
        MOVE 3 1
        MOVE 1 2
        MOVE 2 3
        CALL 0 3 1
.line 2
        GETGLOBAL 0 "saveicon"
        LOADK 1 #1
        LOADK 2 ")" + first + R"("
        CALL 0 3 1
.line 3
        GETGLOBAL 0 "loadicon"
        LOADNIL 1 1
        LOADK 2 ")" + first + R"("
        CALL 0 3 2
.line 4
        GETGLOBAL 1 "saveicon"
        MOVE 2 0
        LOADK 3 ")" + second + R"("
        CALL 1 3 1
        RETURN 0 1
)");
    cxe2e::RunResult r = cxe2e::RunPlayer({applet, "-QUIET"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    Image a, b;
    ASSERT_TRUE(ReadPng(first, &a));
    ASSERT_TRUE(ReadPng(second, &b));
    EXPECT_EQ(a.width, 32);
    EXPECT_EQ(a.height, 1 + 17 + 33);
    EXPECT_EQ(a.at(2, 1), 2u);  // 16 x 16 with alpha
    EXPECT_EQ(a.at(2, 18), 4u); // 32 x 32, the standard size
    EXPECT_EQ(a.px, b.px);
}

TEST(IconsPlayer, TheDeclaredIconIsReadAtStartUp) {
    cxtest::TempDir dir;
    // an icon file written by the library in a first run
    ASSERT_TRUE(WritePng(dir.Path("16.png"), Pattern(16, 16, 1, true)));
    const std::string icon = dir.Path("app.png");
    const std::string maker = dir.Path("maker.cxa");
    cxe2e::WriteApplet(maker, R"(
        NEWTABLE 1 0 0
        NEWTABLE 2 0 0
        SETTABLE 2 "type" #44
        SETTABLE 2 "image" ")" + dir.Path("16.png") + R"("
        SETTABLE 1 #0 2
        GETGLOBAL 0 "createicon"
        LOADK 2 #1
        MOVE 3 1
        MOVE 1 2
        MOVE 2 3
        CALL 0 3 1
        GETGLOBAL 0 "saveicon"
        LOADK 1 #1
        LOADK 2 ")" + icon + R"("
        CALL 0 3 1
        RETURN 0 1
)");
    ASSERT_EQ(cxe2e::RunPlayer({maker, "-QUIET"}).status, 0);
    const std::string body = "        RETURN 0 1\n";
    const std::string good = dir.Path("good.cxa"), bad = dir.Path("bad.cxa");
    cxe2e::WriteApplet(good, body, {cxtools::DeclaredItem{17, 0, icon, {}}});
    cxe2e::RunResult r = cxe2e::RunPlayer({good});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Loading icon app.png...done"), std::string::npos) << r.out;
    // a plain picture is no icon file: the start ends with the reason
    cxe2e::WriteApplet(bad, body, {cxtools::DeclaredItem{17, 0, dir.Path("16.png"), {}}});
    r = cxe2e::RunPlayer({bad, "-QUIET"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE((r.out + r.err).find("is in an unknown/unsupported format!"), std::string::npos) << r.out << r.err;
}

}  // namespace

// The platform requesters: a GTK dialog under the test's X server answered
// with a key press, and the terminal prompts that stand in without GTK,
// driven through the "ask" display mode.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "display/requesters.h"
#include "errors/error_codes.h"
#include "window/gtk/os_requesters.h"
#include "tests/display/displays/display_fixture.h"

namespace {

using cxtest::DisplayTest;

class TerminalPrompts : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        OsSetGtkDisabled(1);
        saved_ = dup(fileno(stdin));
    }
    void TearDown() override {
        fflush(stdin);
        dup2(saved_, fileno(stdin));
        close(saved_);
        clearerr(stdin);
        OsSetGtkDisabled(0);
        DisplayTest::TearDown();
    }
    // The answers typed at the prompts.
    void Answer(const char *text) {
        char path[] = "/tmp/cx_answers_XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, text, strlen(text)), ssize_t(strlen(text)));
        close(fd);
        ASSERT_NE(freopen(path, "r", stdin), nullptr);
        unlink(path);
    }
    int saved_ = -1;
};

TEST_F(TerminalPrompts, AskModeTakesTheTypedChoice) {
    Answer("2\n");
    ASSERT_EQ(Create(1, {{"mode", "ask"}}), 0);
    // Windowed: the display opens (or fails for want of an X server, but not
    // with the user's abort).
    const int err = Cmd("OpenDisplay", {1});
    EXPECT_NE(err, ERR_USERABORT);
    EXPECT_EQ(Display(1)->mode, 1u);
}

TEST_F(TerminalPrompts, AskModeCancelledEndsTheRun) {
    Answer("4\n");
    ASSERT_EQ(Create(1, {{"mode", "ask"}}), 0);
    EXPECT_EQ(Cmd("OpenDisplay", {1}), ERR_USERABORT);
    Answer("");  // no answer at all counts as cancelled
    EXPECT_EQ(Cmd("OpenDisplay", {1}), ERR_USERABORT);
    EXPECT_EQ(Display(1)->os.state, 0u);
}

TEST_F(TerminalPrompts, TextAndListPrompts) {
    Answer("\nsecond\n3\n");
    char *text = nullptr;
    ASSERT_EQ(RunStringRequester(L, nullptr, "T", "Name?", "first", 0, 0, &text), 0);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "first");  // an empty line takes the default
    free(text);
    ASSERT_EQ(RunStringRequester(L, nullptr, "T", "Name?", "first", 0, 0, &text), 0);
    EXPECT_STREQ(text, "second");
    free(text);
    int index = -2;
    ASSERT_EQ(RunListRequester(L, nullptr, "T", "Pick", "a\0b\0c\0", 0, 0, &index), 0);
    EXPECT_EQ(index, 2);
    ASSERT_EQ(RunListRequester(L, nullptr, "T", "Pick", "a\0b\0c\0", 0, 0, &index), 0);
    EXPECT_EQ(index, -1);  // the end of the input: cancelled
}

class GtkRequesters : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        if (system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
        if (!OsHasGtkRequesters()) GTEST_SKIP() << "no GTK 2";
    }
};

TEST_F(GtkRequesters, SystemRequesterAnsweredWithReturn) {
    // The key goes to the dialog once it is on the screen.
    ASSERT_EQ(system("(xdotool search --sync --name 'Calyxtone smoke' windowfocus --sync key Return "
                     ">/dev/null 2>&1 &)"),
              0);
    int choice = -1;
    ASSERT_EQ(RunSystemRequester(L, nullptr, "Calyxtone smoke", "Proceed?", "Yes|No", 2, 0, &choice), 0);
    EXPECT_EQ(choice, 1);
}

}  // namespace

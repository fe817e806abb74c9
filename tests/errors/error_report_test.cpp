// The error report: position of the error, requester body in both forms,
// the 1,024-byte bound, the console lines and percent escaping.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "errors/errors.h"
#include "tests/errors/error_state.h"

namespace {

std::string Report(const char *message, int plain = 0) {
    char body[4096];
    BuildErrorReport(nullptr, message, plain, body, sizeof body);
    return body;
}

using ErrorReport = ErrorStateTest;

TEST_F(ErrorReport, BodyNamesFileLineAndCommand) {
    SetErrorPosition(12, "main.cx", "DisplayBrush");
    EXPECT_EQ(Report("Could not find brush 1!"),
              "Could not find brush 1!\nFile: main.cx (current line: 12 - In function: DisplayBrush)");
    SetErrorPosition(7, "main.cx", "----");
    EXPECT_EQ(Report("Could not find brush 1!"), "Could not find brush 1!\nFile: main.cx (current line: 7)");
    SetErrorPosition(7, "main.cx", nullptr);
    EXPECT_EQ(Report("Boom"), "Boom\nFile: main.cx (current line: 7)");
}

TEST_F(ErrorReport, BodyIsTheMessageAloneWithoutAPosition) {
    SetErrorPosition(12, "main.cx", "DisplayBrush");
    EXPECT_EQ(Report("Boom", 1), "Boom");
    SetErrorPositionReporting(0);
    EXPECT_EQ(Report("Boom"), "Boom");
    SetErrorPositionReporting(1);
    ResetErrorPosition();
    EXPECT_EQ(Report("Boom"), "Boom");
    EXPECT_EQ(Report(nullptr, 1), "");
}

TEST_F(ErrorReport, BodyIsCutAt1024Bytes) {
    std::string longMessage(2000, 'm');
    EXPECT_EQ(Report(longMessage.c_str(), 1).size(), static_cast<size_t>(CX_REPORT_BODY_MAX));

    std::string message(1000, 'm');
    SetErrorPosition(123456, std::string(900, 's').c_str(), "DisplayBrush");
    std::string body = Report(message.c_str());
    EXPECT_EQ(body.size(), static_cast<size_t>(CX_REPORT_BODY_MAX));
    EXPECT_EQ(body.substr(0, 1008), message + "\nFile: s");

    char small[32];
    memset(small, 'X', sizeof small);
    EXPECT_EQ(BuildErrorReport(nullptr, message.c_str(), 0, small, 20), 19u);
    EXPECT_EQ(small[20], 'X');
}

TEST_F(ErrorReport, CatalogWordsAreUsedAsText) {
    SetMessageOverride([](unsigned id) -> const char * {
        switch (id) {
        case CX_MSG_FILE: return "Datei %s";
        case CX_MSG_CURRENT_LINE: return "Zeile %d";
        case CX_MSG_IN_FUNCTION: return "In Funktion";
        default: return nullptr;
        }
    });
    SetErrorPosition(3, "a.cx", "Wait");
    EXPECT_EQ(Report("Boom"), "Boom\nDatei %s: a.cx (Zeile %d: 3 - In Funktion: Wait)");
}

TEST_F(ErrorReport, IncludeListMapsThePosition) {
    SetErrorPosition(120, "main.cx", "----");
    SetErrorLineMapper([](lua_State *, const char **source, int *line) {
        if (*line > 100) {
            *source = "include/tools.cx";
            *line -= 100;
        }
    });
    EXPECT_EQ(Report("Boom"), "Boom\nFile: include/tools.cx (current line: 20)");

    SetErrorDetail("x");
    SetErrorNumber(2);
    char text[256];
    const char *source = "untouched";
    int line = -99;
    EXPECT_EQ(GetErrorInfo(nullptr, ERR_NUMEXPECTED, text, sizeof text, &source, &line), text);
    EXPECT_STREQ(text, "Number expected in argument 2!");
    EXPECT_STREQ(source, "include/tools.cx");
    EXPECT_EQ(line, 20);

    SetErrorPositionReporting(0);
    GetErrorInfo(nullptr, ERR_NUMEXPECTED, text, sizeof text, &source, &line);
    EXPECT_STREQ(text, "Number expected in argument 2!");
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(line, 0);

    SetErrorPositionReporting(1);
    ResetErrorPosition();
    GetErrorInfo(nullptr, ERR_MEM, text, sizeof text, &source, &line);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(line, 0);
    GetErrorInfo(nullptr, ERR_MEM, text, sizeof text, nullptr, nullptr);
    EXPECT_STREQ(text, "Out of memory!");
}

struct Shown {
    std::string title, body;
    int flags = -1;
    int calls = 0;
};
Shown g_shown;

TEST_F(ErrorReport, RequesterHookShowsTheReport) {
    g_shown = Shown{};
    SetErrorRequester([](lua_State *, const char *title, const char *body, int flags) {
        g_shown.title = title;
        g_shown.body = body;
        g_shown.flags = flags;
        ++g_shown.calls;
        return 42;
    });
    SetErrorPosition(5, "game.cx", "PlaySample");
    EXPECT_EQ(ShowErrorReport(nullptr, "Could not find sample 3!", 0, 6), 42);
    EXPECT_EQ(g_shown.calls, 1);
    EXPECT_EQ(g_shown.title, "CalyxtonePlayer");
    EXPECT_EQ(g_shown.body, "Could not find sample 3!\nFile: game.cx (current line: 5 - In function: PlaySample)");
    EXPECT_EQ(g_shown.flags, 6);

    std::string longMessage(5000, 'x');
    ShowErrorReport(nullptr, longMessage.c_str(), 1, 0);
    EXPECT_EQ(g_shown.body.size(), static_cast<size_t>(CX_REPORT_BODY_MAX));
}

TEST_F(ErrorReport, WithoutARequesterTheReportGoesToTheConsole) {
    SetErrorPosition(5, "game.cx", "----");
    testing::internal::CaptureStdout();
    EXPECT_EQ(ShowErrorReport(nullptr, "Disk full 100% %s %n", 0, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Disk full 100% %s %n\nFile: game.cx (current line: 5)\n");
}

TEST_F(ErrorReport, ConsoleForms) {
    char out[256];
    EXPECT_EQ(FormatConsoleError("main.cx", 12, "Out of memory!", out, sizeof out),
              strlen("main.cx:12: Out of memory!\n"));
    EXPECT_STREQ(out, "main.cx:12: Out of memory!\n");
    FormatConsoleError(nullptr, 12, "Out of memory!", out, sizeof out);
    EXPECT_STREQ(out, "Error: Out of memory!\n");
    FormatConsoleError("", 0, "50% %s", out, sizeof out);
    EXPECT_STREQ(out, "Error: 50% %s\n");
    FormatConsoleError("main.cx", -1, "x", out, 8);
    EXPECT_STREQ(out, "main.cx");

    testing::internal::CaptureStdout();
    PrintConsoleError("main.cx", 3, "Boom %s %n");
    PrintConsoleError(nullptr, 0, "Boom %d");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "main.cx:3: Boom %s %n\nError: Boom %d\n");
}

TEST_F(ErrorReport, EscapePercentSigns) {
    struct Case { const char *text; const char *expected; } cases[] = {
        {"50%", "50%%"},
        {"%s%d", "%%s%%d"},
        {"%%", "%%%%"},
        {"no percent", nullptr},
        {"", nullptr},
        {nullptr, nullptr},
    };
    for (const auto &c : cases) {
        char *escaped = EscapePercentSigns(c.text);
        if (c.expected) {
            ASSERT_NE(escaped, nullptr) << c.text;
            EXPECT_STREQ(escaped, c.expected);
        } else {
            EXPECT_EQ(escaped, nullptr);
        }
        free(escaped);
    }
}

}  // namespace

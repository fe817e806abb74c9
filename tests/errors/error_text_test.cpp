// The message of an error code: placeholders, file names, verbatim details,
// unknown and registered codes, and the bounds of every buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "errors/errors.h"
#include "tests/errors/error_state.h"

namespace {

std::string Text(int code) {
    char buffer[4096];
    return GetErrorText(code, buffer, sizeof buffer);
}

using ErrorText = ErrorStateTest;

TEST_F(ErrorText, FileErrorsShowOnlyTheFilePart) {
    const int fileCodes[] = {ERR_LOADPICTURE, ERR_READFILE,     ERR_OPENSOUND,  ERR_NOALPHA,
                             ERR_OPENANIM2,   ERR_OPENSOUND2,   ERR_LOADPICTURE2, ERR_IMAGEERROR,
                             ERR_LOADVIDEO,   ERR_NOTRANSPARENCY};
    for (const char *path : {"/home/user/media/pics/photo.png", "C:\\media\\pics\\photo.png",
                             "Work:media/pics/photo.png", "Work:photo.png"}) {
        SetErrorDetail(path);
        for (int code : fileCodes) {
            std::string text = Text(code);
            EXPECT_NE(text.find("photo.png"), std::string::npos) << code << ": " << text;
            EXPECT_EQ(text.find("pics"), std::string::npos) << code << ": " << text;
            EXPECT_EQ(text.find("Work"), std::string::npos) << code << ": " << text;
        }
        // Any other code that names a file shows the detail as it is.
        EXPECT_EQ(Text(ERR_WRITEFILE), std::string("Cannot write to file ") + path + " !");
    }
    SetErrorDetail("/data/sounds/boom.wav");
    EXPECT_EQ(Text(ERR_READFILE), "Cannot read file boom.wav !");
    EXPECT_EQ(Text(ERR_OPENSOUND2), "Sound file \"boom.wav\" is in an unknown/unsupported format!");
    EXPECT_EQ(Text(ERR_EXAMINE), "Could not examine /data/sounds/boom.wav!");
    SetErrorDetail("/data/sounds/");
    EXPECT_EQ(Text(ERR_READFILE), "Cannot read file  !");
}

TEST_F(ErrorText, NumbersAndDetailsFillTheirPlaceholders) {
    struct Case { int code; const char *detail; int number; const char *expected; } cases[] = {
        {ERR_NUMEXPECTED, "ignored", 2, "Number expected in argument 2!"},
        {ERR_STREXPECTED, "", 11, "String expected in argument 11!"},
        {ERR_FINDBRUSH, "", -3, "Could not find brush -3!"},
        {ERR_FINDBRUSH, "", INT_MIN, "Could not find brush -2147483648!"},
        {ERR_NUMTABLEARG, "width", 9, "Number expected in table argument \"width\"!"},
        {ERR_OLDAPPLET, "6.0", 0, "This functionality is only available to applets compiled by Calyxtone 6.0 or higher!"},
        {ERR_FIELDINIT, "\"missing\"", 0, "Table field \"missing\" was not initialized!"},
        {ERR_MEM, "x", 5, "Out of memory!"},
        // A detail is text, never a format.
        {ERR_TABLEDECLA, "%s%d%n%x", 1, "Table %s%d%n%x not found!"},
        {ERR_NONE, "x", 1, "No error occurred!"},
        {ERR_USERABORT, "", 0, "User abort!"},
    };
    for (const auto &c : cases) {
        SetErrorDetail(c.detail);
        SetErrorNumber(c.number);
        EXPECT_EQ(Text(c.code), c.expected) << c.code;
    }
}

// A message without a "%s" gets what it cannot say on a line of its own,
// for its own code only, and only while the detail is the one the reason
// came with.
TEST_F(ErrorText, ReasonsFollowMessagesThatCannotNameThem) {
    SetErrorDetail("/data/box/x.txt");
    SetErrorReason(ERR_DELETEFILE, "/data/box/x.txt: Permission denied");
    EXPECT_EQ(Text(ERR_DELETEFILE), "Could not delete file!\n/data/box/x.txt: Permission denied");
    EXPECT_EQ(Text(ERR_RENAME), "Could not rename file!");
    EXPECT_EQ(GetErrorReason(ERR_RENAME), nullptr);
    SetErrorDetail("/data/other");
    EXPECT_EQ(Text(ERR_DELETEFILE), "Could not delete file!");
    SetErrorDetail("/data/box/x.txt");
    SetErrorReason(ERR_DELETEFILE, nullptr);
    EXPECT_EQ(Text(ERR_DELETEFILE), "Could not delete file!");
    // Cut like the rest to the buffer.
    SetErrorReason(ERR_DELETEFILE, std::string(1000, 'r').c_str());
    char small[40];
    GetErrorText(ERR_DELETEFILE, small, sizeof small);
    EXPECT_EQ(strlen(small), sizeof small - 1);
}

TEST_F(ErrorText, DetailCodesGiveTheDetailVerbatim) {
    struct Case { int code; const char *detail; } cases[] = {
        {ERR_ERRORCALLED, "boom"},
        {ERR_ERRORCALLED, "50% done, %s %d %n"},
        {ERR_ERRORCALLED, ""},
        {ERR_OPENFONT, "Cannot open font /fonts/big.ttf with size 12!"},
        {ERR_CONFIG2, "Unknown option %d in line 3"},
        {ERR_ERRORCALLED, ":::chunk1:2*a.png?b"},
    };
    for (const auto &c : cases) {
        SetErrorDetail(c.detail);
        SetErrorNumber(77);
        EXPECT_EQ(Text(c.code), c.detail) << c.code;
    }
}

TEST_F(ErrorText, CodesWithoutAMessageAreUnknown) {
    SetErrorDetail("detail");
    for (int code : {-5, -1, 1, 999, 1249, 1406, 1407, 1408, 1603, 1606, 1630, 1650, 1700,
                     INT_MIN, INT_MIN + 1, INT_MAX})
        EXPECT_EQ(Text(code), "Unknown error code!") << code;
    EXPECT_EQ(GetErrorMessageId(-5), CX_MESSAGE_NONE);
    EXPECT_EQ(GetErrorMessageId(INT_MAX), CX_MESSAGE_NONE);
}

TEST_F(ErrorText, LinkedFileNamesComeFromTheResolver) {
    SetErrorDetail(":::chunk4096:2000*gfx/title.png?applet");
    EXPECT_EQ(Text(ERR_READFILE), "Cannot read file unknown !");
    EXPECT_EQ(Text(ERR_EXAMINE), "Could not examine unknown!");

    static int calls;
    calls = 0;
    SetChunkNameResolver([](const char *chunk, char *out, size_t size) -> int {
        ++calls;
        EXPECT_EQ(strncmp(chunk, ":::chunk", 8), 0);
        snprintf(out, size, "%s", "gfx/title.png");
        return 1;
    });
    EXPECT_EQ(Text(ERR_READFILE), "Cannot read file title.png !");
    EXPECT_EQ(Text(ERR_EXAMINE), "Could not examine gfx/title.png!");
    EXPECT_EQ(calls, 2);
    // Without a "%s" there is nothing to name.
    SetErrorNumber(3);
    EXPECT_EQ(Text(ERR_NUMEXPECTED), "Number expected in argument 3!");
    EXPECT_EQ(calls, 2);

    SetChunkNameResolver([](const char *, char *out, size_t size) -> int {
        snprintf(out, size, "%s", "half-written");
        return 0;
    });
    EXPECT_EQ(Text(ERR_READFILE), "Cannot read file unknown !");

    // A resolver that fills its whole buffer without terminating it.
    SetChunkNameResolver([](const char *, char *out, size_t size) -> int {
        memset(out, 'n', size);
        return 1;
    });
    std::string text = Text(ERR_EXAMINE);
    EXPECT_EQ(text.size(), strlen("Could not examine !") + CX_ERROR_DETAIL_MAX);
}

TEST_F(ErrorText, OutputStaysInsideTheBuffer) {
    std::string longDetail(3000, 'd');
    SetErrorDetail(longDetail.c_str());  // kept to CX_ERROR_DETAIL_MAX bytes
    EXPECT_EQ(Text(ERR_TABLEDECLA).size(), strlen("Table  not found!") + CX_ERROR_DETAIL_MAX);

    char small[16];
    memset(small, 'X', sizeof small);
    GetErrorText(ERR_TABLEDECLA, small, 10);
    EXPECT_STREQ(small, "Table ddd");
    EXPECT_EQ(small[10], 'X');

    char one[2] = {'X', 'X'};
    GetErrorText(ERR_MEM, one, 1);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(one[1], 'X');
    GetErrorText(ERR_MEM, one, 0);  // nothing written
    EXPECT_EQ(one[1], 'X');
    EXPECT_EQ(GetErrorText(ERR_MEM, nullptr, 100), nullptr);

    SetErrorDetail("Cannot open font a with size 9!");
    GetErrorText(ERR_OPENFONT, small, 8);
    EXPECT_STREQ(small, "Cannot ");
}

TEST_F(ErrorText, CatalogTextsAreFilledSafely) {
    static unsigned brushId;
    brushId = static_cast<unsigned>(GetErrorMessageId(ERR_FINDBRUSH));
    SetMessageOverride([](unsigned id) -> const char * {
        if (id == brushId) return "Pinsel %d fehlt (%s) %n %x 100%";
        if (id == CX_MSG_UNKNOWN_CODE) return "Unbekannter Fehlercode!";
        return nullptr;
    });
    SetErrorDetail("d");
    SetErrorNumber(4);
    EXPECT_EQ(Text(ERR_FINDBRUSH), "Pinsel 4 fehlt (d) %n %x 100%");
    EXPECT_EQ(Text(1700), "Unbekannter Fehlercode!");
    EXPECT_EQ(Text(ERR_MEM), "Out of memory!");
}

TEST_F(ErrorText, PlaceholderFilling) {
    struct Case { const char *text; const char *detail; int number; const char *expected; } cases[] = {
        {"%s %d %x %n", "a", 5, "a 5 %x %n"},
        {"%d%d%s%s", "x", 7, "7%dx%s"},
        {"100%", "x", 1, "100%"},
        {"%", "x", 1, "%"},
        {"%%s", "X", 0, "%X"},
        {"no placeholders", "x", 1, "no placeholders"},
        {"[%s]", nullptr, 0, "[]"},
        {"%-20s%.*d%5$s", "x", 1, "%-20s%.*d%5$s"},
        {"", "x", 1, ""},
        {nullptr, "x", 1, ""},
    };
    for (const auto &c : cases) {
        char out[64];
        size_t n = FillMessagePlaceholders(c.text, c.detail, c.number, out, sizeof out);
        EXPECT_STREQ(out, c.expected) << (c.text ? c.text : "(null)");
        EXPECT_EQ(n, strlen(c.expected));
    }
    char out[8];
    memset(out, 'X', sizeof out);
    EXPECT_EQ(FillMessagePlaceholders("ab%scd", "0123456789", 0, out, 6), 5u);
    EXPECT_STREQ(out, "ab012");
    EXPECT_EQ(out[6], 'X');
    EXPECT_EQ(FillMessagePlaceholders("abc", "", 0, out, 0), 0u);
    EXPECT_EQ(out[6], 'X');
}

using CustomErrors = ErrorStateTest;

TEST_F(CustomErrors, CodesFollowRegistrationOrder) {
    EXPECT_EQ(RegisterErrorCode("First custom error"), 1630);
    EXPECT_EQ(RegisterErrorCode("Second custom error, file %s, item %d"), 1631);
    SetErrorDetail("/tmp/a.txt");
    SetErrorNumber(12);
    EXPECT_EQ(Text(1630), "First custom error");
    EXPECT_EQ(Text(1631), "Second custom error, file /tmp/a.txt, item 12");
    EXPECT_EQ(Text(1632), "Unknown error code!");
    EXPECT_EQ(Text(1650), "Unknown error code!");
}

TEST_F(CustomErrors, TextsAreFilledNeverFormatted) {
    int code = RegisterErrorCode("%s %d %x %n");
    ASSERT_EQ(code, 1630);
    SetErrorDetail("detail");
    SetErrorNumber(3);
    EXPECT_EQ(Text(code), "detail 3 %x %n");

    std::string huge(5000, 'h');
    int hugeCode = RegisterErrorCode(huge.c_str());
    char buffer[CX_REPORT_BODY_MAX + 1];
    GetErrorText(hugeCode, buffer, sizeof buffer);
    EXPECT_EQ(strlen(buffer), static_cast<size_t>(CX_REPORT_BODY_MAX));

    EXPECT_EQ(Text(RegisterErrorCode(nullptr)), "");
}

TEST_F(CustomErrors, CleanUpFreesTheTexts) {
    RegisterErrorCode("one");
    RegisterErrorCode("two");
    FreeCustomErrors();
    EXPECT_EQ(Text(1630), "Unknown error code!");
    EXPECT_EQ(RegisterErrorCode("again"), 1630);
    EXPECT_EQ(Text(1630), "again");
}

}  // namespace

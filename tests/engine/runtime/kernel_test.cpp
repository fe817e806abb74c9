// Kernel tags, console output, bounded copies, dates and the list helpers.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tests/engine/runtime/vm_fixture.h"

namespace {

using cxtest::VmTest;

TEST_F(VmTest, KernelTagsAreSetAndRead) {
    int quiet = -1, nesting = -1, preload = -1, hookOff = -1, abortFlag = -1, unknown = 77;
    SetKernelTags(L, CX_KTAG_QUIET, 1, CX_KTAG_PRELOADING, 1, CX_KTAG_CALLBACKNESTING, 1, CX_KTAG_CALLBACKNESTING, 1,
                  CX_KTAG_CALLBACKNESTING, 0, 999, 5, CX_KTAG_END);
    *GetUserAbortFlagAddress() = 1;
    GetKernelTags(L, CX_KTAG_QUIET, &quiet, CX_KTAG_CALLBACKNESTING, &nesting, CX_KTAG_PRELOADING, &preload,
                  CX_KTAG_LINEHOOKOFF, &hookOff, CX_KTAG_USERABORT, &abortFlag, 999, &unknown, CX_KTAG_END);
    EXPECT_EQ(quiet, 1);
    EXPECT_EQ(nesting, 1);
    EXPECT_EQ(preload, 1);
    EXPECT_EQ(hookOff, 0);
    EXPECT_EQ(abortFlag, 1);
    EXPECT_EQ(unknown, 77);
    SetKernelTags(L, CX_KTAG_USERABORT, 0, CX_KTAG_CALLBACKNESTING, 0, CX_KTAG_CALLBACKNESTING, 0, CX_KTAG_END);
    GetKernelTags(L, CX_KTAG_USERABORT, &abortFlag, CX_KTAG_CALLBACKNESTING, &nesting, CX_KTAG_END);
    EXPECT_EQ(abortFlag, 0);
    EXPECT_EQ(nesting, 0); // never below zero
    EXPECT_EQ(LegacyControl("singlemusic", -1), 0);
    ASSERT_EQ(OpenScriptLibraries(L), 0);
    EXPECT_EQ(LegacyControl("singlemusic", -1), 1);
    EXPECT_EQ(LegacyControl("other", 1), -1);
}

TEST_F(VmTest, LineHookCommandsSwitchTheKernelTag) {
    ASSERT_EQ(OpenScriptLibraries(L), 0);
    int off = -1;
    EXPECT_EQ(Call("DisableLineHook"), 0);
    GetKernelTags(L, CX_KTAG_LINEHOOKOFF, &off, CX_KTAG_END);
    EXPECT_EQ(off, 1);
    EXPECT_EQ(Call("EnableLineHook"), 0);
    GetKernelTags(L, CX_KTAG_LINEHOOKOFF, &off, CX_KTAG_END);
    EXPECT_EQ(off, 0);
    EXPECT_EQ(Call("EnableLineHook", [&] { lua_pushnumber(L, 1); }), ERR_TOOMANYARGS);
}

TEST_F(VmTest, ProgressLinesHonourQuiet) {
    testing::internal::CaptureStdout();
    PrintStatusMessage("Loading brush %s", "/data/pics/sky.png", 1);
    PrintDoneMessage();
    PrintStatusMessage("Opening file %s", "C:name.txt", 0);
    PrintMessage("[%d]\n", 5);
    SetKernelTags(L, CX_KTAG_QUIET, 1, CX_KTAG_END);
    PrintStatusMessage("Loading brush %s", "x.png", 1);
    PrintDoneMessage();
    PrintMessage("still printed\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Loading brush sky.png...done\nOpening file name.txt[5]\nstill printed\n");
}

// A progress line left open by a load that failed is ended before what
// follows needs a line of its own; one already ended is not ended twice.
TEST_F(VmTest, AnOpenProgressLineIsEndedOnce) {
    testing::internal::CaptureStdout();
    EndProgressLine();
    PrintStatusMessage("Loading brush %s", "gone.png", 1);
    EndProgressLine();
    EndProgressLine();
    PrintStatusMessage("Loading brush %s", "ok.png", 1);
    PrintDoneMessage();
    EndProgressLine();
    PrintStatusMessage("Opening file %s", "f", 0);
    PrintMessage("[%d]\n", 5);
    EndProgressLine();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Loading brush gone.png...\nLoading brush ok.png...done\nOpening file f[5]\n");
}

TEST(TextUtils, BoundedCopiesReportTruncation) {
    char buf[6];
    EXPECT_EQ(StrCopySafe(buf, sizeof buf, "hello"), 1);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(StrCopySafe(buf, sizeof buf, "hello!"), 0);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(StrCopySafe(buf, 0, "x"), 0);
    StrCopySafe(buf, sizeof buf, "ab");
    EXPECT_EQ(StrCatSafe(buf, sizeof buf, "cd"), 1);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(StrCatSafe(buf, sizeof buf, "ef"), 0);
    EXPECT_STREQ(buf, "abcde");
    char full[3] = {'x', 'y', 'z'}; // no terminator: left alone
    EXPECT_EQ(StrCatSafe(full, sizeof full, "a"), 0);
    EXPECT_EQ(full[2], 'z');
}

TEST(TextUtils, DatesUseEnglishMonths) {
    struct tm t {};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 8;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    char buf[256];
    EXPECT_STREQ(FormatDate(buf, static_cast<long long>(mktime(&t))), "05-Mar-2024 07:08:09");
    // Past a 32-bit time_t: the date, or no text where time_t cannot hold it,
    // never a date wrapped into 1901.
    const char *far = FormatDate(buf, 2147688000LL);
    if (sizeof(time_t) >= 8)
        EXPECT_EQ(std::string(far).substr(0, 11), "21-Jan-2038");
    else
        EXPECT_STREQ(far, "");
    EXPECT_EQ(strlen(FormatCurrentDate(buf)), 20u);
}

TEST(Lists, NodesMoveBetweenPositionsAndLists) {
    cxList a, b;
    InitList(&a);
    InitList(&b);
    cxListNode n[4] = {};
    AddListTail(&a, &n[1]);
    AddListHead(&a, &n[0]);
    AddListTail(&a, &n[3]);
    InsertListNode(&a, &n[2], &n[1]);
    cxListNode *order[4];
    int i = 0;
    for (cxListNode *p = a.head; p; p = p->next) order[i++] = p;
    ASSERT_EQ(i, 4);
    for (int k = 0; k < 4; k++) EXPECT_EQ(order[k], &n[k]);
    EXPECT_EQ(a.tail, &n[3]);
    EXPECT_EQ(n[3].prev, &n[2]);
    AddListTail(&b, &n[2]); // leaves a first
    EXPECT_EQ(a.count, 3);
    EXPECT_EQ(n[1].next, &n[3]);
    EXPECT_EQ(b.head, &n[2]);
    RemoveListNode(&n[0]);
    RemoveListNode(&n[0]);
    EXPECT_EQ(a.head, &n[1]);
    EXPECT_EQ(a.count, 2);
}

} // namespace

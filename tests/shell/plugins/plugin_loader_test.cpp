// The loader's checks on real ".cxp" modules built by the project: names,
// reserved names, interface version, capability bits, missing symbols and
// the uncallable calling convention.
#include <gtest/gtest.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/charset/charset.h"
#include "shell/plugins/plugin_loader.h"
#include "tests/shell/plugins/plugin_test_support.h"

namespace {

using cxtest::CxpPath;

struct Refusal {
    const char *testCase;
    const char *file;
    int code;
    const char *detail;  // null: only checked to be non-empty
    bool initialised;    // InitPlugin ran, so ClosePlugin must have too
};

void PrintTo(const Refusal &r, std::ostream *os) { *os << r.testCase << "/" << r.file; }

class LoaderRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(LoaderRefusals, FailWithCodeAndDetailAndLeaveNothingOpen) {
    const Refusal &r = GetParam();
    cxtest::ProbeLogFile log;
    uint32_t caps = 123;
    cxPluginHandle *handle = reinterpret_cast<cxPluginHandle *>(1);
    SetErrorDetail("");
    EXPECT_EQ(OpenPlugin(CxpPath(r.testCase, r.file).c_str(), &caps, &handle), r.code);
    EXPECT_EQ(handle, nullptr);
    if (r.detail) {
        EXPECT_STREQ(GetErrorDetail(), r.detail);
    } else {
        EXPECT_STRNE(GetErrorDetail(), "");
    }
    if (r.initialised) {
        // The plug-in logs its own module name; count any close.
        int closes = 0;
        for (const std::string &line : log.Lines()) closes += line.rfind("close:", 0) == 0;
        EXPECT_EQ(closes, 1) << "ClosePlugin after a successful InitPlugin";
    }
    EXPECT_EQ(GetCapabilityList(CX_CAP_IMAGELOADER), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, LoaderRefusals,
    ::testing::Values(
        // The module name must be the file's base name.
        Refusal{"mismatch", "foo.cxp", ERR_LOADPLUGIN, "foo.cxp", true},
        // A reserved module name needs a "_" file.
        Refusal{"reserved", "native.cxp", ERR_LOADPLUGIN, "native.cxp", true},
        // The interface asked for is newer than 8.0.
        Refusal{"newapi", "newapi.cxp", ERR_NEWCXPLUGIN, "8.1", true},
        Refusal{"newapi9", "newapi9.cxp", ERR_NEWCXPLUGIN, "9.0", true},
        // Only capability bits outside the table.
        Refusal{"oddcaps", "oddcaps.cxp", ERR_PLUGINTYPE, "80000", true},
        // InitPlugin says no: ClosePlugin is not called.
        Refusal{"refused", "refused.cxp", ERR_LOADPLUGIN, "refused.cxp", false},
        // No ClosePlugin export.
        Refusal{"noclose", "noclose.cxp", ERR_LOADPLUGIN, "noclose.cxp", false},
        // A capability's entry point is missing.
        Refusal{"missingsym", "missingsym.cxp", ERR_PLUGINSYMBOL, "TransformImage", true},
        // Not a shared object at all / no such file: the loader's message.
        Refusal{"none", "absent.cxp", ERR_DLOPEN, nullptr, false}),
    [](const ::testing::TestParamInfo<Refusal> &info) { return std::string(info.param.testCase); });

TEST(Loader, NamesMatchWithoutRegardToCaseAndUnderscoreAllowsReservedNames) {
    for (auto [testCase, file, module] : {std::tuple{"underscore", "_foo.cxp", "foo"},
                                          std::tuple{"uppercase", "FOO.cxp", "foo"},
                                          std::tuple{"reserved_underscore", "_native.cxp", "native"}}) {
        uint32_t caps = 0;
        cxPluginHandle *handle = nullptr;
        ASSERT_EQ(OpenPlugin(CxpPath(testCase, file).c_str(), &caps, &handle), 0) << file << ": " << GetErrorDetail();
        cxPlugin *p = GetPluginInfo(handle);
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(p->moduleName, module);
        EXPECT_EQ(caps, CX_CAP_IMAGELOADER);
        EXPECT_EQ(handle->capabilities, CX_CAP_IMAGELOADER);
        EXPECT_EQ(p->apiVersion, 8);
        EXPECT_NE(p->InitPlugin, nullptr);
        EXPECT_NE(p->TransformImage, nullptr);
        // An image loader joins its capability list, and leaves it on close.
        EXPECT_TRUE(HasCapabilityEntry(p, CX_CAP_IMAGELOADER));
        ClosePluginHandle(handle);
        EXPECT_EQ(GetCapabilityList(CX_CAP_IMAGELOADER), nullptr);
    }
}

TEST(Loader, JunkFileFailsWithTheSystemMessage) {
    cxtest::TempDir dir;
    cxtest::WriteText(dir.Path("junk.cxp"), "this is no shared object");
    cxPluginHandle *handle = nullptr;
    EXPECT_EQ(OpenPlugin(dir.Path("junk.cxp").c_str(), nullptr, &handle), ERR_DLOPEN);
    EXPECT_NE(std::string(GetErrorDetail()).find("junk.cxp"), std::string::npos) << GetErrorDetail();
}

// A half-copied plug-in: the dynamic loader would fault (SIGBUS) mapping a
// segment past the end of the file, so the file is checked first.
// Where the file's last loadable segment ends: cuts before it leave a
// segment short. (The plug-in is built for the test's own machine.)
size_t LoadableEnd(const cxtest::Bytes &file) {
    ElfW(Ehdr) header;
    if (file.size() < sizeof header) return 0;
    memcpy(&header, file.data(), sizeof header);
    size_t end = 0;
    for (size_t i = 0; i < header.e_phnum; i++) {
        ElfW(Phdr) ph;
        const size_t at = header.e_phoff + i * header.e_phentsize;
        if (at + sizeof ph > file.size()) return 0;
        memcpy(&ph, file.data() + at, sizeof ph);
        if (ph.p_type == PT_LOAD) end = std::max<size_t>(end, ph.p_offset + ph.p_filesz);
    }
    return end;
}

TEST(Loader, TruncatedPluginIsRefusedBeforeTheDynamicLoaderMapsIt) {
    const cxtest::Bytes whole = cxtest::ReadBytes(CxpPath("good", "probe.cxp"));
    const size_t end = LoadableEnd(whole);
    ASSERT_GT(end, 4096u);
    cxtest::TempDir dir;
    // Inside the header, inside the program headers, and inside the first
    // and the last page of the segments (the cuts of a file that was being
    // copied).
    for (size_t keep : {size_t{20}, size_t{100}, size_t{4096}, end - 1}) {
        SCOPED_TRACE(keep);
        const std::string path = dir.Path("probe.cxp");
        cxtest::WriteBytes(path, cxtest::Bytes(whole.begin(), whole.begin() + static_cast<long>(keep)));
        cxPluginHandle *handle = reinterpret_cast<cxPluginHandle *>(1);
        EXPECT_EQ(OpenPlugin(path.c_str(), nullptr, &handle), ERR_DLOPEN);
        EXPECT_EQ(handle, nullptr);
        const std::string detail = GetErrorDetail();
        EXPECT_NE(detail.find("probe.cxp"), std::string::npos) << detail;
    }
    // The whole file still loads.
    cxtest::WriteBytes(dir.Path("probe.cxp"), whole);
    cxPluginHandle *handle = nullptr;
    ASSERT_EQ(OpenPlugin(dir.Path("probe.cxp").c_str(), nullptr, &handle), 0) << GetErrorDetail();
    ClosePluginHandle(handle);
}

TEST(Loader, UncallablePluginLoadsButEveryEntryAnswersZero) {
    cxtest::ProbeLogFile log;
    cxPluginHandle *handle = nullptr;
    ASSERT_EQ(OpenPlugin(CxpPath("uncallable", "uncallable.cxp").c_str(), nullptr, &handle), 0);
    cxPlugin *p = GetPluginInfo(handle);
    EXPECT_EQ(p->callingConvention, CX_CALLCONV_UNCALLABLE);
    ASSERT_NE(p->IsImage, nullptr);
    cxImageInfo info{};
    EXPECT_EQ(p->IsImage("x", &info, nullptr), 1) << "the plug-in itself answers 1";
    info = cxImageInfo{};
    EXPECT_EQ(CallPluginEntry(p, p->IsImage, "x", &info, static_cast<const cxTagItem *>(nullptr)), 0);
    EXPECT_EQ(info.width, 0) << "the plug-in was not called";
    EXPECT_EQ(CallPluginEntry(p, p->GetCommands), nullptr);
    EXPECT_EQ(OsCallPluginStub(reinterpret_cast<cxPluginFunc>(p->GetCommands), 1, 2, 3), 0);
    ClosePluginHandle(handle);
    EXPECT_EQ(log.Count("close:uncallable"), 0) << "ClosePlugin goes through the stub too";
    EXPECT_EQ(log.Count("init:uncallable"), 1);
}

TEST(Loader, ClosePluginRunsOnceAcrossCloseSteps) {
    cxtest::ProbeLogFile log;
    cxPluginHandle *handle = nullptr;
    ASSERT_EQ(OpenPlugin(CxpPath("good", "probe.cxp").c_str(), nullptr, &handle), 0);
    CallClosePlugin(handle);
    CallClosePlugin(handle);
    ClosePluginHandle(handle);
    EXPECT_EQ(log.Count("close:probe"), 1);
}

TEST(Loader, ExtensionBitOneKeepsALoaderOutOfItsList) {
    cxPluginHandle *handle = nullptr;
    ASSERT_EQ(OpenPlugin(CxpPath("namedonly", "namedonly.cxp").c_str(), nullptr, &handle), 0);
    cxPlugin *p = GetPluginInfo(handle);
    EXPECT_EQ(p->extensions[2], 1u) << "GetExtensions for the image-loader bit";
    EXPECT_EQ(p->extensions[17], 0u) << "not asked for the extensions bit itself";
    EXPECT_NE(p->GetExtensions, nullptr);
    EXPECT_FALSE(HasCapabilityEntry(p, CX_CAP_IMAGELOADER));
    ClosePluginHandle(handle);
}

TEST(Loader, IsoModePathsStillOpen) {
    SetUtf8Mode(0);
    cxPluginHandle *handle = nullptr;
    int err = OpenPlugin(CxpPath("good", "probe.cxp").c_str(), nullptr, &handle);
    SetUtf8Mode(1);
    ASSERT_EQ(err, 0);
    ClosePluginHandle(handle);
}

TEST(Loader, ReservedNamesAreTheSix) {
    for (const char *name : {"default", "standard", "inbuilt", "calyxtone", "system", "NATIVE"})
        EXPECT_TRUE(IsReservedPluginName(name)) << name;
    for (const char *name : {"nativex", "plugin", ""}) EXPECT_FALSE(IsReservedPluginName(name)) << name;
}

}  // namespace

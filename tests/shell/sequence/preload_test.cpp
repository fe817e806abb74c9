// The preloader calls the loader each library registered for a kind, in
// the applet's declaration order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "engine/runtime/kernel.h"
#include "shell/preload.h"

namespace {

std::vector<std::string> g_loaded;
int g_failOn = -1;

int Load(lua_State *, const cxPreprocItem *item, const cxApplet *, const cxStartupOptions *) {
    int preloading = 0;
    GetKernelTags(nullptr, CX_KTAG_PRELOADING, &preloading, CX_KTAG_END);
    EXPECT_EQ(preloading, 1);
    g_loaded.push_back(std::to_string(item->type) + ":" + std::to_string(item->id) + ":" + item->name);
    return item->id == g_failOn ? ERR_LOADPICTURE : 0;
}

class Preload : public ::testing::Test {
protected:
    cxApplet *applet_ = nullptr;
    void SetUp() override {
        ClearPreloadKinds();
        FreeKernel();
        g_loaded.clear();
        g_failOn = -1;
        applet_ = NewApplet();
    }
    void TearDown() override {
        FreeApplet(applet_);
        ClearPreloadKinds();
    }
    void Declare(uint32_t type, int32_t id, const char *name) {
        auto *item = static_cast<cxPreprocItem *>(calloc(1, sizeof(cxPreprocItem)));
        item->type = type;
        item->id = id;
        item->name = strdup(name);
        cxPreprocItem **tail = &applet_->items;
        while (*tail) tail = &(*tail)->next;
        *tail = item;
    }
    static int Preloading() {
        int on = -1;
        GetKernelTags(nullptr, CX_KTAG_PRELOADING, &on, CX_KTAG_END);
        return on;
    }
};

TEST_F(Preload, LoadersRunInDeclarationOrderAndDisplaysAreLeftOut) {
    ASSERT_EQ(RegisterPreloadKind(3, "BRUSH", Load), 0);
    ASSERT_EQ(RegisterPreloadKind(1, "BGPIC", Load), 0);
    Declare(1, 2, "back.png");
    Declare(21, 1, "Main");
    Declare(3, 5, "a.png");
    Declare(3, 6, "b.png");
    EXPECT_EQ(PreloadObjects(nullptr, applet_, nullptr), 0);
    EXPECT_EQ(g_loaded, (std::vector<std::string>{"1:2:back.png", "3:5:a.png", "3:6:b.png"}));
    EXPECT_EQ(Preloading(), 0);
    EXPECT_STREQ(GetPreloadCommandName(0), "BRUSH");
    EXPECT_STREQ(GetPreloadCommandName(1), "BGPIC");
    EXPECT_EQ(GetPreloadCommandName(2), nullptr);
}

TEST_F(Preload, AKindWithoutALoaderWarnsAndALoaderErrorStops) {
    ASSERT_EQ(RegisterPreloadKind(3, "BRUSH", Load), 0);
    Declare(2, 1, "boom.wav");
    Declare(3, 5, "a.png");
    Declare(3, 6, "b.png");
    Declare(3, 7, "c.png");
    g_failOn = 6;
    testing::internal::CaptureStdout();
    EXPECT_EQ(PreloadObjects(nullptr, applet_, nullptr), ERR_LOADPICTURE);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "*** WARNING Object 1 (\"boom.wav\") of kind 2 was not preloaded: no loader for this kind ***\n");
    EXPECT_EQ(g_loaded, (std::vector<std::string>{"3:5:a.png", "3:6:b.png"}));
    EXPECT_EQ(Preloading(), 0);
}

TEST_F(Preload, RegistrationsAreCheckedAndReplaced) {
    EXPECT_EQ(RegisterPreloadKind(0, "X", Load), ERR_WRONGUSAGE);
    EXPECT_EQ(RegisterPreloadKind(21, "DISPLAY", Load), ERR_WRONGUSAGE);
    EXPECT_EQ(RegisterPreloadKind(3, "", Load), ERR_WRONGUSAGE);
    EXPECT_EQ(RegisterPreloadKind(3, "BRUSH", nullptr), ERR_WRONGUSAGE);
    EXPECT_EQ(RegisterPreloadKind(3, "BRUSH", Load), 0);
    EXPECT_EQ(RegisterPreloadKind(3, "BRUSHES", Load), 0);
    EXPECT_STREQ(GetPreloadCommandName(0), "BRUSHES");
    EXPECT_EQ(GetPreloadCommandName(1), nullptr);
}

}  // namespace

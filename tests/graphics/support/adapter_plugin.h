// Opens one of the test display adapters (cxp/test_adapter.c) as the shell
// would: dlopen, InitPlugin with an API table whose system part registers
// the display adapter, and the display-adapter slots looked up by name.
// Closing removes the adapter again, so each test starts without one.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/plugins/plugin_registry.h"
#include "tests/graphics/support/adapter_log.h"

namespace cxtest {

class AdapterPlugin {
  public:
    explicit AdapterPlugin(const std::string &name) {
        const std::string path = std::string(CX_TEST_ADAPTER_DIR) + "/" + name + ".cxp";
        dl_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!dl_) {
            ADD_FAILURE() << dlerror();
            return;
        }
        auto init = reinterpret_cast<cxInitPluginFunc>(dlsym(dl_, "InitPlugin"));
        log_ = reinterpret_cast<TestAdapterLog *(*)(void)>(dlsym(dl_, "AdapterLog"))();
        *log_ = TestAdapterLog{};
        system_.RegisterDisplayAdapter = RegisterDisplayAdapter;
        api_.version = CX_PLUGIN_API_VERSION;
        api_.system = &system_;
        record_.apiVersion = CX_PLUGIN_API_VERSION;
        SetPluginStartupPhase(1);
        const int accepted = init(&record_, &api_, path.c_str());
        SetPluginStartupPhase(0);
        EXPECT_NE(accepted, 0);
        record_.ClosePlugin = reinterpret_cast<cxClosePluginFunc>(dlsym(dl_, "ClosePlugin"));
#define CX_SLOT(name) record_.name = reinterpret_cast<decltype(record_.name)>(dlsym(dl_, #name))
        CX_SLOT(BltBitMap);
        CX_SLOT(RectFill);
        CX_SLOT(WritePixel);
        CX_SLOT(Line);
        CX_SLOT(Cls);
        CX_SLOT(AllocVideoBitMap);
        CX_SLOT(FreeVideoBitMap);
        CX_SLOT(ReadVideoPixels);
        CX_SLOT(FreeVideoPixels);
        CX_SLOT(DoVideoBitMapMethod);
        CX_SLOT(AllocBitMap);
        CX_SLOT(FreeBitMap);
        CX_SLOT(LockBitMap);
        CX_SLOT(UnLockBitMap);
        CX_SLOT(GetBitMapAttr);
#undef CX_SLOT
        EXPECT_EQ(GetDisplayAdapter(), &record_);
    }
    ~AdapterPlugin() {
        RemovePluginHooks(&record_);
        if (dl_) dlclose(dl_);
    }
    AdapterPlugin(const AdapterPlugin &) = delete;
    AdapterPlugin &operator=(const AdapterPlugin &) = delete;

    cxPlugin *record() { return &record_; }
    TestAdapterLog &log() { return *log_; }

  private:
    void *dl_ = nullptr;
    TestAdapterLog *log_ = nullptr;
    cxApiSystem system_{};
    cxPluginApi api_{};
    cxPlugin record_{};
};

} // namespace cxtest

// Loading and unloading the shared object writes the two module lines when asked to.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(ModuleHooksPosixTest, LoadAndUnloadWriteTheirLines) {
    setenv("DFUBRIDGE_MODULE_LINES", "1", 1);
    testing::internal::CaptureStderr();
    void* library = dlopen(QV_DFUBRIDGE_PATH, RTLD_NOW | RTLD_LOCAL);
    const std::string loaded = testing::internal::GetCapturedStderr();
    ASSERT_NE(nullptr, library) << dlerror();
    EXPECT_NE(nullptr, dlsym(library, "DFUEngine_Create"));

    testing::internal::CaptureStderr();
    dlclose(library);
    const std::string unloaded = testing::internal::GetCapturedStderr();
    unsetenv("DFUBRIDGE_MODULE_LINES");

    EXPECT_EQ(0u, loaded.find("DfuBridge.dll : Enter DLL_PROCESS_ATTACH, DLL attached.  *****  - "))
        << loaded;
    EXPECT_EQ(0u,
              unloaded.find("DfuBridge.dll : Enter DLL_PROCESS_DETACH : DLL detached.  *****  - "))
        << unloaded;
}

}  // namespace

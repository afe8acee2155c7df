// Loads the shared library, leaves archives open and unloads it: every one of
// them is closed, so the empty ones this run created are gone again.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using OpenFn = int16_t(AXAPI*)(const char*, int16_t, AxHandle*);

TEST(Unload, ClosesEveryOpenArchive) {
    zar::test::Scratch scratch;
    void* library = ::dlopen(ZARLIB_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto open = reinterpret_cast<OpenFn>(::dlsym(library, "Ax4ZipOpen"));
    ASSERT_NE(open, nullptr);
    for (const char* name : {"one.zip", "two.zip", "three.zip"}) {
        AxHandle handle;
        ASSERT_EQ(open((scratch / name).c_str(), AX_OPEN_CREATE, &handle), 0);
        EXPECT_TRUE(std::filesystem::exists(scratch / name));
    }
    ASSERT_EQ(::dlclose(library), 0);
    for (const char* name : {"one.zip", "two.zip", "three.zip"})
        EXPECT_FALSE(std::filesystem::exists(scratch / name)) << name;
}

}  // namespace

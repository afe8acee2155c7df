// Loads zarlib32.dll, leaves archives open and frees it: DllMain closes every
// one of them at process detach, so the empty ones this run created are gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "common/scratch.h"
#include "zarlib32.h"

namespace {

using OpenFn = int16_t(AXAPI*)(const char*, int16_t, AxHandle*);

TEST(DllUnload, ClosesEveryOpenArchive) {
    zar::test::Scratch scratch;
    HMODULE library = ::LoadLibraryA("zarlib32.dll");
    ASSERT_NE(library, nullptr) << ::GetLastError();
    auto open = reinterpret_cast<OpenFn>(reinterpret_cast<void*>(::GetProcAddress(library, "Ax4ZipOpen")));
    ASSERT_NE(open, nullptr);
    for (const char* name : {"one.zip", "two.zip", "three.zip"}) {
        AxHandle handle;
        ASSERT_EQ(open((scratch / name).c_str(), AX_OPEN_CREATE, &handle), 0);
        EXPECT_TRUE(std::filesystem::exists(scratch / name));
    }
    ASSERT_TRUE(::FreeLibrary(library));
    for (const char* name : {"one.zip", "two.zip", "three.zip"})
        EXPECT_FALSE(std::filesystem::exists(scratch / name)) << name;
}

}  // namespace

// Loads zarlib32.dll, leaves archives open and frees it: DllMain closes every
// one of them at process detach, so the empty ones this run created are gone.
// A host that ends its process in the middle of a run leaves the archive as it
// was and no file of the run's behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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

// The AZR files in `directory`.
std::vector<std::string> temporaryFiles(const std::string& directory) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec))
        if (entry.path().filename().string().rfind("AZR", 0) == 0) out.push_back(entry.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(DllUnload, AProcessEndedInARunLeavesNothingBehind) {
    zar::test::Scratch s;
    std::filesystem::create_directory(s / "box");
    const std::string archive = s / "box/a.zip", file = s / "big.bin";
    zar::test::writeText(s / "small.txt", "small");
    HMODULE library = ::LoadLibraryA("zarlib32.dll");
    ASSERT_NE(library, nullptr);
    using QZipFn = int16_t(AXAPI*)(const char*, const char*, const char*);
    auto qzip = reinterpret_cast<QZipFn>(reinterpret_cast<void*>(::GetProcAddress(library, "Ax4QZip")));
    ASSERT_NE(qzip, nullptr);
    ASSERT_EQ(qzip(archive.c_str(), (s / "small.txt").c_str(), ""), 0);
    ::FreeLibrary(library);
    const std::string before = zar::test::readText(archive);
    // The host's temporary directory is one of its own: the system's is
    // shared with the test programs that run beside this one.
    const std::string temporary = s / "tmp";
    std::filesystem::create_directory(temporary);
    zar::test::ScopedEnv tmp("TMP", temporary.c_str()), temp("TEMP", temporary.c_str());

    zar::test::writeText(file, std::string(3 << 20, 'x'));
    std::string command = "exit_host.exe \"" + archive + "\" \"" + file + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_EQ(status, 3u);  // ended by its hook, in the run

    EXPECT_EQ(zar::test::readText(archive), before);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(s / "box")) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"a.zip"});
    EXPECT_EQ(temporaryFiles(temporary), std::vector<std::string>{});
}

}  // namespace

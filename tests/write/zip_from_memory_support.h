// Shared by the tests of zip from memory: deterministic data, the files the
// run was seen zipping, and a fixture with an archive, a temporary directory
// of its own, and the entries' data read back.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/entry_data.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace zar::test::fromMemory {

inline std::string mixed(size_t size) {
    std::string out(size, '\0');
    uint32_t x = 99;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = (i / 5000) % 2 ? static_cast<char>(x >> 24) : "memory block "[i % 13];
    }
    return out;
}

// What the staging directory looked like while the run read it: the
// progress reports name the file being zipped (with '\' separators).
inline std::vector<std::string> seenFiles;

inline std::string zippedFile(const StatusRecord& record) {
    std::string name = record.entryName;
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

class ZipFromMemory : public ::testing::Test {
protected:
    void TearDown() override {
        close();
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
    }
    void open(const std::string& name = "a.zip") {
        close();
        archive = s / name;
        ASSERT_EQ(Ax4ZipOpen(archive.c_str(), AX_OPEN_DECIDE, &handle), 0);
    }
    void close() {
        if (handle != AX_NO_ARCHIVE) Ax4ZipClose(&handle);
    }
    int16_t put(const std::string& data, const char* name, const char* options = "") {
        return Ax4ZipPtr(&handle, data.data(), static_cast<int32_t>(data.size()), name, options);
    }
    // The data of the entry stored under `name` (in its short form without
    // long names); a failure when there is none.
    std::string entryData(const char* name, const char* options = "") {
        std::string out;
        EXPECT_EQ(readEntry(handle, name, &out, options), 0) << name;
        return out;
    }
    // What the temporary directory holds besides the user's own file.
    std::vector<std::string> leftInTemp() {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(temp))
            if (e.path().filename() != "report.txt") out.push_back(e.path().filename().string());
        return out;
    }

    ScopedEnv tz{"TZ", "UTC0"};
    Scratch s;
    const std::string temp = s / "tmp";
    bool madeTemp = std::filesystem::create_directory(temp);
    ScopedTempDirectory tmp{temp};
    std::string archive;
    AxHandle handle = AX_NO_ARCHIVE;
};

}  // namespace zar::test::fromMemory

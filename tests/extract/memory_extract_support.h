// Shared by the tests of extraction into memory: deterministic data, the
// notices the host saw, and a fixture that reads windows of an open archive
// into a buffer with guard bytes around it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/scratch.h"
#include "common/zip_builder.h"
#include "extract/memory_extract.h"
#include "zarlib32.h"

namespace zar::test::memory {

inline std::string pattern(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    uint32_t x = seed | 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        // Runs of text and noise, so that Deflate has something to do.
        out[i] = (i / 3000) % 2 ? static_cast<char>(x) : "window pieces "[i % 14];
    }
    return out;
}

struct Notice {
    int16_t code;
    std::string entry;
};
inline std::vector<Notice> notices;

inline int16_t AXAPI hook(StatusRecord record) {
    if (record.kind == AX_STATUS_NOTICE) notices.push_back({record.code, record.entryName});
    return 1;
}

class MemoryExtract : public ::testing::Test {
protected:
    void SetUp() override {
        notices.clear();
        Ax4SetCPrint(1);
        Ax4CPrintHook(hook);
    }
    void TearDown() override {
        close();
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
        zar::extract::forgetMemoryDecode();
    }

    AxHandle open(const ZipArchive& archive, const std::string& name = "a.zip") {
        writeBytes(s / name, archive.bytes());
        return openFile(s / name);
    }
    AxHandle openFile(const std::string& path, int16_t mode = AX_OPEN_READ) {
        close();
        EXPECT_EQ(Ax4ZipOpen(path.c_str(), mode, &handle), 0);
        return handle;
    }
    void close() {
        if (handle != AX_NO_ARCHIVE) Ax4ZipClose(&handle);
    }

    // A window read into a buffer with guard bytes around it: the result, and
    // the bytes of the window; the guards must be untouched.
    struct Window {
        int16_t result;
        std::string bytes;
    };
    Window read(const char* spec, int32_t start, int32_t count, size_t room, const char* options = "") {
        std::vector<char> buffer(room + 64, '\xEE');
        Window w;
        w.result = Ax4UnZipPtr(handle, buffer.data() + 32, start, count, spec, options);
        w.bytes.assign(buffer.data() + 32, room);
        for (size_t i = 0; i < 32; ++i) {
            EXPECT_EQ(buffer[i], '\xEE') << "before the window, " << spec;
            EXPECT_EQ(buffer[32 + room + i], '\xEE') << "past the room, " << spec;
        }
        return w;
    }

    Scratch s;
    AxHandle handle = AX_NO_ARCHIVE;
};

}  // namespace zar::test::memory

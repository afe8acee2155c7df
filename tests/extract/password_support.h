// Shared by the password-check tests: an archive's first entry with where its
// data starts, and Ax4ZipCheckPassword on a file handle placed there.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/scratch.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace zar::test::password {

struct Entry {
    CDR record;
    uint32_t dataStart;  // first byte after the local header, name and extra field
};

// The first entry of an archive and where its data starts.
inline Entry firstEntry(const std::string& path) {
    AxHandle h;
    Entry e{};
    EXPECT_EQ(Ax4ZipOpen(path.c_str(), AX_OPEN_READ, &h), 0);
    char name[261];
    EXPECT_EQ(Ax4ZipFindFirst(h, &e.record, name, nullptr, 0, nullptr, 0), 0);
    Ax4ZipClose(&h);
    auto bytes = readBytes(path);
    const uint8_t* local = bytes.data() + e.record.localOffset;
    e.dataStart = e.record.localOffset + 30 + (local[26] | local[27] << 8) + (local[28] | local[29] << 8);
    return e;
}

// A file of the system's, open for reading: the handle the host passes.
class OpenFile {
public:
    explicit OpenFile(const std::string& path)
        : handle_(platform::openFile(path.c_str(), platform::kAccessRead, platform::kShareRead,
                                     platform::Disposition::OpenExisting, 0)) {}
    ~OpenFile() {
        if (handle_ != platform::kInvalidFile) platform::closeFile(handle_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    uint32_t get() const { return handle_; }
    int64_t seek(int64_t offset, platform::SeekFrom from = platform::SeekFrom::Begin) const {
        return platform::seekFile(handle_, offset, from);
    }

private:
    platform::FileHandle handle_;
};

inline int16_t check(const std::string& path, const Entry& e, const char* password, CDR* out = nullptr) {
    OpenFile file(path);
    file.seek(e.dataStart);
    CDR record = e.record;
    int16_t r = Ax4ZipCheckPassword(file.get(), &record, password);
    if (out) *out = record;
    return r;
}

}  // namespace zar::test::password

// Shared by the comment tests: an archive of three entries with comments of
// its own, and the exports that change comments run on it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/scratch.h"
#include "common/zip_builder.h"
#include "zarlib32.h"

namespace zar::test::comments {

class Comments : public ::testing::Test {
protected:
    void SetUp() override {
        ZipArchive zip;
        zip.entries.push_back(entry("A.TXT", "a", "old a"));
        zip.entries.push_back(entry("SUB/B.TXT", "b"));
        zip.entries.push_back(entry("SUB/C.DAT", "c"));
        zip.comment = "the old archive comment";
        archive = s / "c.zip";
        writeBytes(archive, zip.bytes());
    }

    int16_t newComment(const char* comment, int16_t mode = 2) {
        AxHandle h;
        int16_t r = Ax4ZipOpen(archive.c_str(), mode, &h);
        if (r != 0) return r;
        r = Ax4ZipNewComment(h, comment);
        Ax4ZipClose(&h);
        return r;
    }

    int16_t newFileComment(const char* pattern, const char* comment) {
        AxHandle h;
        int16_t r = Ax4ZipOpen(archive.c_str(), 2, &h);
        if (r != 0) return r;
        r = Ax4ZipNewFileComment(&h, pattern, comment);
        Ax4ZipClose(&h);
        return r;
    }

    Scratch s;
    ScopedTempDirectory tmp{s.path()};
    std::string archive;
};

}  // namespace zar::test::comments

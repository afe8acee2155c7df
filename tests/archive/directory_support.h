// Shared by the tests of the central directory walk: every entry of an open
// archive as the find functions give it, and a fixture that opens bytes as an
// archive.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/handles.h"
#include "common/scratch.h"
#include "zarlib32.h"

namespace zar::test::central {

struct Listed {
    CDR record;
    std::string name, comment;
};

struct Listing {
    int16_t result = 0;  // the result that ended the walk
    std::vector<Listed> entries;
};

inline Listing listAll(AxHandle h) {
    Listing out;
    char name[261], comment[1024];
    for (bool first = true;; first = false) {
        Listed e;
        int16_t r = first ? Ax4ZipFindFirst(h, &e.record, name, nullptr, 0, comment, sizeof comment)
                          : Ax4ZipFindNext(h, &e.record, name, nullptr, 0, comment, sizeof comment);
        if (r != 0) {
            out.result = r;
            return out;
        }
        e.name = name;
        e.comment = comment;
        out.entries.push_back(e);
    }
}

class Directory : public ::testing::Test {
protected:
    void TearDown() override { zar::archive::closeAllArchives(); }
    AxHandle open(const std::vector<uint8_t>& bytes, int16_t mode = AX_OPEN_READ) {
        zar::test::writeBytes(scratch / "t.zip", bytes);
        AxHandle h = AX_NO_ARCHIVE;
        EXPECT_EQ(Ax4ZipOpen((scratch / "t.zip").c_str(), mode, &h), 0);
        return h;
    }
    Scratch scratch;
};

}  // namespace zar::test::central

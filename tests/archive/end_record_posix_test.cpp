// Locating the end record in archives written by zip, with and without an
// archive comment. Runs zip: POSIX only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "archive/end_record.h"
#include "common/scratch.h"
#include "end_record_support.h"

namespace {

using namespace zar;
using archive::EndLocation;
using test::endRecord::Found;
using test::endRecord::locate;

TEST(EndRecord, ArchivesOfAnIndependentTool) {
    test::Scratch scratch;
    test::writeText(scratch / "one.txt", "first file\n");
    test::writeText(scratch / "two.txt", std::string(5000, 'z'));
    test::writeText(scratch / "comment", "An archive comment\nwith two lines\n");
    std::string command = "cd '" + scratch.path() + "' && zip -q plain.zip one.txt two.txt && " +
                          "cp plain.zip commented.zip && zip -q -z commented.zip < comment";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const char* name : {"plain.zip", "commented.zip"}) {
        auto bytes = test::readBytes(scratch / name);
        Found f = locate(bytes);
        EXPECT_EQ(f.result, kOk);
        ASSERT_NE(f.location.endRecord, EndLocation::kNotFound) << name;
        EXPECT_EQ(bytes[f.location.endRecord], 'P');
        EXPECT_EQ(bytes[f.location.directoryStart + 2], 1);  // "PK\1\2"
        uint16_t commentLength = bytes[f.location.endRecord + 20] | bytes[f.location.endRecord + 21] << 8;
        EXPECT_EQ(f.location.endRecord + 22 + commentLength, bytes.size()) << name;
    }
}

}  // namespace

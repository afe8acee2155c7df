// Extraction into memory of the TAR and gzip kinds, made by tar and gzip
// themselves. Runs the tools: POSIX only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"
#include "memory_extract_support.h"
#include "zarlib32.h"

namespace {

using zar::test::memory::MemoryExtract;
using zar::test::memory::pattern;

// TAR members and the stream of a gzip file are read where the file driver
// reads them, not through a local header that is not there.
TEST_F(MemoryExtract, TarAndGzipKinds) {
    const std::string member = pattern(150000, 3);
    zar::test::writeBytes(s / "member.bin", std::vector<uint8_t>(member.begin(), member.end()));
    zar::test::writeText(s / "small.txt", "tar member\n");
    ASSERT_EQ(zar::test::run("cd " + s.path() + " && tar -cf t.tar small.txt member.bin && gzip -nc member.bin > m.gz")
                  .status,
              0);
    openFile(s / "t.tar");
    EXPECT_EQ(read("small.txt", 0, -1, 11).bytes, "tar member\n");
    Window w = read("member.bin", 70000, 70000, 70000);
    EXPECT_EQ(w.result, 0);
    EXPECT_TRUE(w.bytes == member.substr(70000, 70000));

    openFile(s / "m.gz");
    w = read("*", 0, -1, member.size());
    EXPECT_EQ(w.result, 0);
    EXPECT_TRUE(w.bytes == member);
    w = read("*", 140000, 20000, 10000);
    EXPECT_EQ(w.result, 0);
    EXPECT_TRUE(w.bytes == member.substr(140000));
}

}  // namespace

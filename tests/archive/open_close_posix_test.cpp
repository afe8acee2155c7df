// Opening converted kinds (TAR, ARJ) made by their own tools through the
// exports. Runs tar and arj: POSIX only.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/handles.h"
#include "common/run.h"
#include "common/scratch.h"
#include "fs/temp_files.h"
#include "open_support.h"
#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;
using zar::test::opening::Open;

// Converted kinds through the exports: a work file while open read only, and
// none when a TAR is opened for update.
TEST_F(Open, ForeignKindsThroughTheExports) {
    std::string dir = scratch.path();
    ASSERT_EQ(zar::test::run("cd " + dir + " && mkdir -p t/sub && echo one > t/a.txt && echo two > t/sub/b.txt && "
                             "tar -cf t.tar t && printf 'archive comment\\n' > c.txt && "
                             "arj a -i -y -zc.txt t.arj t/a.txt > /dev/null")
                  .status,
              0);
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen((scratch / "t.tar").c_str(), AX_OPEN_DECIDE, &h), 0);
    zar::archive::ArchiveHandle* a = zar::archive::lookup(h);
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->writable());
    EXPECT_EQ(a->kind, zar::archive::Kind::Tar);
    std::string work = a->workName;
    EXPECT_TRUE(fsys::exists(work));
    EXPECT_TRUE(zar::fs::isRegisteredTempFile(work.c_str()));
    CDR record;
    char name[261];
    std::vector<std::string> names;
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
        names.push_back(name);
    EXPECT_EQ(names.size(), 4u);  // t/, t/a.txt, t/sub/, t/sub/b.txt in archive order
    uint16_t count;
    EXPECT_EQ(Ax4ZipCount(h, &count), 0);
    EXPECT_EQ(count, 4);
    Ax4ZipClose(&h);
    EXPECT_FALSE(fsys::exists(work)) << "the work file goes with the handle";
    EXPECT_FALSE(zar::fs::isRegisteredTempFile(work.c_str()));

    ASSERT_EQ(Ax4ZipOpen((scratch / "t.tar").c_str(), AX_OPEN_UPDATE, &h), 0);
    EXPECT_TRUE(zar::archive::lookup(h)->workName.empty());
    EXPECT_FALSE(zar::archive::lookup(h)->converted());
    Ax4ZipClose(&h);

    ASSERT_EQ(Ax4ZipOpen((scratch / "t.arj").c_str(), AX_OPEN_DECIDE, &h), 0);
    char comment[64];
    EXPECT_EQ(Ax4ZipComment(h, comment, sizeof comment), 0);
    EXPECT_EQ(std::string(comment).rfind("archive comment", 0), 0u) << comment;
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0), 0);
    EXPECT_STREQ(name, "t/a.txt");
    Ax4ZipClose(&h);
    EXPECT_EQ(Ax4ZipOpen((scratch / "t.arj").c_str(), AX_OPEN_UPDATE, &h), AX_NOT_ON_THIS_KIND);
}


}  // namespace

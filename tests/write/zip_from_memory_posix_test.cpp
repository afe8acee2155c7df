// Zip from memory: the directory the data is staged in is private to the
// user, mode 0700. A POSIX mode: POSIX only.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "zarlib32.h"
#include "zip_from_memory_support.h"

namespace {

namespace fsys = std::filesystem;
using zar::test::fromMemory::mixed;
using zar::test::fromMemory::seenFiles;
using zar::test::fromMemory::zippedFile;
using zar::test::fromMemory::ZipFromMemory;

int16_t AXAPI checkStagingMode(StatusRecord record) {
    if (record.kind == AX_STATUS_PROGRESS && record.operation == AX_OP_ZIPPING) {
        struct stat st;
        const std::string directory = fsys::path(zippedFile(record)).parent_path();
        if (::stat(directory.c_str(), &st) == 0) seenFiles.push_back(std::to_string(st.st_mode & 07777));
    }
    return 1;
}

TEST_F(ZipFromMemory, TheStagingDirectoryIsPrivate) {
    open();
    seenFiles.clear();
    Ax4SetCPrint(1);
    Ax4CPrintHook(checkStagingMode);
    ASSERT_EQ(put(mixed(70000), "x.bin"), 0);
    ASSERT_FALSE(seenFiles.empty());
    EXPECT_EQ(seenFiles.front(), std::to_string(0700));
}

}  // namespace

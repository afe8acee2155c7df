// Opening and closing archives: names, modes, the created-and-empty archive,
// sharing of the work buffers, the registry, and unknown handles.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "archive/handles.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "fs/temp_files.h"
#include "open_support.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;
using zar::test::Scratch;
using zar::test::opening::Open;

zar::test::ZipArchive sample(const std::string& comment = "") {
    zar::test::ZipArchive zip;
    zip.entries.push_back(zar::test::entry("one.txt", "first"));
    zip.entries.push_back(zar::test::entry("two.txt", "second"));
    zip.comment = comment;
    return zip;
}

TEST_F(Open, NamesWithoutExtensionGetZip) {
    struct Case {
        const char *given, *opened;
    };
    std::vector<Case> cases = {{"data", "data.ZIP"}, {".zip", ".zip.ZIP"}, {"dir.d/data", "dir.d/data.ZIP"},
                               {"a.b", "a.b"}};
    fsys::create_directory(scratch / "dir.d");
    if (!zar::platform::pathsHaveDrives()) {
        // Where paths have no drives, ':' is part of a name.
        cases.push_back({"x:y/data", "x:y/data.ZIP"});
        cases.push_back({"a.b:c", "a.b:c"});
        fsys::create_directory(scratch / "x:y");
    }
    const fsys::path before = fsys::current_path();
    fsys::current_path(scratch.path());  // the names are taken as given
    for (const Case& c : cases) {
        AxHandle h;
        ASSERT_EQ(Ax4ZipOpen(c.given, AX_OPEN_CREATE, &h), 0) << c.given;
        EXPECT_TRUE(fsys::exists(scratch / c.opened)) << c.given;
        EXPECT_EQ(zar::archive::lookup(h)->name, c.opened);
        Ax4ZipClose(&h);
        EXPECT_FALSE(fsys::exists(scratch / c.opened)) << "an empty archive made by the open goes away";
    }
    fsys::current_path(before);  // a directory in use cannot be removed everywhere
}

TEST_F(Open, LeadingBlanksAreSkippedAndBadPathsRefused) {
    AxHandle h = 123;
    EXPECT_EQ(Ax4ZipOpen(nullptr, 0, &h), AX_PATH_NOT_FOUND);
    EXPECT_EQ(h, AX_NO_ARCHIVE);
    EXPECT_EQ(Ax4ZipOpen(" \t ", 0, &h), AX_PATH_NOT_FOUND);
    EXPECT_EQ(Ax4ZipOpen((scratch / "a*.zip").c_str(), 0, &h), AX_PATH_NOT_FOUND);
    EXPECT_EQ(Ax4ZipOpen((scratch / "a?.zip").c_str(), 0, &h), AX_PATH_NOT_FOUND);
    EXPECT_EQ(Ax4ZipOpen((scratch / "missing.zip").c_str(), AX_OPEN_READ, &h), AX_PATH_NOT_FOUND);
    EXPECT_EQ(Ax4ZipOpen((scratch / "missing.zip").c_str(), AX_OPEN_UPDATE, &h), AX_PATH_NOT_FOUND);
    for (int16_t mode : {4, 5, 6, 7, 0x10C}) EXPECT_EQ(Ax4ZipOpen((scratch / "x.zip").c_str(), mode, &h), AX_NOT_WRITABLE);
    EXPECT_EQ(zar::archive::openArchiveCount(), 0);

    zar::test::writeBytes(scratch / "ok.zip", sample().bytes());
    ASSERT_EQ(Ax4ZipOpen(("  " + (scratch / "ok.zip")).c_str(), AX_OPEN_READ, &h), 0);
    Ax4ZipClose(&h);
}

TEST_F(Open, DecideFromTheFile) {
    zar::test::writeBytes(scratch / "rw.zip", sample().bytes());
    zar::test::writeBytes(scratch / "ro.zip", sample().bytes());
    fsys::permissions(scratch / "ro.zip", fsys::perms::owner_read | fsys::perms::group_read | fsys::perms::others_read);
    zar::test::writeText(scratch / "ten.zip", "0123456789");

    AxHandle rw, ro, ten, fresh;
    ASSERT_EQ(Ax4ZipOpen((scratch / "rw.zip").c_str(), AX_OPEN_DECIDE, &rw), 0);
    EXPECT_TRUE(zar::archive::lookup(rw)->writable());
    ASSERT_EQ(Ax4ZipOpen((scratch / "ro.zip").c_str(), AX_OPEN_DECIDE, &ro), 0);
    EXPECT_FALSE(zar::archive::lookup(ro)->writable());
    ASSERT_EQ(Ax4ZipOpen((scratch / "ten.zip").c_str(), AX_OPEN_DECIDE, &ten), 0);
    EXPECT_EQ(fsys::file_size(scratch / "ten.zip"), 0u) << "a 10-byte file is emptied as a new archive";
    EXPECT_TRUE(zar::archive::lookup(ten)->createdByOpen);
    ASSERT_EQ(Ax4ZipOpen((scratch / "fresh").c_str(), AX_OPEN_DECIDE, &fresh), 0);
    EXPECT_TRUE(fsys::exists(scratch / "fresh.ZIP"));

    // Existing archives stay; the new empty ones go.
    for (AxHandle* h : {&rw, &ro, &ten, &fresh}) Ax4ZipClose(h);
    EXPECT_TRUE(fsys::exists(scratch / "rw.zip"));
    EXPECT_TRUE(fsys::exists(scratch / "ro.zip"));
    EXPECT_FALSE(fsys::exists(scratch / "ten.zip"));
    EXPECT_FALSE(fsys::exists(scratch / "fresh.ZIP"));
}

TEST_F(Open, UnknownContentFailsWithItsCode) {
    zar::test::writeText(scratch / "text.zip", std::string(100, 'q'));
    AxHandle h;
    EXPECT_EQ(Ax4ZipOpen((scratch / "text.zip").c_str(), AX_OPEN_DECIDE, &h), AX_UNKNOWN_KIND);
    EXPECT_EQ(Ax4ZipOpen((scratch / "text.zip").c_str(), AX_OPEN_READ, &h), AX_UNKNOWN_KIND);
    EXPECT_EQ(h, AX_NO_ARCHIVE);
    EXPECT_TRUE(fsys::exists(scratch / "text.zip"));
}

TEST_F(Open, MultiVolumeSetsAreReadOnlyAndDamagedOnesRefusedCleanly) {
    // A first volume whose set has no last volume with an end record.
    std::vector<uint8_t> spanned = {'P', 'K', 7, 8};
    spanned.resize(200, 0);
    zar::test::writeBytes(scratch / "span.zip", spanned);
    AxHandle h;
    EXPECT_EQ(Ax4ZipOpen((scratch / "span.zip").c_str(), AX_OPEN_DECIDE, &h), AX_BAD_ARCHIVE);
    EXPECT_EQ(Ax4ZipOpen((scratch / "span.zip").c_str(), AX_OPEN_UPDATE, &h), AX_NOT_ON_THIS_KIND);
    EXPECT_EQ(h, AX_NO_ARCHIVE);
    EXPECT_EQ(zar::archive::openArchiveCount(), 0);
    EXPECT_TRUE(zar::fs::tempRegistry().empty());
}

TEST_F(Open, CreateEmptiesAnExistingFile) {
    zar::test::writeBytes(scratch / "old.zip", sample().bytes());
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen((scratch / "old.zip").c_str(), AX_OPEN_CREATE | AX_OPEN_SHARED, &h), 0);
    EXPECT_EQ(fsys::file_size(scratch / "old.zip"), 0u);
    EXPECT_EQ(zar::archive::lookup(h)->share, 3u);
    Ax4ZipClose(&h);
}

TEST_F(Open, RegistryAndSharedBuffersFollowTheOpenArchives) {
    zar::test::writeBytes(scratch / "a.zip", sample().bytes());
    zar::test::writeBytes(scratch / "b.zip", sample().bytes());
    AxHandle a, b;
    EXPECT_EQ(zar::archive::workBuffer(0), nullptr);
    ASSERT_EQ(Ax4ZipOpen((scratch / "a.zip").c_str(), AX_OPEN_READ, &a), 0);
    ASSERT_EQ(Ax4ZipOpen((scratch / "b.zip").c_str(), AX_OPEN_READ | AX_OPEN_LONG_NAMES, &b), 0);
    EXPECT_NE(zar::archive::workBuffer(0), nullptr);
    EXPECT_NE(zar::archive::workBuffer(1), nullptr);
    EXPECT_TRUE(zar::fs::isRegisteredTempFile((scratch / "a.zip").c_str()));
    EXPECT_TRUE(zar::fs::isRegisteredTempFile((scratch / "b.zip").c_str()));
    EXPECT_TRUE(zar::archive::lookup(b)->longNameMode);
    Ax4ZipClose(&a);
    EXPECT_EQ(a, AX_NO_ARCHIVE);
    EXPECT_FALSE(zar::fs::isRegisteredTempFile((scratch / "a.zip").c_str()));
    EXPECT_NE(zar::archive::workBuffer(0), nullptr);
    Ax4ZipClose(&a);  // the second close finds nothing
    Ax4ZipClose(&b);
    EXPECT_EQ(zar::archive::workBuffer(0), nullptr);
    EXPECT_EQ(zar::archive::openArchiveCount(), 0);
}

TEST_F(Open, UnknownHandlesChangeNothing) {
    const AxHandle bogus = 987654;
    CDR record;
    CDRVB32 basic;
    char name[261], comment[10];
    uint32_t position = 0;
    uint16_t count = 9;
    EXPECT_EQ(Ax4ZipFindFirst(bogus, &record, name, nullptr, 0, nullptr, 0), AX_NOT_OPEN);
    EXPECT_EQ(Ax4ZipFindNext(bogus, &record, name, nullptr, 0, nullptr, 0), AX_NOT_OPEN);
    EXPECT_EQ(Ax4ZipFindFirstVB32(bogus, &basic, name, nullptr, 0, nullptr, 0), AX_NOT_OPEN);
    EXPECT_EQ(Ax4ZipFindNextVB32(bogus, &basic, name, nullptr, 0, nullptr, 0), AX_NOT_OPEN);
    EXPECT_EQ(Ax4ReadCDR(bogus, &position, &record, name, nullptr, 0, nullptr, 0), AX_NOT_OPEN);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(Ax4ZipCount(bogus, &count), AX_NOT_OPEN);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Ax4ZipComment(bogus, comment, sizeof comment), AX_NOT_OPEN);
    EXPECT_EQ(Ax4GetCDR(bogus), 0xFFFFFFFFu);
    EXPECT_EQ(Ax4GetNextCDR(bogus), 0xFFFFFFFFu);
    EXPECT_EQ(Ax4ZipCount(bogus, nullptr), AX_TOO_LONG);
    AxHandle h = bogus;
    Ax4ZipClose(&h);
    EXPECT_EQ(h, AX_NO_ARCHIVE);
}

TEST_F(Open, CommentsCutToTheBuffer) {
    zar::test::writeBytes(scratch / "c.zip", sample("0123456789").bytes());
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen((scratch / "c.zip").c_str(), AX_OPEN_READ, &h), 0);
    char buffer[16];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(Ax4ZipComment(h, buffer, 10), AX_TOO_LONG);
    EXPECT_STREQ(buffer, "012345678");
    EXPECT_EQ(Ax4ZipComment(h, buffer, 11), 0);
    EXPECT_STREQ(buffer, "0123456789");
    buffer[0] = 'z';
    EXPECT_EQ(Ax4ZipComment(h, buffer, 0), AX_TOO_LONG);
    EXPECT_EQ(buffer[0], 'z') << "a size of 0 writes nothing";
    uint16_t count;
    EXPECT_EQ(Ax4ZipCount(h, &count), 0);
    EXPECT_EQ(count, 2);
    Ax4ZipClose(&h);

    zar::test::writeBytes(scratch / "n.zip", sample().bytes());
    ASSERT_EQ(Ax4ZipOpen((scratch / "n.zip").c_str(), AX_OPEN_READ, &h), 0);
    buffer[0] = 'z';
    EXPECT_EQ(Ax4ZipComment(h, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    Ax4ZipClose(&h);
}

TEST_F(Open, HiddenEndRecordFailsEveryRead) {
    auto bytes = sample().bytes();
    bytes.resize(bytes.size() + 70000, 0);
    zar::test::writeBytes(scratch / "hidden.zip", bytes);
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen((scratch / "hidden.zip").c_str(), AX_OPEN_READ, &h), 0);
    CDR record;
    char name[261], comment[8];
    uint16_t count;
    EXPECT_EQ(Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0), AX_ACCESS_DENIED);
    EXPECT_EQ(Ax4ZipCount(h, &count), AX_ACCESS_DENIED);
    EXPECT_EQ(Ax4ZipComment(h, comment, sizeof comment), AX_ACCESS_DENIED);
    Ax4ZipClose(&h);
}

}  // namespace

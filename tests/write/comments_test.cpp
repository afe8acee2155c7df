// Archive and entry comments: Ax4ZipNewComment in place, Ax4ZipNewFileComment
// by rebuilding; every result read back by Python's zipfile and accepted by
// unzip.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/run.h"
#include "common/scratch.h"
#include "common/zip_builder.h"
#include "platform/platform.h"
#include "zarlib32.h"

namespace {

using zar::test::quote;
using zar::test::readBytes;
using zar::test::run;
using zar::test::Scratch;
using zar::test::ScopedEnv;

// The archive comment and each entry's comment, as zipfile reports them.
std::string comments(const std::string& archive) {
    return run("python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
               "print(z.comment, [(i.filename, i.comment) for i in z.infolist()])' " +
               quote(archive) + " 2>&1")
        .output;
}

class Comments : public ::testing::Test {
protected:
    void SetUp() override {
        zar::test::ZipArchive zip;
        zip.entries.push_back(zar::test::entry("A.TXT", "a", "old a"));
        zip.entries.push_back(zar::test::entry("SUB/B.TXT", "b"));
        zip.entries.push_back(zar::test::entry("SUB/C.DAT", "c"));
        zip.comment = "the old archive comment";
        archive = s / "c.zip";
        zar::test::writeBytes(archive, zip.bytes());
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

    bool accepted() { return run("unzip -tq " + quote(archive) + " >/dev/null 2>&1").status == 0; }

    Scratch s;
    ScopedEnv tmp{"TMPDIR", s.path().c_str()};
    std::string archive;
};

TEST_F(Comments, ArchiveCommentInPlace) {
    const std::string entries = "[('A.TXT', b'old a'), ('SUB/B.TXT', b''), ('SUB/C.DAT', b'')]\n";
    EXPECT_EQ(newComment("short"), 0);
    EXPECT_EQ(comments(archive), "b'short' " + entries);
    EXPECT_TRUE(accepted());
    const std::string longer(5000, 'L');
    EXPECT_EQ(newComment(longer.c_str()), 0);
    EXPECT_EQ(comments(archive), "b'" + longer + "' " + entries);
    // Null removes it: the file ends with the end record.
    EXPECT_EQ(newComment(nullptr), 0);
    auto bytes = readBytes(archive);
    ASSERT_GE(bytes.size(), 22u);
    EXPECT_EQ(bytes[bytes.size() - 22], 'P');
    EXPECT_EQ(bytes[bytes.size() - 21], 'K');
    EXPECT_EQ(comments(archive), "b'' " + entries);
    // Bytes above 0x7F are stored as the code page has them, one each.
    EXPECT_EQ(newComment("caf\xe9 \xfc\xfc\xfc!!"), 0);
    bytes = readBytes(archive);
    EXPECT_EQ(std::string(bytes.end() - 10, bytes.end()), "caf\xe9 \xfc\xfc\xfc!!");

    const auto before = readBytes(archive);
    EXPECT_EQ(newComment(std::string(65536, 'x').c_str()), AX_TOO_LONG);
    EXPECT_EQ(newComment("x", AX_OPEN_READ), -23);
    EXPECT_EQ(readBytes(archive), before);
    EXPECT_EQ(Ax4ZipNewComment(12345, "x"), 106);
}

TEST_F(Comments, EntryCommentsByPattern) {
    struct Case {
        const char* pattern;
        const char* comment;
        const char* expected;
    } cases[] = {
        // A pattern without a directory names the top level only.
        {"*.TXT", "top", "[('A.TXT', b'top'), ('SUB/B.TXT', b''), ('SUB/C.DAT', b'')]"},
        {"sub/*.*", "in sub", "[('A.TXT', b'top'), ('SUB/B.TXT', b'in sub'), ('SUB/C.DAT', b'in sub')]"},
        {"SUB/C.DAT", "", "[('A.TXT', b'top'), ('SUB/B.TXT', b'in sub'), ('SUB/C.DAT', b'')]"},
        {"*.none", "nothing", "[('A.TXT', b'top'), ('SUB/B.TXT', b'in sub'), ('SUB/C.DAT', b'')]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(newFileComment(c.pattern, c.comment), 0);
        EXPECT_EQ(comments(archive), std::string("b'the old archive comment' ") + c.expected + "\n");
        EXPECT_TRUE(accepted());
        EXPECT_EQ(run("unzip -p " + quote(archive) + " SUB/C.DAT").output, "c");
    }
    const auto before = readBytes(archive);
    EXPECT_EQ(newFileComment("*.*", std::string(8192, 'c').c_str()), AX_TOO_LONG);
    EXPECT_EQ(newFileComment(std::string(260, 'p').c_str(), "c"), AX_TOO_LONG);
    // A write that fails half way leaves the archive as it was.
    zar::platform::failNthCall(zar::platform::Fault::Write, 3);
    EXPECT_NE(newFileComment("*.*", "fails"), 0);
    zar::platform::failNthCall(zar::platform::Fault::Write, 0);
    EXPECT_EQ(readBytes(archive), before);
    for (auto& f : std::filesystem::directory_iterator(s.path()))
        EXPECT_NE(f.path().filename().string().rfind("AZR", 0), 0u) << f.path();

    // An empty archive has no entries to comment.
    const std::string empty = s / "empty.zip";
    AxHandle h;
    ASSERT_EQ(Ax4ZipOpen(empty.c_str(), 3, &h), 0);
    EXPECT_EQ(Ax4ZipNewFileComment(&h, "*.*", "x"), 102);
    Ax4ZipClose(&h);
}

}  // namespace

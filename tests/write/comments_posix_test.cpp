// Archive and entry comments: Ax4ZipNewComment in place, Ax4ZipNewFileComment
// by rebuilding; every result read back by Python's zipfile and accepted by
// unzip. Runs both: POSIX only (the bytes written and the refusals are in
// comments_test.cpp).
#include <gtest/gtest.h>

#include <string>

#include "common/run.h"
#include "common/scratch.h"
#include "comments_support.h"
#include "zarlib32.h"

namespace {

using zar::test::quote;
using zar::test::run;
using zar::test::comments::Comments;

bool accepted(const std::string& archive) {
    return run("unzip -tq " + quote(archive) + " >/dev/null 2>&1").status == 0;
}

// The archive comment and each entry's comment, as zipfile reports them.
std::string comments(const std::string& archive) {
    return run("python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
               "print(z.comment, [(i.filename, i.comment) for i in z.infolist()])' " +
               quote(archive) + " 2>&1")
        .output;
}

TEST_F(Comments, ArchiveCommentInPlace) {
    const std::string entries = "[('A.TXT', b'old a'), ('SUB/B.TXT', b''), ('SUB/C.DAT', b'')]\n";
    EXPECT_EQ(newComment("short"), 0);
    EXPECT_EQ(comments(archive), "b'short' " + entries);
    EXPECT_TRUE(accepted(archive));
    const std::string longer(5000, 'L');
    EXPECT_EQ(newComment(longer.c_str()), 0);
    EXPECT_EQ(comments(archive), "b'" + longer + "' " + entries);
    // Null removes it.
    EXPECT_EQ(newComment(nullptr), 0);
    EXPECT_EQ(comments(archive), "b'' " + entries);
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
        EXPECT_TRUE(accepted(archive));
        EXPECT_EQ(run("unzip -p " + quote(archive) + " SUB/C.DAT").output, "c");
    }
}

}  // namespace

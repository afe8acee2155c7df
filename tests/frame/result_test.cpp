// The internal result constants carry the numbers of the public header.
#include <gtest/gtest.h>

#include <cstddef>

#include "frame/result.h"
#include "zarlib32.h"

namespace {

TEST(ResultCodes, MatchThePublicHeader) {
    struct Pair {
        int internal, published;
    } pairs[] = {
        {zar::kOk, AX_OK},
        {zar::kUnknownKind, AX_UNKNOWN_KIND},
        {zar::kBadArchive, AX_BAD_ARCHIVE},
        {zar::kUnknownMethod, AX_UNKNOWN_METHOD},
        {zar::kCancelled, AX_CANCELLED},
        {zar::kNothingDone, AX_NOTHING_DONE},
        {zar::kSomeEntriesFailed, AX_SOME_ENTRIES_FAILED},
        {zar::kBadOption, AX_BAD_OPTION},
        {zar::kWriteFailed, AX_WRITE_FAILED},
        {zar::kShortRead, AX_SHORT_READ},
        {zar::kTooLong, AX_TOO_LONG},
        {zar::kMissingArgument, AX_MISSING_ARGUMENT},
        {zar::kOptionConflict, AX_OPTION_CONFLICT},
        {zar::kTooMany, AX_TOO_MANY},
        {zar::kBadDate, AX_BAD_DATE},
        {zar::kNotWritable, AX_NOT_WRITABLE},
        {zar::kWrongPassword, AX_WRONG_PASSWORD},
        {zar::kCrcMismatch, AX_CRC_MISMATCH},
        {zar::kNotOnThisKind, AX_NOT_ON_THIS_KIND},
        {zar::kFindFirstNeeded, AX_FIND_FIRST_NEEDED},
        {zar::kNotRemovable, AX_NOT_REMOVABLE},
        {zar::kBadTrailer, AX_BAD_TRAILER},
        {zar::kPathNotFound, AX_PATH_NOT_FOUND},
        {zar::kDirectoryFailed, AX_DIRECTORY_FAILED},
        {zar::kAccessDenied, AX_ACCESS_DENIED},
        {zar::kNotOpen, AX_NOT_OPEN},
        {zar::kNoMemory, AX_NO_MEMORY},
        {zar::kBadPassword, AX_BAD_PASSWORD},
        {zar::kUseBuiltinDialog, AX_USE_BUILTIN_DIALOG},
    };
    for (const Pair& p : pairs) EXPECT_EQ(p.internal, p.published);
}

TEST(StatusRecordLayout, FieldsSitAtTheirOffsets) {
    EXPECT_EQ(sizeof(StatusRecord), 548u);
    EXPECT_EQ(offsetof(StatusRecord, entryName), 260u);
    EXPECT_EQ(offsetof(StatusRecord, operation), 520u);
    EXPECT_EQ(offsetof(StatusRecord, totalBytes), 522u);
    EXPECT_EQ(offsetof(StatusRecord, doneBytes), 526u);
    EXPECT_EQ(offsetof(StatusRecord, packedBytes), 530u);
    EXPECT_EQ(offsetof(StatusRecord, method), 534u);
    EXPECT_EQ(offsetof(StatusRecord, reserved16), 536u);
    EXPECT_EQ(offsetof(StatusRecord, reserved32), 538u);
    EXPECT_EQ(offsetof(StatusRecord, kind), 542u);
    EXPECT_EQ(offsetof(StatusRecord, code), 544u);
    EXPECT_EQ(offsetof(StatusRecord, disk), 546u);
}

}  // namespace

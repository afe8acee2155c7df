// Replacing comments: the archive comment in place at the end of the archive,
// entry comments by rebuilding the archive and committing it.
#pragma once

#include "archive/handles.h"
#include "frame/result.h"

namespace zar::write {

// Replaces the archive comment (null or empty: none). The new text is written
// before its length, and the file is cut after it, so that a failure leaves
// an archive whose end record can still be found. kOk; kNotWritable;
// kNotOnThisKind; kTooLong over 65535 characters; kShortRead; kWriteFailed;
// kNoMemory; the end-record search's codes.
Result setArchiveComment(archive::ArchiveHandle& archive, const char* comment);

// Gives every entry whose directory equals the pattern's and whose name
// matches its name part the comment `comment` (empty: none), and commits the
// rebuilt archive. A pattern that matches nothing still rewrites the archive
// and returns kOk. kNotWritable; kNotOnThisKind; kTooLong (a comment of 8192
// characters or more, a pattern of 260 or more); kPathNotFound for an empty
// archive; the codes of copying and committing.
Result setEntryComments(archive::ArchiveHandle& archive, const char* pattern, const char* comment);

}  // namespace zar::write

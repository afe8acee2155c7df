// Uuencoded text: any file turned into lines of printable characters that
// survive text-only channels, in one file or in numbered parts (name.1,
// name.2, ...) of a size limit, optionally framed by cut lines, with a line
// giving the file's size after "end"; and such text, from any encoder, turned
// back into the file. New files are written beside their places and take
// them only when complete, so a failed run destroys nothing that was there.
#pragma once

#include <cstdint>

#include "frame/result.h"

namespace zar::util {

// Encodes `source` into `output` (null or empty: the source's name with
// ".uue" for its extension). `partLimit` bounds each part file (below 2048 it
// counts kilobytes; below 1, no limit): text that would be longer is split
// into numbered parts, whose count goes to `*parts`. kCancelled for a missing
// argument, kAccessDenied when the source cannot be read, kWriteFailed,
// kTooLong when over 900 parts would be needed.
Result uuEncode(const char* source, const char* output, int32_t partLimit, bool cutLines, uint16_t* parts);

// Decodes the text in `source` (".uue" added to a name without extension;
// a name ending in ".1" is the first of numbered parts) into the file its
// "begin" line names, in `outputDirectory` (null: the source's directory).
// kCancelled for a missing argument, kAccessDenied, kUnknownKind (no "begin"
// line or no name in it), kSomeEntriesFailed (a line shorter than its count
// says, or the text ends before its data), kCrcMismatch (a character that is
// not uuencode), kTooLong (a line over 254 characters), kWriteFailed.
Result uuDecode(const char* source, const char* outputDirectory);

}  // namespace zar::util

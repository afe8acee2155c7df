// Extraction into host memory: the first entry of an open archive that one
// file pattern names is decoded into memory the host provides, whole or a
// window of its bytes. A window that starts where the previous one of the same
// entry ended (or further on) continues that decode, as long as nothing has
// changed the archive file in between, so that reading a large entry window
// by window costs one pass over its data.
#pragma once

#include <cstdint>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::extract {

// The run behind Ax4UnZipPtr. `archive` is the archive's handle; bytes
// [startOffset, startOffset + count) of the entry's decoded data go to
// `destination` (a negative count: up to the entry's end; a negative start
// counts as 0). Of the options only -T, -.L and the password count; under -T
// the entry's password and method are checked and nothing is decoded.
// `fileSpec` is one specification, a directory part and a file part (empty:
// '*'); a wildcard file part matches in every directory below. The first
// entry in directory order that it matches is the one decoded, except that
// where the file system tells letter case apart a pattern without
// wildcards prefers the entry whose name it spells exactly.
// kOk (decoded, also when the window lies past the entry's end and nothing
// was delivered); kNothingDone when no entry matches; kBadPassword (after a
// wrong-password notice); kUnknownMethod (a method with no decoder here, or a
// member of a kind that is only listed); kCrcMismatch (the data is damaged:
// it ends, or turns out invalid, short of the window although the entry
// declares more; the window is then only partly filled); kShortRead;
// kCancelled; kNotOpen; kNotOnThisKind (multi-volume sets); kMissingArgument
// (no destination outside test mode); kNoMemory; the codes of option parsing
// and of the directory reader. No CRC-32 is checked: the host that reads a
// whole entry compares it (AxCrc32A) with the entry's record.
Result unzipToMemory(fs::FileHandle archive, void* destination, int32_t startOffset, int32_t count,
                     const char* fileSpec, const char* options);

// Drops the decode kept for a following window and its memory.
void forgetMemoryDecode();

}  // namespace zar::extract

// Copying text files while converting their line ends: LF to CR LF (with an
// optional Ctrl-Z end mark), and CR LF or a lone CR to LF (stopping at a
// Ctrl-Z). The new file is written beside the destination and takes its place
// only when complete, so a failed run leaves an existing destination, and a
// source converted onto itself, as they were.
#pragma once

#include "frame/result.h"

namespace zar::util {

// kOk, kAccessDenied (the source cannot be opened or measured), kWriteFailed
// (the destination cannot be made or written), kShortRead, kNoMemory. Paths
// are in the library's (OEM) form.
Result lfToCrLf(const char* source, const char* destination, bool endMark);
Result crLfToLf(const char* source, const char* destination);

}  // namespace zar::util

// The unzip driver: walks the entries of an open archive, selects them against
// the host's file specifications, decides for each whether and where to write
// it, decodes it through the pipeline and restores its time and attributes.
// Per-entry problems (wrong password, unknown method, access denied, CRC
// mismatch) are notices to the host, and the run goes on while the host
// answers 1. In test mode every selected entry is decoded and checked and
// nothing is written.
#pragma once

#include <string>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::extract {

// Extracts or tests the selected entries of the open archive whose handle
// `*archive` holds. kOk when every selected entry was handled without a
// problem; kSomeEntriesFailed when one was skipped or is suspect (the
// more-status word names the last problem); kNothingDone when no entry was
// processed; otherwise the code that ended the run. The path filters are
// consumed whatever the result.
Result unzip(fs::FileHandle* archive, const char* outputDir, const char* includeSpecs, const char* excludeSpecs,
             const char* options);

// Opens `archiveName` read-only, extracts `fileSpecs` from it and closes it;
// the result of the open when it fails, else that of the extraction.
Result quickUnzip(const char* archiveName, const char* outputDir, const char* fileSpecs, const char* options);

// True when a stored directory or file name holds a ".." component, which
// would lead out of the directory the entry is extracted into.
bool climbsOut(const std::string& directory, const std::string& file);

}  // namespace zar::extract

// Deleting entries: the archive is rebuilt without the entries that the
// specifications select, and committed only when something was deleted.
#pragma once

#include <cstdint>

#include "archive/handles.h"
#include "frame/result.h"

namespace zar::write {

// Removes from the open archive every entry whose name one of `includeSpecs`
// matches and none of `excludeSpecs` does (a wildcarded file part matches in
// every directory). Of the zip option flags, -K keeps the archive's time and
// -O gives it the newest remaining entry's. kOk; kNothingDone when nothing
// matched (the archive untouched); kNotWritable; the codes of copying,
// finishing and committing.
Result deleteEntries(archive::ArchiveHandle& archive, const char* includeSpecs, const char* excludeSpecs,
                     uint32_t optionFlags);

}  // namespace zar::write

// The zip run: adds, replaces, updates, freshens and moves files into an open
// archive, by building the whole new archive beside the old one (existing
// entries copied or replaced in directory order, new files appended) and
// committing it only when everything succeeded. With -D the same call deletes
// entries instead; with no files and -O it stamps the archive with its newest
// entry's time.
#pragma once

#include <string>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::write {

// The run behind Ax4Zip. `*archive` holds the archive's handle and receives
// the new one after a commit. A file the walk passes over with a notice (a
// symbolic link that leads nowhere, or back into the walk) makes the result
// kSomeEntriesFailed, the archive being written all the same, and
// frame::moreStatus() the code of the last such notice.
Result zip(fs::FileHandle* archive, const char* includeSpecs, const char* excludeSpecs, const char* options);

// The same run over one file named by the host: the file `path` (a name in
// the library's form) goes into the archive under `storedName` exactly as
// given ('\' read as '/'), whatever the path and long-name options say;
// every other option works as for any file. kOptionConflict with -D.
Result zipFileAs(fs::FileHandle* archive, const std::string& path, const std::string& storedName,
                 const char* options);

// Opens (or creates) `archiveName`, runs zip on it and closes it.
Result quickZip(const char* archiveName, const char* includeSpecs, const char* options);

}  // namespace zar::write

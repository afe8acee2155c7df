// When the process unloads the library, every archive still open is closed,
// newest first, as Ax4ZipClose would close it.
#include "archive/handles.h"

namespace {

struct CloseArchivesAtUnload {
    ~CloseArchivesAtUnload() { zar::archive::closeAllArchives(); }
} closeArchivesAtUnload;

}  // namespace

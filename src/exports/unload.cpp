// When the process unloads the library, every archive still open is closed,
// newest first, as Ax4ZipClose would close it; then the temporary files of a
// run that never returned are deleted. On Windows DllMain does this at process
// detach (see platform::onUnload); elsewhere a static destructor does.
#include "archive/handles.h"
#include "fs/temp_files.h"
#include "platform/platform.h"

namespace {

void unloadLibrary() {
    // Open archives are registered like temporary files: only once every one
    // is closed does the registry name nothing but leftovers.
    if (zar::archive::closeAllArchives()) zar::fs::removeLeftoverTempFiles();
}

struct UnloadLibrary {
    UnloadLibrary() { zar::platform::onUnload(&unloadLibrary); }
    ~UnloadLibrary() { unloadLibrary(); }
} unloadAtExit;

}  // namespace

// DllMain: at process detach the library closes its open archives and deletes
// its leftover temporary files, before the runtime destroys its static
// objects. Attaching, thread attach and thread detach do nothing, and the
// loader always hears success.
#include <windows.h>

#include "platform/win32/win32_internal.h"

namespace zar::platform {
namespace {

void (*unloadHandler)() = nullptr;

}  // namespace

void onUnload(void (*handler)()) { unloadHandler = handler; }

}  // namespace zar::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH && zar::platform::unloadHandler != nullptr) zar::platform::unloadHandler();
    return TRUE;
}

// Unload on POSIX: the system tells a library nothing when it goes, so the
// library's static destructors do the clean-up.
#include "platform/posix/posix_internal.h"

namespace zar::platform {

void onUnload(void (*)()) {}

}  // namespace zar::platform

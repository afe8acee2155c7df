// Helpers shared by the files of the POSIX backend.
#pragma once

#include <string>

#include "platform/platform.h"

namespace zar::platform::posix {

// The name as the file system takes it: '\' separators become '/'.
std::string osName(const char* name);

// True when a test asked this call of `kind` to fail (see failNthCall).
bool faultNow(Fault kind);

// The dialog a test put in place of the terminal, or null.
DialogOverride dialogOverride();

}  // namespace zar::platform::posix

// The password of a run: from --password, or asked for with --ask-password on
// the terminal (without echo) or read as the first line of stdin.
#pragma once

#include <string>

#include "args.h"

namespace zar::cli {

// Empty when no password was asked for. On failure returns false with the
// reason. `confirm` asks twice on a terminal, as writing wants.
bool obtainPassword(const Options& options, bool confirm, std::string* password, std::string* error);

}  // namespace zar::cli

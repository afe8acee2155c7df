// The password of a run: from --password, or asked for with --ask-password on
// the terminal (without echo) or read as the first line of stdin.
#pragma once

#include <string>

#include "args.h"

namespace zar::cli {

// Empty when no password was asked for. On failure returns false with the
// reason. `confirm` asks twice on a terminal, as writing wants.
bool obtainPassword(const Options& options, bool confirm, std::string* password, std::string* error);

// What a reading run does about a password none was given for, once it knows
// `firstEncrypted`, the first selected entry that needs one: on a terminal zar
// asks for it there, naming the entry (without echo), and the run then uses
// it; true with `*password` filled. Without a terminal, or when nothing was
// typed, false: the run goes on without, and says that a password is needed.
bool askPasswordFor(const std::string& firstEncrypted, std::string* password);

}  // namespace zar::cli

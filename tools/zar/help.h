// The texts of `zar --help` and `zar VERB --help`.
#pragma once

#include "args.h"

namespace zar::cli {

// The overview with every verb, or one verb's usage and options.
const char* helpText(Verb verb);

}  // namespace zar::cli

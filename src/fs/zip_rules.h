// The zip run's rules for a file the walk found: the name it is stored under
// (with its drive and path as the options ask) and the date window of -TA and
// -TB.
#pragma once

#include <cstdint>
#include <string>

#include "frame/options.h"

namespace zar::fs {

// The name a found item is stored under: its name alone, with its path below
// the file specification, or with its full directory part, as the path
// options say, and led by its drive under -.D.
std::string storedName(const frame::OptionSet& o, const std::string& drive, const std::string& directory,
                       const std::string& subdirectory, const std::string& name);

// The date filter of -TA and -TB on a file's local DOS date: true to leave it out.
bool outsideDates(uint16_t date, const frame::OptionSet& o);

}  // namespace zar::fs

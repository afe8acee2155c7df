// Names as they are stored without long names (-.L): upper-cased where the
// file system ignores case, as its 8.3 names are; as found where case tells
// names apart, since a file's short name is then its name.
#pragma once

#include <cctype>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zar::test {

inline std::string shortForm(std::string text) {
    if (platform::namesIgnoreCase())
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

inline std::vector<std::string> shortForms(std::vector<std::string> names) {
    for (std::string& name : names) name = shortForm(name);
    return names;
}

}  // namespace zar::test

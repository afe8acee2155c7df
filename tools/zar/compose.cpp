#include "compose.h"

namespace zar::cli {

std::string patternList(const std::vector<std::string>& patterns) {
    std::string list;
    for (const std::string& pattern : patterns) {
        if (!list.empty()) list += ' ';
        list += '"';
        list += pattern;
        list += '"';
    }
    return list;
}

const std::string* unquotable(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (name.find('"') != std::string::npos) return &name;
    return nullptr;
}

std::string passwordOption(const std::string& password) {
    // Printable, never blanks (the parser skips those between options).
    static const char kDelimiters[] = "/|#!~^%:;,=+@$&*()[]{}<>?'\"`.0123456789";
    for (const char* d = kDelimiters; *d != '\0'; ++d)
        if (password.find(*d) == std::string::npos) return std::string("-S") + *d + password + *d;
    return {};
}

std::string levelOption(int level) {
    // The ten levels people type for zip, onto the library's five: 6, zip's
    // default, is the library's default too.
    switch (level) {
        case 0: return "-ET";
        case 1: case 2: return "-ED0";
        case 3: case 4: case 5: return "-ED1";
        case 6: case 7: return "-ED2";
        case 8: case 9: return "-ED3";
        default: return {};
    }
}

}  // namespace zar::cli

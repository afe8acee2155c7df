// The strings zar hands to the library: blank-separated lists of file and
// entry patterns, each one in double quotes, and option strings built flag by
// flag.
#pragma once

#include <string>
#include <vector>

namespace zar::cli {

// "a" "b c" ...: every pattern quoted, so that blanks stay inside it. The
// library has no escape for a double quote, so none may appear.
std::string patternList(const std::vector<std::string>& patterns);

// The first name that patternList cannot carry (one with a double quote), or
// null when there is none.
const std::string* unquotable(const std::vector<std::string>& names);

// -S followed by the password between two copies of a delimiter that does not
// occur in it; empty when no delimiter is left (an unlikely password).
std::string passwordOption(const std::string& password);

// An option string grown one option at a time, blank-separated.
class OptionString {
public:
    OptionString& add(const std::string& option) {
        if (option.empty()) return *this;
        if (!text_.empty()) text_ += ' ';
        text_ += option;
        return *this;
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// The zip level option for the levels zip users type, 0 (store) to 9 (best).
std::string levelOption(int level);

}  // namespace zar::cli

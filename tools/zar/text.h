// Small text helpers: what zar prints of names and comments that come out of
// archives, and reading a whole file or stdin.
#pragma once

#include <string>
#include <vector>

namespace zar::cli {

// The text with control characters shown as '?', so that a name or comment
// cannot drive the terminal.
std::string printable(const std::string& text);

// The lines of a comment, without their CR LF or LF ends.
std::vector<std::string> linesOf(const std::string& text);

// The whole content of `path` ("-": stdin); false when it cannot be read.
bool readWholeFile(const std::string& path, std::string* text);

// "12 entries", "1 entry".
std::string countOf(size_t n, const char* one, const char* many);

}  // namespace zar::cli

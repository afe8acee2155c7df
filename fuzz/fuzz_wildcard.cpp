// Feeds arbitrary names and patterns to the wildcard matcher and compares its
// answer with a plain dynamic-programming matcher of the same rules; then
// uses the same bytes as include and exclude lists for the selection. Input:
// one control byte, then name, pattern and exclude list separated by '\n'.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fs/wildcard.h"

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool separator(char c) { return c == '/' || c == '\\'; }
bool same(char a, char b) { return (separator(a) && separator(b)) || upper(a) == upper(b); }

// The reference: '*' any run, '?' one character, after the two DOS conventions.
bool reference(const std::string& name, std::string pattern) {
    auto ends = [&](const char* tail) {
        size_t n = std::strlen(tail);
        return pattern.size() >= n && pattern.compare(pattern.size() - n, n, tail) == 0;
    };
    if (ends("*.*")) {
        pattern.resize(pattern.size() - 2);
    } else if (ends("*.")) {
        size_t start = name.find_last_of("/\\");
        if (name.find('.', start == std::string::npos ? 0 : start + 1) != std::string::npos) return false;
        pattern.pop_back();
    }
    size_t n = name.size(), m = pattern.size();
    std::vector<std::vector<char>> dp(n + 1, std::vector<char>(m + 1, 0));
    dp[0][0] = 1;
    for (size_t j = 1; j <= m; ++j) dp[0][j] = dp[0][j - 1] && pattern[j - 1] == '*';
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            char p = pattern[j - 1];
            if (p == '*') dp[i][j] = dp[i - 1][j] || dp[i][j - 1];
            else dp[i][j] = dp[i - 1][j - 1] && (p == '?' || same(p, name[i - 1]));
        }
    return dp[n][m];
}

// A heap copy of exactly the string and its terminator.
std::unique_ptr<char[]> exact(const std::string& s) {
    auto out = std::make_unique<char[]>(s.size() + 1);
    std::memcpy(out.get(), s.c_str(), s.size() + 1);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint8_t control = data[0];
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    rest = rest.substr(0, rest.find('\0'));
    size_t cut = rest.find('\n');
    std::string name = rest.substr(0, cut);
    std::string pattern = cut == std::string::npos ? "" : rest.substr(cut + 1);
    std::string exclude;
    if (size_t second = pattern.find('\n'); second != std::string::npos) {
        exclude = pattern.substr(second + 1);
        pattern.resize(second);
    }

    auto n = exact(name), p = exact(pattern);
    bool got = zar::fs::wildcardMatch(n.get(), p.get());
    if (name.size() <= 300 && pattern.size() <= 300 && got != reference(name, pattern)) std::abort();

    // The pattern as an include list, the rest as an exclude list, read as
    // stored names or as paths of this machine.
    const auto kind = control & 2 ? zar::fs::PathKind::Host : zar::fs::PathKind::Stored;
    auto include = exact(pattern), excluded = exact(exclude);
    zar::fs::SpecList includeList(include.get(), kind), excludeList(excluded.get(), kind);
    for (const zar::fs::FileSpec& spec : includeList.specs())
        if (spec.file.empty()) std::abort();
    zar::fs::select(name, includeList, excludeList, control & 1, false);
    return 0;
}

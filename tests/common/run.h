// Runs an independent tool for interop tests and captures what it prints.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace zar::test {

struct RunResult {
    int status = -1;
    std::string output;
};

inline RunResult run(const std::string& command) {
    RunResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string quote(const std::string& path) { return "'" + path + "'"; }

// What Info-ZIP unzip, bsdtar, 7z and Python's zipfile say of an archive, each
// testing it whole: empty when all accept it.
inline std::string rejections(const std::string& archive) {
    const std::string a = quote(archive);
    const std::string tools[] = {
        "unzip -tq " + a,
        "bsdtar -tf " + a + " >/dev/null",
        "7z t -bd " + a,
        "python3 -c 'import sys, zipfile; sys.exit(1 if zipfile.ZipFile(sys.argv[1]).testzip() else 0)' " + a,
    };
    std::string out;
    for (const std::string& t : tools) {
        RunResult r = run(t + " 2>&1");
        if (r.status != 0) out += t + ": exit " + std::to_string(r.status) + "\n" + r.output + "\n";
    }
    return out;
}

}  // namespace zar::test

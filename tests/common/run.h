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

}  // namespace zar::test

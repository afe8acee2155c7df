// The work-file builder tests that run independent tools (tar, gzip, arj,
// arc, jlha, lhasa, Python) in a scratch directory and date their sample
// files: POSIX only.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <string>

#include "workfile_support.h"

namespace zar::test {

// Runs a shell command in `dir`; its output goes to `*output` when given.
// Returns the exit status.
inline int runIn(const std::string& dir, const std::string& command, std::string* output = nullptr) {
    std::string full = "cd '" + dir + "' && (" + command + ") </dev/null 2>&1";
    FILE* pipe = ::popen(full.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output) *output = text;
    if (status != 0) ADD_FAILURE() << "`" << command << "` failed:\n" << text;
    return status;
}

inline void writeFileAt(const std::string& path, const std::string& data, time_t mtime) {
    writeText(path, data);
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

inline void setTime(const std::string& path, time_t mtime) {
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace zar::test

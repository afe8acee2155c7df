// What zar tells the user and the shell about a library result code: a
// one-line explanation on stderr and an exit status.
#pragma once

#include <string>
#include <vector>

namespace zar::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;       // some entries had problems (-8), or named files were missing
inline constexpr int kExitUsage = 2;          // bad command line, or options the library refused
inline constexpr int kExitNothingMatched = 3; // -7
inline constexpr int kExitFailure = 4;        // every other failure
inline constexpr int kExitCancelled = 130;    // -4: Ctrl-C, or a question answered Cancel

// One line on what a result code means.
const char* explainResult(int code);

int exitStatusFor(int code);

// Prints "zar: SUBJECT: explanation (code N)" to stderr, naming the last
// per-entry problem for -8, and returns the exit status for the code.
int reportResult(const std::string& subject, int code);

// What is wrong with `path` as an archive to read or to write, in plain
// words, as far as the file system tells ("is a directory, not an archive",
// "cannot be created: the directory x does not exist"); empty when nothing
// is.
std::string archivePathProblem(const std::string& path, bool forWriting);

// reportResult for a failed open: names what is wrong with the path when
// the file system can tell, else explains the code.
int reportOpenFailure(const std::string& shown, const std::string& path, int code, bool forWriting = false);

// Makes the output directory `path` when it is missing; false after saying
// why it cannot be made or used.
bool prepareOutputDirectory(const std::string& path);

// Prints "zar: TEXT" to stderr.
void complain(const std::string& text);

// Refuses names that the library's pattern lists cannot carry: prints why
// and returns the usage status, or kExitOk when all can be given.
int refuseUnquotable(const std::vector<std::string>& names);

}  // namespace zar::cli

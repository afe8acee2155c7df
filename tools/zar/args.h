// zar's command line: a verb, then options and operands in any order
// ("--" ends the options). Short options may be bundled (-rv), and values
// follow their option (-d DIR, -dDIR, --dir DIR, --dir=DIR).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zar::cli {

enum class Verb {
    None, List, Test, Extract, Add, Update, Freshen, Move, Delete, Comment, Identify, Rename,
    UuEncode, UuDecode, ToDos, ToUnix
};

// What extraction does with a file that exists already.
enum class Existing { Ask, Overwrite, Skip, Freshen, Update };

struct Options {
    Verb verb = Verb::None;
    bool help = false;
    bool version = false;
    std::vector<std::string> operands;  // the archive first, where the verb takes one

    bool quiet = false;
    bool verbose = false;
    bool noProgress = false;
    std::string password;
    bool passwordGiven = false;
    bool askPassword = false;
    std::vector<std::string> excludes;
    std::string rawOptions;

    // list
    bool namesOnly = false;
    // extract
    std::string outputDir;
    Existing existing = Existing::Ask;
    bool toStdout = false;  // the entries' bytes to standard output
    // add, update, freshen, move (flat also for extract)
    bool flat = false;
    bool recurse = false;
    int level = -1;
    std::string changeDir;
    bool noHidden = false;
    bool latestTime = false;
    bool keepTime = false;
    bool interactive = false;
    std::string stdinName;  // the entry name of the file "-" (standard input)
    bool stdinNameGiven = false;
    // rename (the new archive), uuencode, to-dos and to-unix (the output file)
    std::string outputFile;
    // uuencode
    uint32_t partSize = 0;  // bytes, 0 for one file
    bool cutLines = false;
    // to-dos
    bool endMark = false;
    // add: a set over several volumes
    uint32_t volumeSize = 0;  // bytes; 0: one archive
    int volumeKind = 0;       // AX_KIND_*; 0: spanned on a removable drive, numbered elsewhere
    // comment
    std::vector<std::string> entryPatterns;
    std::string commentFile;
    bool clear = false;
};

// Fills `options` from the arguments after the program name. On a usage error
// returns false with a message that names the problem.
bool parseCommandLine(int argc, char** argv, Options* options, std::string* error);

// The verb's name as the user types it in full.
const char* verbName(Verb verb);

}  // namespace zar::cli

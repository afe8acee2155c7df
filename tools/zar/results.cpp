#include "results.h"

#include <cstdio>

#include "compose.h"
#include "zarlib32.h"

namespace zar::cli {

const char* explainResult(int code) {
    switch (code) {
        case AX_OK: return "success";
        case AX_UNKNOWN_KIND: return "not an archive of a known kind, or it cannot be read";
        case AX_BAD_ARCHIVE: return "bad archive: a damaged record, a missing signature, or the file is too short";
        case AX_UNKNOWN_METHOD: return "unknown compression method, or no such compression level";
        case AX_CANCELLED: return "cancelled";
        case AX_NOTHING_DONE: return "nothing matched: no entry or file was selected";
        case AX_SOME_ENTRIES_FAILED: return "some entries were skipped or failed a check";
        case AX_BAD_OPTION: return "unknown or malformed option";
        case AX_WRITE_FAILED: return "a write failed: the disk may be full, or a file could not be created";
        case AX_SHORT_READ: return "a read came up short or a seek failed: the file may be truncated";
        case AX_TOO_LONG: return "too long: a name, comment, option string or path exceeds its limit";
        case AX_MISSING_ARGUMENT: return "a required argument is missing";
        case AX_OPTION_CONFLICT: return "options that exclude each other, or an option given twice";
        case AX_TOO_MANY: return "too many entries (65535 at most), or no room for the directory";
        case AX_BAD_DATE: return "bad date in a date option";
        case AX_NOT_WRITABLE: return "the archive cannot be written: it is read-only, or of a kind that is only read";
        case AX_WRONG_PASSWORD: return "wrong password";
        case AX_CRC_MISMATCH: return "CRC mismatch: the data are damaged";
        case AX_NOT_ON_THIS_KIND: return "not possible on this kind of archive";
        case AX_FIND_FIRST_NEEDED: return "the directory was read out of order";
        case AX_NOT_REMOVABLE: return "this needs a removable disk";
        case AX_BAD_TRAILER: return "bad end trailer";
        case AX_PATH_NOT_FOUND: return "no such file or directory, or a wildcard where one file is needed";
        case AX_DIRECTORY_FAILED: return "a directory could not be created";
        case AX_ACCESS_DENIED:
            return "a file could not be opened, created, read or changed: access denied, or no end record (a cut or "
                   "damaged archive)";
        case AX_NOT_OPEN: return "not an open archive";
        case AX_NO_MEMORY: return "out of memory";
        case AX_BAD_PASSWORD: return "wrong or missing password";
        default: return "unknown result";
    }
}

namespace {

// The per-entry problems a run notes, in a few words.
std::string explainProblem(int code) {
    switch (code) {
        case AX_WRONG_PASSWORD: return "wrong password";
        case AX_CRC_MISMATCH: return "CRC mismatch";
        case AX_UNKNOWN_METHOD: return "unknown compression method";
        case AX_ACCESS_DENIED: return "access denied";
        case AX_PATH_NOT_FOUND: return "not found";
        default: return explainResult(code);
    }
}

}  // namespace

int exitStatusFor(int code) {
    switch (code) {
        case AX_OK: return kExitOk;
        case AX_SOME_ENTRIES_FAILED: return kExitProblems;
        case AX_NOTHING_DONE: return kExitNothingMatched;
        case AX_CANCELLED: return kExitCancelled;
        // The option string came from the command line.
        case AX_BAD_OPTION:
        case AX_OPTION_CONFLICT:
        case AX_BAD_DATE:
        case AX_MISSING_ARGUMENT: return kExitUsage;
        default: return kExitFailure;
    }
}

void complain(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "zar: %s\n", text.c_str());
}

int reportResult(const std::string& subject, int code) {
    std::string line = subject.empty() ? std::string() : subject + ": ";
    line += explainResult(code);
    if (code == AX_SOME_ENTRIES_FAILED) {
        const int last = Ax4MoreStatus();
        if (last != 0) line += "; the last: " + explainProblem(last) + " (" + std::to_string(last) + ")";
    }
    line += " (code " + std::to_string(code) + ")";
    complain(line);
    return exitStatusFor(code);
}

}  // namespace zar::cli

namespace zar::cli {

int refuseUnquotable(const std::vector<std::string>& names) {
    const std::string* bad = unquotable(names);
    if (bad == nullptr) return kExitOk;
    complain(*bad + ": names with a double quote cannot be given to the library");
    return kExitUsage;
}

}  // namespace zar::cli

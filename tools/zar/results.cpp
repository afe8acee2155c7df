#include "results.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

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
        case AX_SOME_ENTRIES_FAILED: return "some entries were passed over or failed a check";
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

namespace zar::cli {
namespace {

// strerror's words, in the lower case of the rest of a message.
std::string reason(int error) {
    std::string text = std::strerror(error);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && (text.size() < 2 || text[1] < 'A' || text[1] > 'Z'))
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

std::string parentOf(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

}  // namespace

std::string archivePathProblem(const std::string& path, bool forWriting) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return "is a directory, not an archive";
        if (!S_ISREG(st.st_mode)) return "is not a regular file";
        if (::access(path.c_str(), forWriting ? R_OK | W_OK : R_OK) != 0)
            return std::string(forWriting ? "cannot be changed: " : "cannot be read: ") + reason(errno);
        return {};
    }
    const int error = errno;
    if (!forWriting) return reason(error);
    if (error != ENOENT && error != ENOTDIR) return "cannot be created: " + reason(error);
    const std::string parent = parentOf(path);
    if (::stat(parent.c_str(), &st) != 0) return "cannot be created: the directory " + parent + " does not exist";
    if (!S_ISDIR(st.st_mode)) return "cannot be created: " + parent + " is not a directory";
    if (::access(parent.c_str(), W_OK | X_OK) != 0)
        return "cannot be created: no permission to write in " + parent;
    return {};
}

int reportOpenFailure(const std::string& shown, const std::string& path, int code, bool forWriting) {
    const std::string problem = archivePathProblem(path, forWriting);
    if (problem.empty()) return reportResult(shown, code);
    complain(shown + ": " + problem + " (code " + std::to_string(code) + ")");
    return exitStatusFor(code);
}

bool prepareOutputDirectory(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        complain(path + ": the output directory is a file");
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!ec) return true;
    complain(path + ": the output directory cannot be made: " + reason(ec.value()));
    return false;
}

}  // namespace zar::cli

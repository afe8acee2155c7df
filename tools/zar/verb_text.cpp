// zar uuencode, uudecode, to-dos and to-unix: the library's text-file
// utilities, file to file.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "results.h"
#include "text.h"
#include "verbs.h"
#include "zarlib32.h"

namespace zar::cli {
namespace {

bool missing(const std::string& file) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) return false;
    complain(file + (std::filesystem::exists(file, ec) ? ": not a regular file" : ": no such file"));
    return true;
}

// What the uudecoding codes mean for a text, in words about the text.
int reportDecode(const std::string& file, int16_t result) {
    switch (result) {
        case AX_UNKNOWN_KIND:
            complain(file + ": no uuencoded file in it (no \"begin\" line with a name)");
            return kExitFailure;
        case AX_SOME_ENTRIES_FAILED:
            complain(file + ": the uuencoded data is cut short (a short line, or a missing part); nothing written");
            return kExitFailure;
        case AX_CRC_MISMATCH:
            complain(file + ": a data line holds characters that uuencode never writes; nothing written");
            return kExitFailure;
        case AX_TOO_LONG:
            complain(file + ": a line is longer than 254 characters; this is no uuencoded text");
            return kExitFailure;
        default: return reportResult(file, result);
    }
}

// The file name the text's "begin" line gives, for the message.
std::string decodedName(const std::string& text) {
    std::ifstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("begin ", 0) != 0) continue;
        const size_t mode = line.find(' ', 6);
        if (mode == std::string::npos) return {};
        std::string name = line.substr(mode + 1);
        while (!name.empty() && (name.back() == '\r' || name.back() == ' ')) name.pop_back();
        return name.substr(name.find_last_of("/\\") == std::string::npos ? 0 : name.find_last_of("/\\") + 1);
    }
    return {};
}

}  // namespace

int runUuEncode(const Options& options) {
    const std::string& file = options.operands[0];
    if (missing(file)) return kExitFailure;
    uint16_t parts = 0;
    const int16_t result = Ax4UUEncode(file.c_str(), options.outputFile.empty() ? nullptr : options.outputFile.c_str(),
                                       static_cast<int32_t>(options.partSize), options.cutLines, &parts);
    if (result == AX_TOO_LONG) {
        complain(file + ": the text would need more than 900 parts; give a larger --part-size");
        return kExitFailure;
    }
    if (result != AX_OK) return reportResult(file, result);
    if (!options.quiet) {
        std::string base = options.outputFile;
        if (base.empty()) base = std::filesystem::path(file).replace_extension().string();
        if (parts > 1)
            std::printf("%s: encoded into %u parts, %s.1 to %s.%u\n", printable(file).c_str(), parts,
                        printable(std::filesystem::path(base).replace_extension().string()).c_str(),
                        printable(std::filesystem::path(base).replace_extension().string()).c_str(), parts);
        else
            std::printf("%s: encoded into %s\n", printable(file).c_str(),
                        printable(std::filesystem::path(base).has_extension() ? base : base + ".uue").c_str());
    }
    return kExitOk;
}

int runUuDecode(const Options& options) {
    std::error_code ec;
    if (!options.outputDir.empty() && !std::filesystem::is_directory(options.outputDir, ec)) {
        complain(options.outputDir + ": no such directory");
        return kExitFailure;
    }
    int status = kExitOk;
    for (const std::string& file : options.operands) {
        if (missing(file)) {
            status = kExitFailure;
            continue;
        }
        const int16_t result =
            Ax4UUDecode(file.c_str(), options.outputDir.empty() ? nullptr : options.outputDir.c_str());
        if (result != AX_OK) {
            status = reportDecode(file, result);
            continue;
        }
        if (!options.quiet) {
            std::string where = options.outputDir;
            if (where.empty()) where = std::filesystem::path(file).parent_path().string();
            const std::string name = decodedName(file);
            std::printf("%s: decoded %s\n", printable(file).c_str(),
                        printable(where.empty() ? name : (std::filesystem::path(where) / name).string()).c_str());
        }
    }
    return status;
}

int runLineEnds(const Options& options) {
    const std::string& file = options.operands[0];
    if (missing(file)) return kExitFailure;
    const std::string& output = options.outputFile.empty() ? file : options.outputFile;
    const bool toDos = options.verb == Verb::ToDos;
    const int16_t result = toDos ? Ax4LfToCrLf(file.c_str(), output.c_str(), options.endMark)
                                 : Ax4CrLfToLf(file.c_str(), output.c_str());
    if (result != AX_OK) return reportResult(output, result);
    if (!options.quiet)
        std::printf("%s: line ends %s%s\n", printable(output).c_str(), toDos ? "CR LF" : "LF",
                    options.outputFile.empty() ? "" : (" (from " + printable(file) + ")").c_str());
    return kExitOk;
}

}  // namespace zar::cli

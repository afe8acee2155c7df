// Writes arbitrary bytes to a file, opens it as an archive for writing and
// runs a writing run over it: deleting entries, adding a small file (which
// copies every existing entry), adding several (compressed ahead on worker
// threads), or replacing comments. A rebuilding run that
// fails must leave the archive byte for byte as it was; any run that succeeds
// must leave an archive whose directory can be walked to its end. No run
// leaves a file of its own: the archive's directory, which is also the
// temporary directory, holds nothing but what the target put there.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zarlib32.h"

namespace {

// A directory of this process's own, the temporary directory too; removed
// at exit, when it is empty.
char ownDirectory[4096];

const std::string& directory() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zar-fuzz-update-XXXXXX";
        if (pattern.size() >= sizeof ownDirectory || ::mkdtemp(pattern.data()) == nullptr) __builtin_trap();
        std::memcpy(ownDirectory, pattern.c_str(), pattern.size() + 1);
        std::atexit([] { ::rmdir(ownDirectory); });
        ::setenv("TMPDIR", ownDirectory, 1);
        return pattern;
    }();
    return path;
}

const std::string& base() {
    static const std::string path = directory() + "/f";
    return path;
}

std::vector<uint8_t> contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// True when the archive opens and its directory reads to its end.
bool walks(const std::string& path) {
    AxHandle h;
    if (Ax4ZipOpen(path.c_str(), AX_OPEN_READ, &h) != 0) return false;
    CDR record;
    char name[261];
    int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0);
    for (int i = 0; i < 70000 && r == 0; ++i) r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0);
    Ax4ZipClose(&h);
    return r == AX_NOTHING_DONE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const runs[][2] = {
        {"*.*", "-D"},         {"A*", "-D -O"},        {"", "-O"},
        {"SMALL.TXT", "-ET"},  {"SMALL.TXT", "-U -K"}, {"SMALL.TXT", "-.L"},
        {"*.*", "entry comment"}, {"", "archive comment"}, {"SMALL*.TXT", "-ED3"},
    };
    if (size == 0) return 0;
    const std::string archive = base() + ".zip";
    const std::string smalls[] = {base() + "-small.txt", base() + "-small2.txt", base() + "-small3.txt"};
    {
        std::FILE* f = std::fopen(archive.c_str(), "wb");
        if (f == nullptr) return 0;
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
        for (size_t i = 0; i < std::size(smalls); ++i) {
            f = std::fopen(smalls[i].c_str(), "wb");
            if (f == nullptr) return 0;
            for (size_t line = 0; line <= i * 40; ++line) std::fputs("a small file to add, a small file to add\n", f);
            std::fclose(f);
        }
    }
    const std::vector<uint8_t> before(data + 1, data + size);
    const auto& run = runs[data[0] % (sizeof runs / sizeof runs[0])];
    const bool adds = std::strncmp(run[0], "SMALL", 5) == 0;
    const std::string added = std::strcmp(run[0], "SMALL.TXT") == 0 ? smalls[0] : base() + "-small*.txt";

    // The archive comment is written in place, into whatever end record the
    // search accepted; only the absence of faults is judged there.
    const bool inPlace = std::strcmp(run[1], "archive comment") == 0;
    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), 2, &h) == 0) {
        int16_t r;
        if (std::strcmp(run[1], "entry comment") == 0)
            r = Ax4ZipNewFileComment(&h, run[0], "a new comment");
        else if (inPlace)
            r = Ax4ZipNewComment(h, "a new archive comment");
        else
            r = Ax4Zip(&h, adds ? added.c_str() : run[0], nullptr, run[1]);
        Ax4ZipClose(&h);
        if (r == 0 && !inPlace && std::strcmp(run[1], "-O") != 0 && !walks(archive)) __builtin_trap();
        if (r != 0 && !inPlace && contents(archive) != before) __builtin_trap();
    }
    std::remove(archive.c_str());
    for (const std::string& small : smalls) std::remove(small.c_str());
    std::error_code ec;
    if (!std::filesystem::is_empty(directory(), ec) || ec) __builtin_trap();
    return 0;
}

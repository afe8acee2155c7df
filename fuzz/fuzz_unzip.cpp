// Writes arbitrary bytes to a file, opens it as an archive and runs the unzip
// driver over every entry: mostly in test mode (decode and check, write
// nothing), sometimes extracting for real into a fresh directory, after which
// nothing may exist beside that directory, whatever the entries were called,
// and no temporary file of the library's may be left registered.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "fs/temp_files.h"
#include "zarlib32.h"

namespace {

const std::string& base() {
    static const std::string path = "/tmp/zar-fuzz-unzip-" + std::to_string(::getpid());
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const extensions[] = {".zip", ".tar", ".tgz", ".gz"};
    static const char* const options[] = {"-T", "-T -D -S/pw/", "-T -.L -$", "-T -JHSRN"};
    if (size == 0) return 0;
    const bool extract = data[0] & 0x10;
    std::string archive = base() + extensions[data[0] & 3];
    FILE* f = std::fopen(archive.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    const std::string root = base() + "-out", out = root + "/out/";
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    std::filesystem::create_directories(out, ec);

    AxHandle h;
    if (Ax4ZipOpen(archive.c_str(), AX_OPEN_READ, &h) == 0) {
        Ax4UnZip(&h, out.c_str(), "*.*", nullptr, extract ? "-D -O -S/pw/" : options[(data[0] >> 2) & 3]);
        Ax4ZipClose(&h);
    }
    // Files being extracted live as registered temporary files until they
    // take their names; with the archive closed, none may be left.
    if (!zar::fs::tempRegistry().empty()) __builtin_trap();
    // Every name the archive could hold lands inside the output directory.
    for (const auto& item : std::filesystem::directory_iterator(root, ec))
        if (item.path().filename() != "out") __builtin_trap();
    std::filesystem::remove_all(root, ec);
    std::remove(archive.c_str());
    return 0;
}

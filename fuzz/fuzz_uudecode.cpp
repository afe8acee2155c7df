// Uudecoding of arbitrary text. The first byte says where the text is cut
// into two numbered parts (name.1 and name.2); the decode runs in a private
// directory of its own, and must leave in it nothing but the parts and at most
// one decoded file (a name in the text never reaches elsewhere).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;

const std::string& workDirectory() {
    static const std::string dir = [] {
        std::string pattern = (fsys::temp_directory_path() / "fuzz-uu-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    return dir;
}

void write(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string dir = workDirectory();
    const std::string out = dir + "/out";
    fsys::remove_all(out);
    fsys::create_directories(out);
    const size_t cut = 1 + (size - 1) * data[0] / 255;
    write(dir + "/text.1", data + 1, cut - 1);
    write(dir + "/text.2", data + cut, size - cut);
    const int16_t r = Ax4UUDecode((dir + "/text.1").c_str(), out.c_str());
    size_t files = 0;
    for (const auto& item : fsys::directory_iterator(out)) {
        if (!item.is_regular_file()) std::abort();
        ++files;
    }
    if (files > (r == 0 ? 1u : 0u)) std::abort();
    size_t beside = 0;
    for (const auto& item : fsys::directory_iterator(dir)) beside += item.path().filename() != "out";
    if (beside != 2) std::abort();
    return 0;
}

// Loads the benchmark corpus once (see corpus.h).
#include "corpus.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zar::bench {
namespace {

namespace fs = std::filesystem;

void appendFile(std::vector<uint8_t>& out, const fs::path& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > limit) bytes.resize(limit);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// About 24 MB: headers as text, shared libraries as binaries.
std::vector<uint8_t> assemble() {
    std::vector<uint8_t> out;
    std::error_code ec;
    for (const char* root : {"/usr/include", "/usr/lib/x86_64-linux-gnu"}) {
        size_t budget = out.size() + 12u * 1024 * 1024;
        for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator() && out.size() < budget; it.increment(ec)) {
            if (ec) break;
            if (it->is_regular_file(ec) && !it->is_symlink(ec)) appendFile(out, it->path(), 2u * 1024 * 1024);
        }
    }
    return out;
}

}  // namespace

const std::vector<uint8_t>& corpus() {
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> out;
        if (const char* env = std::getenv("ZARLIB_BENCH_CORPUS")) {
            fs::path path(env);
            if (fs::is_directory(path)) path /= "big.bin";
            appendFile(out, path, SIZE_MAX);
        }
        return out.empty() ? assemble() : out;
    }();
    return data;
}

}  // namespace zar::bench

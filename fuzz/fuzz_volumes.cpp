// Sets over several volumes built from arbitrary bytes: the input is cut at
// each "\xF0\x0F\xF0\x0F" into pieces, written as the volumes of a split set
// on a fixed drive (set.z01, set.z02, ..., set.zip), as numbered volumes
// (set.001, set.002, ...) and as a set that is opened by its first volume
// (front.zip, front.z02, ...; the first also as front.z01). The first byte
// picks the file opened. Whatever
// opens is listed, tested, and read into memory entry by entry; all of it
// must end with a result code, never run away or touch memory it should not.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zarlib32.h"

namespace {

namespace fsys = std::filesystem;

const std::string& workDirectory() {
    static const std::string dir = [] {
        std::string pattern = (fsys::temp_directory_path() / "fuzz-volumes-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    return dir;
}

void write(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string twoDigits(size_t n) { return (n < 10 ? "0" : "") + std::to_string(n); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::string dir = workDirectory();
    for (const auto& item : fsys::directory_iterator(dir)) fsys::remove_all(item.path());

    std::vector<std::pair<const uint8_t*, size_t>> pieces;
    const uint8_t* begin = data + 1;
    const uint8_t* end = data + size;
    for (const uint8_t* at = begin; pieces.size() < 8;) {
        const uint8_t* cut = at;
        while (cut + 4 <= end && !(cut[0] == 0xF0 && cut[1] == 0x0F && cut[2] == 0xF0 && cut[3] == 0x0F)) ++cut;
        if (cut + 4 > end) cut = end;
        pieces.push_back({at, static_cast<size_t>(cut - at)});
        if (cut == end) break;
        at = cut + 4;
    }
    for (size_t i = 0; i < pieces.size(); ++i) {
        const bool last = i + 1 == pieces.size();
        write(dir + "/set." + (last ? std::string("zip") : "z" + twoDigits(i + 1)), pieces[i].first, pieces[i].second);
        write(dir + "/set.0" + twoDigits(i + 1), pieces[i].first, pieces[i].second);
        write(dir + "/front." + (i == 0 ? std::string("zip") : "z" + twoDigits(i + 1)), pieces[i].first,
              pieces[i].second);
    }
    write(dir + "/front.z01", pieces[0].first, pieces[0].second);
    const char* names[] = {"set.zip", "set.z01", "set.001", "front.zip"};
    const std::string opened = dir + "/" + names[data[0] % 4];

    AxHandle h = AX_NO_ARCHIVE;
    if (Ax4ZipOpen(opened.c_str(), AX_OPEN_READ, &h) != 0) return 0;
    CDR record;
    char name[261];
    std::vector<std::string> entries;
    for (int16_t r = Ax4ZipFindFirst(h, &record, name, nullptr, 0, nullptr, 0); r == 0 && entries.size() < 64;
         r = Ax4ZipFindNext(h, &record, name, nullptr, 0, nullptr, 0))
        entries.push_back(name);
    Ax4UnZip(&h, nullptr, "*.*", nullptr, "-T");
    std::vector<uint8_t> window(4096);
    for (const std::string& entry : entries)
        if (entry.find_first_of("*?") == std::string::npos)
            Ax4UnZipPtr(h, window.data(), 0, static_cast<int32_t>(window.size()), entry.c_str(), "");
    Ax4ZipClose(&h);
    return 0;
}

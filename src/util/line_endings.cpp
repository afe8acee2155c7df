#include "util/line_endings.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fs/file_io.h"
#include "fs/names.h"
#include "fs/temp_files.h"

namespace zar::util {
namespace {

constexpr uint32_t kBlockSize = 131072;
constexpr uint8_t kCr = 13, kLf = 10, kEndMark = 26;

// Streams `source` through `convert` into a new file that replaces
// `destination` at the end. `convert(in, n, out, &produced)` turns n input
// bytes into at most 2n output bytes and returns false to stop reading
// (an end mark).
template <class Convert, class Finish>
Result convertFile(const char* source, const char* destination, Convert convert, Finish finish) {
    fs::File in(fs::openFile(source, platform::kAccessRead, platform::kShareRead, fs::Disposition::OpenExisting, 0,
                             true));
    if (!in.valid()) return kAccessDenied;
    const int64_t length = fs::fileLength(in.get());
    if (length < 0) return kAccessDenied;

    const std::string target = fs::ansiForm(destination);
    fs::TempFile out = fs::TempFile::makeOpen(target.substr(0, target.find_last_of("/\\") + 1), nullptr,
                                              platform::kAttrArchive);
    if (!out.valid()) return kWriteFailed;

    std::vector<uint8_t> input, output;
    const uint32_t block = static_cast<uint32_t>(std::min<int64_t>(length, kBlockSize));
    if (block != 0) {
        try {
            input.resize(block);
            output.resize(2 * size_t{block});
        } catch (const std::bad_alloc&) {
            return kNoMemory;
        }
    }
    for (int64_t left = length; left > 0;) {
        const uint32_t n = static_cast<uint32_t>(std::min<int64_t>(left, block));
        if (!fs::readExact(in.get(), input.data(), n)) return kShortRead;
        left -= n;
        uint32_t produced = 0;
        const bool goOn = convert(input.data(), n, output.data(), &produced);
        if (!fs::writeAll(out.file(), output.data(), produced)) return kWriteFailed;
        if (!goOn) break;
    }
    if (!finish(out.file())) return kWriteFailed;
    in.close();
    return out.renameTo(target.c_str()) ? kOk : kWriteFailed;
}

}  // namespace

Result lfToCrLf(const char* source, const char* destination, bool endMark) {
    return convertFile(
        source, destination,
        [](const uint8_t* in, uint32_t n, uint8_t* out, uint32_t* produced) {
            uint8_t* o = out;
            for (uint32_t i = 0; i < n; ++i) {
                if (in[i] == kLf) *o++ = kCr;
                *o++ = in[i];
            }
            *produced = static_cast<uint32_t>(o - out);
            return true;
        },
        [endMark](fs::FileHandle out) { return !endMark || fs::writeAll(out, &kEndMark, 1); });
}

Result crLfToLf(const char* source, const char* destination) {
    bool afterCr = false;  // carries over from one block to the next
    return convertFile(
        source, destination,
        [&afterCr](const uint8_t* in, uint32_t n, uint8_t* out, uint32_t* produced) {
            uint8_t* o = out;
            bool goOn = true;
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t c = in[i];
                if (c == kLf && afterCr) {
                    afterCr = false;
                } else if (c == kEndMark) {
                    goOn = false;
                    break;
                } else {
                    afterCr = c == kCr;
                    *o++ = afterCr ? kLf : c;
                }
            }
            *produced = static_cast<uint32_t>(o - out);
            return goOn;
        },
        [](fs::FileHandle) { return true; });
}

}  // namespace zar::util

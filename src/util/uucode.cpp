#include "util/uucode.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fs/file_io.h"
#include "fs/names.h"
#include "fs/temp_files.h"

namespace zar::util {
namespace {

// The text utilities answer a missing argument with -4, as they always have.
constexpr Result kNoArgument = kCancelled;

constexpr uint32_t kLineBytes = 45;
constexpr size_t kLineLimit = 255;  // a line and its end
constexpr const char* kCutBegin = "BEGIN------------------CUT HERE-----------------cut here-----\r\n";
constexpr const char* kCutEnd = "END--------------------CUT HERE-----------------cut here-----\r\n";

char encodeValue(uint32_t value) { return value == 0 ? '`' : static_cast<char>(value + 32); }

// One line of data: its count, then each group of three bytes (the last one
// padded with zeros) as four characters.
std::string encodeLine(const uint8_t* bytes, uint32_t count) {
    std::string line(1, encodeValue(count));
    for (uint32_t i = 0; i < count; i += 3) {
        const uint8_t b0 = bytes[i], b1 = i + 1 < count ? bytes[i + 1] : 0, b2 = i + 2 < count ? bytes[i + 2] : 0;
        line += encodeValue(b0 >> 2);
        line += encodeValue(((b0 << 4) | (b1 >> 4)) & 63);
        line += encodeValue(((b1 << 2) | (b2 >> 6)) & 63);
        line += encodeValue(b2 & 63);
    }
    return line + "\r\n";
}

std::string withoutExtension(const std::string& path) {
    std::string drive, directory, name;
    fs::splitPath(path.c_str(), &drive, &directory, &name, nullptr, fs::PathKind::Host);
    return drive + directory + name;
}

bool hasExtension(const std::string& path) {
    std::string extension;
    fs::splitPath(path.c_str(), nullptr, nullptr, nullptr, &extension, fs::PathKind::Host);
    return !extension.empty();
}

std::string directoryOf(const std::string& path) { return path.substr(0, path.find_last_of("/\\") + 1); }

// The text's lines go to one file, or to numbered parts that each stay below
// the limit. Every file is made beside its place and named only by commit().
class PartWriter {
public:
    PartWriter(std::string base, std::string first, uint32_t limit)
        : base_(std::move(base)), first_(std::move(first)), limit_(limit) {}

    Result write(const std::string& line) {
        if (parts_.empty() || (limit_ != 0 && bytes_ + line.size() >= limit_)) {
            if (parts_.size() == 900) return kTooLong;
            parts_.push_back(fs::TempFile::makeOpen(directoryOf(fs::ansiForm(base_)), nullptr, platform::kAttrArchive));
            if (!parts_.back().valid()) return kWriteFailed;
            bytes_ = 0;
        }
        if (!fs::writeAll(parts_.back().file(), line.data(), static_cast<uint32_t>(line.size()))) return kWriteFailed;
        bytes_ += line.size();
        return kOk;
    }

    uint16_t parts() const { return static_cast<uint16_t>(std::max<size_t>(parts_.size(), 1)); }

    // Gives each part its name.
    Result commit() {
        for (size_t i = 0; i < parts_.size(); ++i) {
            const std::string name = limit_ == 0 ? first_ : base_ + "." + std::to_string(i + 1);
            if (!parts_[i].renameTo(fs::ansiForm(name).c_str())) return kWriteFailed;
        }
        return kOk;
    }

private:
    std::string base_, first_;
    uint32_t limit_;
    std::vector<fs::TempFile> parts_;
    uint64_t bytes_ = 0;
};

// Reads lines of at most 254 characters, each ended by LF, CR or CR LF. The
// last line of a text may lack its end.
class LineReader {
public:
    explicit LineReader(fs::FileHandle file) : file_(file) {}

    // kOk with a line; kNothingDone at the end of the text; kTooLong;
    // kAccessDenied when a read fails.
    Result next(std::string* line) {
        line->clear();
        for (;;) {
            if (at_ == filled_) {
                if (!fill()) return kAccessDenied;
                if (filled_ == 0) return line->empty() ? kNothingDone : kOk;
            }
            const char c = static_cast<char>(buffer_[at_++]);
            if (skipLf_) {
                skipLf_ = false;
                if (c == '\n') continue;  // the LF of a CR LF
            }
            if (c == '\n') return kOk;
            if (c == '\r') {
                skipLf_ = true;
                return kOk;
            }
            if (line->size() == kLineLimit - 1) return kTooLong;
            *line += c;
        }
    }

    void reset(fs::FileHandle file) {
        file_ = file;
        at_ = filled_ = 0;
        skipLf_ = false;
    }

private:
    bool fill() {
        at_ = 0;
        return fs::readSome(file_, buffer_, sizeof buffer_, &filled_);
    }

    fs::FileHandle file_;
    uint8_t buffer_[16384];
    uint32_t at_ = 0, filled_ = 0;
    bool skipLf_ = false;
};

// The value of a uuencode character: '`' and ' ' are 0; anything outside ' '
// to '`' is no uuencode.
bool decodeValue(char c, uint32_t* value) {
    const uint32_t v = static_cast<uint8_t>(c) - 32u;
    if (v > 64) return false;
    *value = v & 63;
    return true;
}

}  // namespace

Result uuEncode(const char* source, const char* output, int32_t partLimit, bool cutLines, uint16_t* parts) {
    if (source == nullptr || parts == nullptr) return kNoArgument;
    *parts = 1;
    const std::string base = output != nullptr && *output != '\0' ? output : withoutExtension(source);

    fs::File in(fs::openFile(source, platform::kAccessRead, platform::kShareRead, fs::Disposition::OpenExisting, 0,
                             true));
    if (!in.valid()) return kAccessDenied;
    const int64_t size = fs::fileLength(in.get());
    if (size < 0) return kAccessDenied;

    std::string name;
    fs::splitName(source, nullptr, nullptr, &name, fs::PathKind::Host);
    uint64_t limit = partLimit < 1 ? 0 : partLimit < 2048 ? uint64_t(partLimit) * 1024 : uint64_t(partLimit);
    const uint64_t length = static_cast<uint64_t>(size);
    const uint64_t estimate = name.size() + 18 + 3 * ((length + 44) / 45) + (length + 2) / 3 + length + 2 +
                              (cutLines ? 126 : 0);
    if (limit != 0 && estimate > 900 * limit) return kTooLong;
    if (limit != 0 && estimate <= limit) limit = 0;  // it fits one file
    const std::string first = hasExtension(base) ? base : base + ".uue";
    PartWriter writer(limit != 0 ? withoutExtension(base) : base, first, static_cast<uint32_t>(limit));

    if (cutLines)
        if (Result r = writer.write(kCutBegin); r != kOk) return r;
    if (Result r = writer.write("begin 644 " + name + "\r\n"); r != kOk) return r;
    std::vector<uint8_t> block(kLineBytes * 1456);
    for (uint64_t left = length; left > 0;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, block.size()));
        if (!fs::readExact(in.get(), block.data(), n)) return kAccessDenied;
        left -= n;
        for (uint32_t at = 0; at < n; at += kLineBytes)
            if (Result r = writer.write(encodeLine(block.data() + at, std::min(kLineBytes, n - at))); r != kOk)
                return r;
    }
    for (const std::string& line : {std::string("`\r\n"), std::string("end\r\n"), std::to_string(length) + "\r\n"})
        if (Result r = writer.write(line); r != kOk) return r;
    if (cutLines)
        if (Result r = writer.write(kCutEnd); r != kOk) return r;
    if (Result r = writer.commit(); r != kOk) return r;
    *parts = writer.parts();
    return kOk;
}

Result uuDecode(const char* source, const char* outputDirectory) {
    if (source == nullptr) return kNoArgument;
    std::string path = source;
    if (!hasExtension(path)) path += ".uue";
    std::string extension;
    fs::splitPath(path.c_str(), nullptr, nullptr, nullptr, &extension, fs::PathKind::Host);
    const bool numbered = extension == ".1";
    std::string directory;
    if (outputDirectory != nullptr && *outputDirectory != '\0') {
        directory = outputDirectory;
        if (!fs::isSeparator(directory.back())) directory += '/';
    } else {
        std::string drive;
        fs::splitName(path.c_str(), &drive, &directory, nullptr, fs::PathKind::Host);
        directory = drive + directory;
    }

    fs::File in(fs::openFile(path.c_str(), platform::kAccessRead, platform::kShareRead, fs::Disposition::OpenExisting,
                             0, true));
    if (!in.valid()) return kAccessDenied;
    LineReader reader(in.get());
    std::string line;
    for (;;) {
        const Result r = reader.next(&line);
        if (r == kNothingDone) return kUnknownKind;
        if (r != kOk) return r;
        if (line.compare(0, 6, "begin ") == 0) break;
    }
    // "begin MODE NAME": the name runs to the next blank; only its last
    // component counts, so that no text can write outside the directory.
    const size_t modeEnd = line.find(' ', 6);
    if (modeEnd == std::string::npos) return kUnknownKind;
    std::string name = line.substr(modeEnd + 1);
    name = name.substr(0, name.find(' '));
    name = name.substr(name.find_last_of("/\\") == std::string::npos ? 0 : name.find_last_of("/\\") + 1);
    if (name.empty() || name == "." || name == "..") return kUnknownKind;

    const std::string target = fs::ansiForm(directory + name);
    fs::TempFile out = fs::TempFile::makeOpen(directoryOf(target), nullptr, platform::kAttrArchive);
    if (!out.valid()) return kWriteFailed;

    uint64_t written = 0;
    uint32_t part = 1;
    std::vector<uint8_t> bytes;
    for (;;) {
        const Result r = reader.next(&line);
        if (r == kNothingDone) {
            // The data goes on in the next numbered part.
            if (!numbered) return kSomeEntriesFailed;
            const std::string next = withoutExtension(path) + "." + std::to_string(++part);
            in = fs::File(fs::openFile(next.c_str(), platform::kAccessRead, platform::kShareRead,
                                       fs::Disposition::OpenExisting, 0, true));
            if (!in.valid()) return kSomeEntriesFailed;
            reader.reset(in.get());
            continue;
        }
        if (r != kOk) return r;
        if (line.empty()) continue;
        uint32_t count;
        if (!decodeValue(line[0], &count)) return kCrcMismatch;
        if (count == 0) break;  // the end of the data
        const size_t groups = (count + 2) / 3;
        if (line.size() < 1 + 4 * groups) return kSomeEntriesFailed;
        bytes.resize(3 * groups);
        for (size_t g = 0; g < groups; ++g) {
            uint32_t v[4];
            for (int k = 0; k < 4; ++k)
                if (!decodeValue(line[1 + 4 * g + k], &v[k])) return kCrcMismatch;
            bytes[3 * g] = static_cast<uint8_t>(v[0] << 2 | v[1] >> 4);
            bytes[3 * g + 1] = static_cast<uint8_t>(v[1] << 4 | v[2] >> 2);
            bytes[3 * g + 2] = static_cast<uint8_t>(v[2] << 6 | v[3]);
        }
        // Exactly the bytes the line's count gives: the padding of its last
        // group is no part of the file.
        if (!fs::writeAll(out.file(), bytes.data(), count)) return kWriteFailed;
        written += count;
    }
    // "end" and, when this library wrote the text, the file's size.
    if (reader.next(&line) == kOk && line.compare(0, 3, "end") == 0 && reader.next(&line) == kOk && !line.empty() &&
        line[0] >= '0' && line[0] <= '9') {
        const uint64_t size = std::strtoull(line.c_str(), nullptr, 10);
        if (size < written && !(fs::seekTo(out.file(), static_cast<int64_t>(size)) && fs::truncateHere(out.file())))
            return kWriteFailed;
    }
    in.close();
    return out.renameTo(target.c_str()) ? kOk : kWriteFailed;
}

}  // namespace zar::util

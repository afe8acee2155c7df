#include "extract/memory_extract.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "archive/handles.h"
#include "archive/records.h"
#include "archive/zip_format.h"
#include "common/bytes.h"
#include "extract/decoders.h"
#include "extract/entry_source.h"
#include "extract/password.h"
#include "extract/pipeline.h"
#include "frame/options.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "fs/names.h"
#include "fs/wildcard.h"

namespace zar::extract {
namespace {

using archive::CentralRecord;

// The decode of the last window, kept for the next one, and what it belongs
// to: the archive file as it was then and the entry's central record as the
// directory reader handed it out.
struct KeptDecode {
    std::unique_ptr<EntrySource> source;  // what the decode reads
    fs::FileHandle file = fs::kInvalidFile;
    platform::FileStamp stamp;
    uint8_t record[CentralRecord::kSize] = {};
    MemoryDecode decode;
};

std::unique_ptr<KeptDecode> kept;

// The entry a file pattern names: the first match in directory order, or,
// where case tells names apart and the pattern has no wildcards, the
// first entry spelled exactly as asked when there is one (so that of "README"
// and "readme" the one asked for is decoded).
class EntryFinder {
public:
    explicit EntryFinder(const char* specification) {
        std::string text = fs::oemForm(specification == nullptr ? "" : specification);
        fs::splitName(text.c_str(), nullptr, &spec_.directory, &spec_.file);
        for (char& c : spec_.directory)
            if (c == '\\') c = '/';
        if (spec_.file.empty()) spec_.file = "*";
        exactOnly_ = !platform::namesIgnoreCase() && !fs::hasWildcards(spec_.file);
    }

    // Reads the directory until the entry is found: kOk with its record,
    // full-width sizes and name in `record`, `extent` and `name`, kNothingDone when none matches, or the
    // reader's code.
    Result find(archive::ArchiveHandle& archive, uint8_t* record, archive::EntryExtent* extent, std::string* name) {
        std::vector<char> buffer(archive::kNameLimit + 1, '\0');
        uint8_t current[CentralRecord::kSize];
        archive::EntryExtent currentExtent;
        archive::RecordBuffers out{current, buffer.data(), nullptr, archive::kSkipPart, nullptr, archive::kSkipPart,
                                   nullptr, &currentExtent};
        bool found = false;
        archive.keepNameLength = true;
        Result r = archive::findFirst(archive, out);
        for (; r == kOk; archive.keepNameLength = true, r = archive::findNext(archive, out)) {
            const std::string entry = fs::oemForm(buffer.data());
            std::string directory, file;
            fs::splitName(entry.c_str(), nullptr, &directory, &file);
            if (!fs::matchSpec(directory, file, spec_, true)) continue;
            const bool exact = !exactOnly_ || entry == spec_.directory + spec_.file;
            if (!found || exact) {
                std::memcpy(record, current, CentralRecord::kSize);
                *extent = currentExtent;
                *name = buffer.data();
                found = true;
            }
            if (exact) return kOk;
        }
        if (r != kNothingDone) return r;
        return found ? kOk : kNothingDone;
    }

private:
    fs::FileSpec spec_;
    bool exactOnly_ = false;
};

// A problem with the entry, told to the host as a notice whose answer counts
// for nothing.
Result notice(Result code) {
    frame::notice(code);
    return code;
}

}  // namespace

void forgetMemoryDecode() { kept.reset(); }

Result unzipToMemory(fs::FileHandle handle, void* destination, int32_t startOffset, int32_t count,
                     const char* fileSpec, const char* options) {
    uint32_t flags = 0;
    char password[frame::kPasswordSize] = {};
    if (Result r = frame::unzipOptions(options, flags, password); r != kOk) return r;
    archive::ArchiveHandle* archive = archive::lookup(handle);
    if (archive == nullptr) return kNotOpen;
    if (flags & frame::kUnzipLongNames) archive->longNameMode = true;
    const bool test = flags & frame::kUnzipTest;

    uint8_t record[CentralRecord::kSize];
    archive::EntryExtent extent;
    std::string name;
    if (Result r = EntryFinder(fileSpec).find(*archive, record, &extent, &name); r != kOk) return r;
    uint8_t asListed[CentralRecord::kSize];
    std::memcpy(asListed, record, sizeof record);

    const bool tar = archive->kind == archive::Kind::Tar;
    const bool gzip = archive->kind == archive::Kind::Gzip;
    const bool zip = !tar && !gzip && !archive::isForeign(archive->kind);
    const uint16_t method = loadLe16(record + CentralRecord::kMethod);
    const uint16_t entryFlags = loadLe16(record + CentralRecord::kFlags);
    const int16_t code = tar ? kCodeStored : methodCode(method, entryFlags);

    StatusRecord& status = frame::status();
    frame::setOperation(test ? frame::Operation::Testing : frame::Operation::Unzipping);
    frame::setNameField(status.archiveName, fs::ansiForm(archive->name).c_str());
    frame::setNameField(status.entryName, fs::ansiForm(name).c_str());
    status.method = static_cast<uint16_t>(code);
    frame::setEntrySizes(extent.unpackedSize, extent.packedSize);
    frame::setExtendedStatus(loadLe16(record + CentralRecord::kDate), loadLe16(record + CentralRecord::kTime));

    // Members of the kinds that are only listed, and encryption that no
    // password opens here (AES, strong encryption), have no decoder: that is
    // said before a password is asked for.
    if (!acceptedMethod(method) || archive::isForeign(archive->kind) ||
        (zip && (method == archive::kMethodAes || (entryFlags & archive::kFlagStrongEncryption))))
        return notice(kUnknownMethod);

    // Entries of sets over several volumes are gathered into a copy first.
    auto source = std::make_unique<EntrySource>();
    if (Result r = source->locate(*archive, record, extent); r != kOk) return r;
    if (zip) {
        if (Result r = checkPassword(source->file(), record, &extent.packedSize, password); r != kOk) {
            frame::notice(kWrongPassword);
            return r;
        }
    }
    if (!tar && !hasDecoder(method)) return kUnknownMethod;
    if (test) return kOk;
    if (destination == nullptr) return kMissingArgument;

    const uint64_t from = startOffset < 0 ? 0 : static_cast<uint32_t>(startOffset);
    const uint64_t end = from + (count < 0 ? 2147483647u : static_cast<uint32_t>(count));
    const uint64_t unpacked = extent.unpackedSize;
    if (from >= std::min<uint64_t>(end, unpacked)) return kOk;

    // The kept decode goes on only for the same entry of the same, unchanged
    // file, and only forwards; otherwise the entry is decoded from its start.
    platform::FileStamp stamp;
    const bool stamped = platform::fileStamp(archive->file, &stamp);
    if (!(kept && stamped && kept->file == archive->file && kept->stamp == stamp &&
          std::memcmp(kept->record, asListed, sizeof asListed) == 0 && kept->decode.resumable() &&
          from >= kept->decode.position())) {
        kept.reset();
        auto fresh = std::make_unique<KeptDecode>();
        fresh->file = archive->file;
        fresh->stamp = stamp;
        std::memcpy(fresh->record, asListed, sizeof asListed);
        EntryData data;
        data.input = source->file();
        data.packedSize = tar ? unpacked : extent.packedSize;
        data.unpackedSize = unpacked;
        data.method = tar ? archive::kMethodStored : method;
        data.flags = entryFlags;
        data.encrypted = zip && (entryFlags & archive::kFlagEncrypted);
        if (Result r = fresh->decode.begin(data); r != kOk) return r;
        fresh->source = std::move(source);
        kept = std::move(fresh);
    }

    uint32_t delivered = 0;
    Result result = kept->decode.deliver(static_cast<uint8_t*>(destination), from, end, &delivered);
    // Nothing of this run may change the file, but a stamp that could not be
    // had leaves nothing to compare the next window with.
    if (result != kOk || !stamped || !kept->decode.resumable()) kept.reset();
    return result;
}

}  // namespace zar::extract

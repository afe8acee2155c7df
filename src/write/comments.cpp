#include "write/comments.h"

#include <cstring>
#include <string>

#include "archive/records.h"
#include "common/bytes.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "fs/names.h"
#include "fs/wildcard.h"
#include "write/new_archive.h"

namespace zar::write {

using archive::CentralRecord;
using archive::EndRecord;

namespace {

std::string toOem(const char* text) { return fs::oemForm(text == nullptr ? "" : text); }

}  // namespace

Result setArchiveComment(archive::ArchiveHandle& archive, const char* comment) {
    if (!archive.writable()) return kNotWritable;
    if (archive.multiVolume()) return kNotOnThisKind;
    if (!archive.endLocated)
        if (Result r = archive::locateEnd(archive); r != kOk) return r;
    const std::string text = toOem(comment);
    if (text.size() > EndRecord::kLargestComment) return kTooLong;
    const uint64_t endPos = archive.endPos;
    // The directory read-ahead may hold the old comment.
    archive.endLocated = false;
    if (endPos == archive::kNoPosition || endPos > uint64_t{INT64_MAX} - EndRecord::kSize - 0xFFFF) return kShortRead;

    // The text goes first and its length after it: an archive left half way
    // still has an end record that the search finds.
    const int64_t textAt = static_cast<int64_t>(endPos + EndRecord::kSize);
    if (!text.empty()) {
        if (!fs::seekTo(archive.file, textAt)) return kShortRead;
        if (!fs::writeAll(archive.file, text.data(), static_cast<uint32_t>(text.size()))) return kWriteFailed;
    }
    uint8_t length[2];
    storeLe16(length, static_cast<uint16_t>(text.size()));
    if (!fs::seekTo(archive.file, static_cast<int64_t>(endPos + EndRecord::kCommentLength))) return kShortRead;
    if (!fs::writeAll(archive.file, length, sizeof length)) return kWriteFailed;
    if (!fs::seekTo(archive.file, textAt + static_cast<int64_t>(text.size())) ||
        !fs::truncateHere(archive.file))
        return kWriteFailed;
    return kOk;
}

Result setEntryComments(archive::ArchiveHandle& archive, const char* pattern, const char* comment) {
    if (archive.multiVolume()) return kNotOnThisKind;
    archive.endLocated = false;
    frame::setNameField(frame::status().archiveName, fs::ansiForm(archive.name).c_str());
    if (!archive.writable()) return kNotWritable;
    if (pattern == nullptr) return kMissingArgument;
    const std::string text = toOem(comment);
    std::string wanted = toOem(pattern);
    if (text.size() >= archive::kCommentLimit || wanted.size() >= archive::kNameLimit) return kTooLong;
    platform::upperCase(wanted.data());

    const int64_t size = fs::seekToEnd(archive.file);
    if (size < 0) return kAccessDenied;
    if (size == 0) return kPathNotFound;

    fs::FileSpec spec;
    fs::splitName(wanted.c_str(), nullptr, &spec.directory, &spec.file);
    if (spec.file.empty()) spec.file = "*.*";

    NewArchive target(archive);
    if (Result r = target.create(); r != kOk) return r;
    if (Result r = target.readOldEnd(); r != kOk) return r;
    OldEntries old(archive);
    Result r;
    for (r = old.first(); r == kOk; r = old.next()) {
        ExistingEntry& entry = old.entry();
        std::string directory, file;
        fs::splitName(entry.name.c_str(), nullptr, &directory, &file);
        if (file.empty()) file = "*.*";
        if (fs::matchSpec(directory, file, spec, false)) {
            entry.comment = text.c_str();
            storeLe16(entry.record + CentralRecord::kCommentLength, static_cast<uint16_t>(text.size()));
        }
        if (Result c = target.count(); c != kOk) return c;
        if (Result c = copyEntry(archive.file, target.data(), target.directory(), entry); c != kOk) return c;
    }
    if (r != kNothingDone) return r;
    if (Result f = target.finish(); f != kOk) return f;
    return target.commit(nullptr);
}

}  // namespace zar::write

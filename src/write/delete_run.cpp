#include "write/delete_run.h"

#include "common/bytes.h"
#include "frame/options.h"
#include "frame/run_state.h"
#include "frame/status.h"
#include "fs/names.h"
#include "fs/wildcard.h"
#include "write/new_archive.h"

namespace zar::write {

using archive::CentralRecord;

Result deleteEntries(archive::ArchiveHandle& archive, const char* includeSpecs, const char* excludeSpecs,
                     uint32_t optionFlags) {
    if (!archive.writable()) return kNotWritable;
    if (includeSpecs == nullptr || *includeSpecs == '\0') return kNothingDone;
    const fs::SpecList include(includeSpecs), exclude(excludeSpecs);

    DosDateTime kept;
    if (optionFlags & frame::kZipKeepArchiveTime)
        if (Result r = archiveDosTime(archive, &kept); r != kOk) return r;

    Result result;
    bool deleted = false;
    NewestTime newest;
    NewArchive target(archive);
    {
        if (Result r = target.create(); r != kOk) return r;
        if (Result r = target.readOldEnd(); r != kOk) return r;
        OldEntries old(archive);
        StatusRecord& status = frame::status();
        for (result = old.first(); result == kOk; result = old.next()) {
            ExistingEntry& entry = old.entry();
            if (fs::select(entry.name, include, exclude, true, false)) {
                deleted = true;
                frame::setNameField(status.entryName, fs::ansiForm(entry.name).c_str());
                frame::setOperation(frame::Operation::Deleting);
                frame::progress();
                continue;
            }
            if (Result r = target.count(); r != kOk) return r;
            newest.see(loadLe16(entry.record + CentralRecord::kDate), loadLe16(entry.record + CentralRecord::kTime));
            if (Result r = copyEntry(archive.file, target.data(), target.directory(), entry); r != kOk) return r;
        }
    }
    if (result != kNothingDone) return result;
    if (!deleted) return kNothingDone;
    if (Result r = target.finish(); r != kOk) return r;

    const DosDateTime* time = nullptr;
    if (optionFlags & frame::kZipKeepArchiveTime) time = &kept;
    else if ((optionFlags & frame::kZipNewestTime) && newest.any) time = &newest.time;
    return target.commit(time);
}

}  // namespace zar::write

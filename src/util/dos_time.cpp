#include "util/dos_time.h"

#include <string>

#include "common/dos_date.h"
#include "common/file_time.h"
#include "platform/platform.h"

namespace zar::util {
namespace {

constexpr uint16_t kFirstOfJanuary1980 = packDosDate(1980, 1, 1);

// Owns a handle of the platform layer for the length of one call.
class OpenFile {
public:
    OpenFile(const char* oemName, uint32_t access) {
        std::string name(oemName);
        platform::oemToAnsi(name.data());
        handle_ = platform::openFile(name.c_str(), access, platform::kShareRead,
                                     platform::Disposition::OpenExisting, 0);
    }
    ~OpenFile() {
        if (handle_ != platform::kInvalidFile) platform::closeFile(handle_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    platform::FileHandle get() const { return handle_; }
    bool valid() const { return handle_ != platform::kInvalidFile; }

private:
    platform::FileHandle handle_ = platform::kInvalidFile;
};

}  // namespace

bool dosToFileTime(DosDateTime dos, uint64_t* localFileTime) {
    DosDateFields date = unpackDosDate(dos.date == 0 ? kFirstOfJanuary1980 : dos.date);
    DosTimeFields time = unpackDosTime(dos.time);
    platform::CalendarTime when{};
    when.year = date.year;
    when.month = date.month;
    when.day = date.day;
    when.hour = time.hour;
    when.minute = time.minute;
    when.second = time.second;
    return platform::calendarToFileTime(when, localFileTime);
}

bool fileTimeToDos(uint64_t localFileTime, DosDateTime* dos) {
    platform::CalendarTime when;
    if (!platform::fileTimeToCalendar(localFileTime, &when)) return false;
    return calendarToDos(when.year, when.month, when.day, when.hour, when.minute, when.second, &dos->date,
                         &dos->time);
}

bool dosToUtc(DosDateTime dos, uint64_t* utc) {
    uint64_t local;
    return dosToFileTime(dos, &local) && platform::localToFileTime(local, utc);
}

DosDateTime utcToDos(uint64_t utc) {
    uint64_t local;
    DosDateTime dos;
    if (!platform::fileTimeToLocal(utc, &local) || !fileTimeToDos(local, &dos)) return DosDateTime{};
    return dos;
}

DosDateTime unixTimeToDos(int64_t seconds) {
    if (seconds < -kUnixEpochSeconds || seconds > 0x7FFFFFFFFFFLL) return DosDateTime{};
    return utcToDos(static_cast<uint64_t>((seconds + kUnixEpochSeconds) * kTicksPerSecond));
}

Result dosGetFileTime(const char* name, DosDateTime* dos) {
    if (name == nullptr) return kAccessDenied;
    OpenFile file(name, platform::kAccessRead);
    uint64_t utc;
    if (!file.valid() || !platform::fileTime(file.get(), &utc)) return kAccessDenied;
    *dos = utcToDos(utc);
    return kOk;
}

Result dosSetFileTime(const char* name, DosDateTime dos) {
    if (name == nullptr) return kAccessDenied;
    OpenFile file(name, platform::kAccessReadWrite);
    if (!file.valid()) return kAccessDenied;
    uint64_t utc;
    if (!dosToUtc(dos, &utc) || !platform::setFileTime(file.get(), utc)) return kAccessDenied;
    return kOk;
}

}  // namespace zar::util

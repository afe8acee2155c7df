#include "util/dos_time.h"

#include <string>

#include "common/dos_date.h"
#include "platform/platform.h"

namespace zar::util {
namespace {

constexpr uint16_t kFirstOfJanuary1980 = packDosDate(1980, 1, 1);
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpochSeconds = 11644473600;  // 1970 counted from 1601

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

DosDateTime unixTimeToDos(int64_t seconds) {
    DosDateTime dos;
    if (seconds < -kUnixEpochSeconds || seconds > 0x7FFFFFFFFFFLL) return dos;
    uint64_t utc = static_cast<uint64_t>((seconds + kUnixEpochSeconds) * kTicksPerSecond), local;
    if (!platform::fileTimeToLocal(utc, &local) || !fileTimeToDos(local, &dos)) return DosDateTime{};
    return dos;
}

Result dosGetFileTime(const char* name, DosDateTime* dos) {
    if (name == nullptr) return kAccessDenied;
    OpenFile file(name, platform::kAccessRead);
    uint64_t utc, local;
    if (!file.valid() || !platform::fileTime(file.get(), &utc)) return kAccessDenied;
    DosDateTime converted;
    if (!platform::fileTimeToLocal(utc, &local) || !fileTimeToDos(local, &converted)) converted = DosDateTime{};
    *dos = converted;
    return kOk;
}

Result dosSetFileTime(const char* name, DosDateTime dos) {
    if (name == nullptr) return kAccessDenied;
    OpenFile file(name, platform::kAccessReadWrite);
    if (!file.valid()) return kAccessDenied;
    uint64_t local, utc;
    if (!dosToFileTime(dos, &local) || !platform::localToFileTime(local, &utc) ||
        !platform::setFileTime(file.get(), utc))
        return kAccessDenied;
    return kOk;
}

}  // namespace zar::util

#include "util/dos_time.h"

#include <string>

#include "frame/local_time.h"
#include "platform/platform.h"

namespace zar::util {
namespace {

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

Result dosGetFileTime(const char* name, DosDateTime* dos) {
    if (name == nullptr) return kAccessDenied;
    OpenFile file(name, platform::kAccessRead);
    uint64_t utc;
    if (!file.valid() || !platform::fileTime(file.get(), &utc)) return kAccessDenied;
    *dos = frame::utcToDos(utc);
    return kOk;
}

Result dosSetFileTime(const char* name, DosDateTime dos) {
    if (name == nullptr) return kAccessDenied;
    OpenFile file(name, platform::kAccessReadWrite);
    if (!file.valid()) return kAccessDenied;
    uint64_t utc;
    if (!frame::dosToUtc(dos, &utc) || !platform::setFileTime(file.get(), utc)) return kAccessDenied;
    return kOk;
}

}  // namespace zar::util

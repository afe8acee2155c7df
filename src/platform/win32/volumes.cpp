// Volumes through the system: the drive type, free space and label of the
// volume that holds a path, and the current drive.
#include <windows.h>

#include "platform/win32/win32_internal.h"

namespace zar::platform {
namespace {

// The root of the volume that holds `path` ("C:\", "\\server\share\"), with
// its final separator; empty when the system cannot tell.
std::string volumeRoot(const char* path) {
    const std::string full = fullPath(path);
    char root[MAX_PATH + 1];
    if (!::GetVolumePathNameA(full.c_str(), root, sizeof root)) return {};
    std::string out(root);
    if (!out.empty() && out.back() != '\\') out += '\\';
    return out;
}

}  // namespace

DriveType driveType(const char* path) {
    const std::string root = volumeRoot(path);
    if (root.empty()) return DriveType::Unknown;
    switch (::GetDriveTypeA(root.c_str())) {
        case DRIVE_REMOVABLE: return DriveType::Removable;
        case DRIVE_FIXED:
        case DRIVE_REMOTE:
        case DRIVE_CDROM:
        case DRIVE_RAMDISK: return DriveType::Fixed;
        default: return DriveType::Unknown;
    }
}

bool freeSpace(const char* path, uint32_t* bytes) {
    const std::string root = volumeRoot(path);
    ULARGE_INTEGER available, total, free;
    if (root.empty() || !::GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free)) return false;
    *bytes = available.QuadPart > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(available.QuadPart);
    return true;
}

bool volumeLabel(const char* path, std::string* label) {
    label->clear();
    const std::string root = volumeRoot(path);
    char name[MAX_PATH + 1] = {};
    if (root.empty() ||
        !::GetVolumeInformationA(root.c_str(), name, sizeof name, nullptr, nullptr, nullptr, nullptr, 0))
        return false;
    *label = name;
    return true;
}

bool setVolumeLabel(const char* path, const char* label) {
    const std::string root = volumeRoot(path);
    return !root.empty() && ::SetVolumeLabelA(root.c_str(), label) != 0;
}

char currentDriveLetter() {
    char buffer[MAX_PATH + 1];
    const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n >= 2 && n <= MAX_PATH && buffer[1] == ':') return upperChar(buffer[0]);
    return 'C';  // a share has no letter: the system drive stands in
}

}  // namespace zar::platform

// Asking for a volume of a spanned set while its directory is gathered, before
// the archive has a handle: on a removable drive the host is asked to insert
// the disk until one with the right label is in; on a fixed drive the volume
// is the file of its split name ("name.z01", ...; the last volume under the
// set's own name), with nobody asked.
#pragma once

#include <cstdint>
#include <string>

#include "frame/result.h"
#include "fs/file_io.h"

namespace zar::archive {

// The number that asks for the last volume of a set, whichever it is.
inline constexpr uint32_t kLastVolumeWanted = 10000;

// Closes `*file` and opens volume `number` of the set whose volumes are
// named `path` for reading into it. `lastVolume`, when known (else 0), is the
// volume that keeps the set's own name on a fixed drive. kCancelled when the
// host answers anything but Ok, kAccessDenied when the volume cannot be
// opened (a fixed drive, or a number past 999 that is not the last).
Result requestVolume(uint32_t number, const std::string& path, uint16_t lastVolume, fs::FileHandle* file);

}  // namespace zar::archive

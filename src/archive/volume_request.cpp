#include "archive/volume_request.h"

#include "archive/volume_names.h"
#include "frame/status.h"
#include "fs/names.h"

namespace zar::archive {
namespace {

fs::FileHandle openVolume(const std::string& name) {
    return fs::openFile(name.c_str(), platform::kAccessRead, platform::kShareRead, fs::Disposition::OpenExisting, 0,
                        true);
}

// A label of any volume of a set: the prefix and more.
bool anyVolumeLabel(const std::string& label) {
    const std::string prefix = kLabelPrefix;
    return label.size() > prefix.size() && fs::namesEqualN(label.c_str(), prefix.c_str(), prefix.size());
}

}  // namespace

Result requestVolume(uint32_t number, const std::string& path, uint16_t lastVolume, fs::FileHandle* file) {
    fs::closeFile(*file);
    const std::string ansi = fs::ansiForm(path);
    const bool specific = number >= 1 && number <= kLastVolumeNumber;
    if (platform::driveType(ansi.c_str()) != platform::DriveType::Removable) {
        if (!specific && number != kLastVolumeWanted) return kAccessDenied;
        const bool last = !specific || number == lastVolume;
        *file = openVolume(last ? lastSplitVolumeName(path) : splitVolumeName(path, static_cast<uint16_t>(number)));
        return *file == fs::kInvalidFile ? kAccessDenied : kOk;
    }
    frame::setOperation(frame::Operation::Indexing);
    for (;;) {
        const frame::Answer answer = specific ? frame::ask(frame::Question::InsertDisk, static_cast<int16_t>(number))
                                              : frame::ask(frame::Question::LastDisk);
        if (answer != frame::Answer::Ok) return kCancelled;
        std::string label;
        if (!platform::volumeLabel(ansi.c_str(), &label)) continue;
        if (specific ? !labelMatches(label, static_cast<uint16_t>(number)) : !anyVolumeLabel(label)) continue;
        *file = openVolume(path);
        return *file == fs::kInvalidFile ? kAccessDenied : kOk;
    }
}

}  // namespace zar::archive

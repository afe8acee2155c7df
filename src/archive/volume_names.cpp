#include "archive/volume_names.h"

#include "fs/names.h"

namespace zar::archive {

std::string volumeDigits(uint16_t volume) {
    std::string digits(3, '0');
    digits[0] = static_cast<char>('0' + volume / 100 % 10);
    digits[1] = static_cast<char>('0' + volume / 10 % 10);
    digits[2] = static_cast<char>('0' + volume % 10);
    return digits;
}

std::string volumeLabel(uint16_t volume) { return kLabelPrefix + volumeDigits(volume); }

bool labelMatches(const std::string& label, uint16_t volume) {
    return fs::namesEqual(label.c_str(), volumeLabel(volume).c_str());
}

std::string frontHeaderVolumeName(const std::string& name, uint16_t volume) {
    std::string renamed = name;
    const std::string digits = volumeDigits(volume);
    const size_t keep = renamed.size() < 3 ? 0 : renamed.size() - 3;
    renamed.replace(keep, std::string::npos, digits.substr(3 - (renamed.size() - keep)));
    return renamed;
}

std::string splitVolumeName(const std::string& name, uint16_t volume) {
    size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = name.size();
    std::string number = std::to_string(volume);
    if (number.size() < 2) number.insert(0, "0");
    return name.substr(0, dot) + ".z" + number;
}

std::string lastSplitVolumeName(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot + 2 >= name.size() || (name[dot + 1] != 'z' && name[dot + 1] != 'Z'))
        return name;
    for (size_t i = dot + 2; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return name;
    return name.substr(0, dot) + ".zip";
}

}  // namespace zar::archive

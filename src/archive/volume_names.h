// How the volumes of a multi-volume set are named and labelled: the three
// digits of a volume number, the disk label "PKBACK# 001", the ".001" file
// names of the front-header kind, and the names a split set has on a fixed
// drive ("name.z01", "name.z02", ..., the last volume under the set's name).
#pragma once

#include <cstdint>
#include <string>

namespace zar::archive {

// Volume numbers run from 1; above this they have no three-digit form.
inline constexpr uint16_t kLastVolumeNumber = 999;

// "001" for volume 1: hundreds, tens and units.
std::string volumeDigits(uint16_t volume);

// The label a disk of a spanned set carries: "PKBACK# " and the digits.
std::string volumeLabel(uint16_t volume);
inline constexpr const char* kLabelPrefix = "PKBACK# ";

// True when `label` is the one volume `volume` carries, ignoring case.
bool labelMatches(const std::string& label, uint16_t volume);

// The name of volume `volume` of the front-header kind: the last three
// characters of `name` replaced by the digits.
std::string frontHeaderVolumeName(const std::string& name, uint16_t volume);

// The name volume `volume` of a split set has on a fixed drive: the set's
// name with its extension replaced by "z01", "z02", ... ("z100" and on past
// 99). The last volume keeps the set's own name.
std::string splitVolumeName(const std::string& name, uint16_t volume);

// The name of the last volume of a split set, which keeps the set's own name:
// "name.zip" for any of "name.z01", "name.z02", ...; other names as they are.
std::string lastSplitVolumeName(const std::string& name);

}  // namespace zar::archive

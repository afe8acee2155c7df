// Password verification: the 12-byte encryption header in front of an
// encrypted entry's data is decrypted with keys made from the password, and its
// last byte must match the entry's check byte.
#pragma once

#include <cstdint>

#include "frame/result.h"
#include "extract/entry_source.h"
#include "fs/file_io.h"

namespace zar::extract {

// The check byte an entry's encryption header ends with: the high byte of
// its CRC-32, or, for an entry whose sizes and CRC follow its data (flag bit
// 3), the high byte of its DOS time, which writers of such entries put there
// because the CRC is not known when the header is written.
bool checkByteMatches(uint8_t byte, uint16_t flags, uint32_t crc, uint16_t dosTime);

// Checks `password` against the entry of the 46-byte central `record`, reading
// its encryption header at the current position of `file`. An entry that is
// not encrypted passes at once, without reading. On a pass the shared keys are
// ready for the data, the file stands at the first byte of compressed data,
// and `*packedSize`, the entry's compressed size, is lowered by 12. kOk;
// kBadPassword for a missing or wrong password; kShortRead when the header
// cannot be read whole.
Result checkPassword(fs::FileHandle file, const uint8_t* record, uint64_t* packedSize, const char* password);
// The same for an entry located by `source`, its header read through it.
Result checkPassword(EntrySource& source, const uint8_t* record, uint64_t* packedSize, const char* password);

}  // namespace zar::extract

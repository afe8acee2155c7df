// Encrypts an entry of zip_builder.h with the traditional password cipher,
// so that tests can make the encrypted archive they need without a tool.
#pragma once

#include <cstdint>
#include <string>

#include "codec/zipcrypto.h"
#include "common/zip_builder.h"

namespace zar::test {

// The entry with its stored bytes encrypted behind a header whose check byte
// is the top byte of the CRC-32, or of the DOS time where the entry's flags
// say that its sizes follow its data (bit 3), as streaming writers do.
inline ZipEntry encrypt(ZipEntry e, const std::string& password) {
    e.flags |= 1;
    uint8_t header[codec::kEncryptionHeaderSize];
    codec::makeEncryptionHeader(header, crcOf(e.data), 0);
    if (e.flags & 8) {
        header[10] = static_cast<uint8_t>(e.time);
        header[11] = static_cast<uint8_t>(e.time >> 8);
    }
    std::string bytes(reinterpret_cast<char*>(header), sizeof header);
    bytes += e.stored();
    codec::ZipCryptoKeys keys;
    keys.init(reinterpret_cast<const uint8_t*>(password.data()), password.size());
    keys.encrypt(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    e.packed = bytes;
    return e;
}

}  // namespace zar::test

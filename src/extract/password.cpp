#include "extract/password.h"

#include <cstring>

#include "archive/records.h"
#include "archive/zip_format.h"
#include "codec/zipcrypto.h"
#include "common/bytes.h"

namespace zar::extract {

using archive::CentralRecord;

bool checkByteMatches(uint8_t byte, uint16_t flags, uint32_t crc, uint16_t dosTime) {
    if (byte == static_cast<uint8_t>(crc >> 24)) return true;
    return (flags & archive::kFlagDataDescriptor) && byte == static_cast<uint8_t>(dosTime >> 8);
}

namespace {

// checkPassword, the header read by `read(header, 12)`.
template <class Read>
Result checkWith(Read&& read, const uint8_t* record, uint64_t* packedSize, const char* password) {
    uint16_t flags = loadLe16(record + CentralRecord::kFlags);
    if (!(flags & archive::kFlagEncrypted)) return kOk;
    if (password == nullptr || *password == '\0') return kBadPassword;

    if (*packedSize < codec::kEncryptionHeaderSize) return kShortRead;  // no room for the header

    codec::ZipCryptoKeys& keys = codec::sharedKeys();
    keys.init(reinterpret_cast<const uint8_t*>(password), std::strlen(password));
    uint8_t header[codec::kEncryptionHeaderSize];
    if (!read(header, sizeof header)) return kShortRead;
    keys.decrypt(header, sizeof header);
    if (!checkByteMatches(header[11], flags, loadLe32(record + CentralRecord::kCrc),
                          loadLe16(record + CentralRecord::kTime)))
        return kBadPassword;
    *packedSize -= sizeof header;
    return kOk;
}

}  // namespace

Result checkPassword(fs::FileHandle file, const uint8_t* record, uint64_t* packedSize, const char* password) {
    return checkWith([&](uint8_t* header, uint32_t n) { return fs::readExact(file, header, n); }, record, packedSize,
                     password);
}

Result checkPassword(EntrySource& source, const uint8_t* record, uint64_t* packedSize, const char* password) {
    return checkWith([&](uint8_t* header, uint32_t n) { return source.read(header, n); }, record, packedSize,
                     password);
}

}  // namespace zar::extract

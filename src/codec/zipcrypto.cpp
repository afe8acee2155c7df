#include "codec/zipcrypto.h"

namespace zar::codec {

ZipCryptoKeys& sharedKeys() {
    static ZipCryptoKeys keys;
    return keys;
}

void makeEncryptionHeader(uint8_t* header, uint32_t crc, uint16_t millisecond) {
    uint32_t s = static_cast<uint16_t>(millisecond ^ 0xFFFF);
    for (size_t i = 0; i < 10; ++i) {
        s = (s * 1255 + 6173) % 29282;
        header[i] = static_cast<uint8_t>(s);
    }
    header[10] = static_cast<uint8_t>(crc >> 16);
    header[11] = static_cast<uint8_t>(crc >> 24);
}

}  // namespace zar::codec

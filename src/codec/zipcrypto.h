// The traditional ZIP encryption: three 32-bit keys updated with every plain
// byte, and the 12-byte encryption header in front of each entry's data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/crc32.h"

namespace zar::codec {

class ZipCryptoKeys {
public:
    // Resets the keys and folds in the password bytes.
    void init(const uint8_t* password, size_t length) {
        key0_ = 0x12345678u;
        key1_ = 0x23456789u;
        key2_ = 0x34567890u;
        for (size_t i = 0; i < length; ++i) update(password[i]);
    }

    void encrypt(uint8_t* buffer, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            uint8_t plain = buffer[i];
            buffer[i] = plain ^ streamByte();
            update(plain);
        }
    }

    void decrypt(uint8_t* buffer, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            uint8_t plain = buffer[i] ^ streamByte();
            buffer[i] = plain;
            update(plain);
        }
    }

    // The next keystream byte: bits 8-15 of t * (t ^ 1), t = (key2 & 0xFFFF) | 2.
    uint8_t streamByte() const {
        uint32_t t = (key2_ & 0xFFFF) | 2;
        return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    }

private:
    void update(uint8_t plain) {
        key0_ = crc32Byte(key0_, plain);
        key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
        key2_ = crc32Byte(key2_, static_cast<uint8_t>(key1_ >> 24));
    }

    uint32_t key0_ = 0x12345678u;
    uint32_t key1_ = 0x23456789u;
    uint32_t key2_ = 0x34567890u;
};

// The keys of the one encryption or decryption stream the library runs at a
// time: hosts drive them through the exports, and the entry writer, the
// decoding pipeline and the password check share them.
ZipCryptoKeys& sharedKeys();

inline constexpr size_t kEncryptionHeaderSize = 12;

// The plain encryption header: ten bytes from a generator seeded with the
// clock's millisecond, then the top two bytes of the entry's CRC-32.
void makeEncryptionHeader(uint8_t* header, uint32_t crc, uint16_t millisecond);

}  // namespace zar::codec

// Exports of the traditional encryption and of the password check.
#include <cstring>

#include "archive/records.h"
#include "archive/zip_format.h"
#include "codec/zipcrypto.h"
#include "exports/cdr_convert.h"
#include "exports/guard.h"
#include "extract/password.h"
#include "platform/platform.h"
#include "zarlib32.h"

using namespace zar;

extern "C" {

ZARLIB_EXPORT void AXAPI AxInitKeys(const uint8_t* password, uint16_t length) AX_NOEXCEPT {
    codec::sharedKeys().init(password, password == nullptr ? 0 : length);
}

ZARLIB_EXPORT void AXAPI AxEncryptData(uint8_t* buffer, uint32_t count) AX_NOEXCEPT {
    if (buffer != nullptr) codec::sharedKeys().encrypt(buffer, count);
}

ZARLIB_EXPORT void AXAPI AxDecryptData(uint8_t* buffer, uint32_t count) AX_NOEXCEPT {
    if (buffer != nullptr) codec::sharedKeys().decrypt(buffer, count);
}

ZARLIB_EXPORT void AXAPI AxInitHeader(uint8_t* header, uint32_t crc) AX_NOEXCEPT {
    if (header == nullptr) return;
    uint16_t millisecond = static_cast<uint16_t>(platform::currentFileTime() / 10000 % 1000);
    codec::makeEncryptionHeader(header, crc, millisecond);
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipCheckPassword(uint32_t file, CDR* record, const char* password) AX_NOEXCEPT {
    if (record == nullptr) return kMissingArgument;
    return exports::guarded([&] {
        uint8_t bytes[archive::CentralRecord::kSize];
        exports::fromCdr(*record, bytes);
        // A size past 32 bits shows as all ones in the record, and stays so.
        uint64_t packed = record->packedSize;
        Result r = extract::checkPassword(file, bytes, &packed, password);
        if (record->packedSize != archive::kAllOnes32) record->packedSize = static_cast<uint32_t>(packed);
        return r;
    });
}

ZARLIB_EXPORT int16_t AXAPI Ax4ZipCheckPasswordVB32(uint32_t file, const CDRVB32* record,
                                                    const char* password) AX_NOEXCEPT {
    if (record == nullptr) return kMissingArgument;
    CDR copy;
    exports::fromVb32(*record, &copy);  // the lowered size stays in the copy
    return Ax4ZipCheckPassword(file, &copy, password);
}

}  // extern "C"

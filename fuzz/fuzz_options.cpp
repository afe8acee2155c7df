// Feeds arbitrary option strings to the zip and unzip parsers. The first byte
// chooses the syntax, the locale's date order (3 is not a valid one) and
// whether the archive is of a multi-volume kind; the rest is the string, in a
// buffer of exactly its length so that any read past its end is caught.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "frame/options.h"
#include "frame/run_state.h"
#include "platform/platform.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// The parse place is 65535 after success, and otherwise inside the string (or
// the length limit for a string that is too long).
void checkPlace(zar::Result r, size_t length) {
    uint16_t place = zar::frame::parsePlace();
    if (r == zar::kOk) check(place == 65535);
    else if (r == zar::kTooLong) check(place == 128 && length >= 128);
    else check(place >= 1 && place <= length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zar;
    using namespace zar::frame;
    if (size == 0) return 0;
    uint8_t control = data[0];
    size_t length = size - 1;
    auto text = std::make_unique<char[]>(length + 1);
    std::memcpy(text.get(), data + 1, length);
    text[length] = '\0';
    size_t visible = std::strlen(text.get());

    setSecondParseType(control & 1);
    platform::setDateOrderOverride((control >> 1) & 3);

    OptionSet options;
    options.flags = (control & 8) ? kZipMultiVolume : 0;
    Result r = zipOptions(text.get(), options);
    check(r == kOk || r == kBadOption || r == kTooLong || r == kOptionConflict || r == kBadDate ||
          r == kNotOnThisKind);
    checkPlace(r, visible);
    check(options.level <= 9);
    check(strnlen(options.password, kPasswordSize) < kPasswordSize);
    check(options.dateAfter <= 0xFFFF && options.dateBefore <= 0xFFFF);
    if (r == kOk) check(!(options.flags & kZipRelativePaths) || (options.flags & kZipRecurse));

    uint32_t flags = 0;
    char password[kPasswordSize];
    r = unzipOptions(text.get(), flags, password);
    check(r == kOk || r == kBadOption || r == kTooLong || r == kOptionConflict);
    checkPlace(r, visible);
    check(strnlen(password, kPasswordSize) < kPasswordSize);
    return 0;
}

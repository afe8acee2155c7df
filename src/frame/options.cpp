// The option parsers. Both syntaxes share one scanner over a copy of the
// host's string: type 0 wants a '-' or '/' before every option; type 1 wants
// it only before the first and lets options run together ("-rp" is "-r -p"),
// which it does by writing a '-' over the character before a letter that
// follows an option directly. The scanner never moves past the terminator, so
// every read stays inside the copy.
#include "frame/options.h"

#include <cstring>
#include <vector>

#include "common/dos_date.h"
#include "frame/local_time.h"
#include "frame/run_state.h"
#include "platform/platform.h"

namespace zar::frame {
namespace {

// Blanks are the characters that compare at most 32 as signed bytes, so bytes
// 128 to 255 count as blanks too; the terminator is never skipped.
bool isBlank(char c) { return c != '\0' && static_cast<signed char>(c) <= 32; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

class Scanner {
public:
    // The copy is exactly as long as the string and its terminator, so that a
    // read past the end is caught by the memory checkers instead of hidden.
    Scanner(const char* text, size_t length, bool secondSyntax)
        : copy_(text, text + length + 1), text_(copy_.data()), second_(secondSyntax) {
        text_[length] = '\0';
    }
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    bool second() const { return second_; }
    char peek() const { return text_[at_]; }
    // The next character, consumed; the terminator is returned but never passed.
    char take() {
        char c = text_[at_];
        if (c != '\0') ++at_;
        return c;
    }
    void skipBlanks() {
        while (isBlank(text_[at_])) ++at_;
    }
    // The parse place: the offset of the character after the last one read.
    uint16_t place() const { return static_cast<uint16_t>(at_); }

    // Runs the option loop; `option` handles one letter and returns a code.
    template <class Handler>
    Result run(Handler&& option) {
        skipBlanks();
        while (peek() != '\0') {
            char introducer = take();
            if (introducer != '-' && introducer != '/') return kBadOption;
            char letter = take();
            if (Result r = option(letter); r != kOk) return r;
            skipBlanks();
            if (second_ && peek() != '\0' && peek() != '-' && peek() != '/') {
                // A letter that follows an option directly is an option of its
                // own: the character before it becomes its introducer.
                text_[--at_] = '-';
            }
        }
        return kOk;
    }

    // Copies `count` characters from `from` into a password buffer.
    void copyOut(size_t from, size_t count, char (&password)[kPasswordSize]) const {
        if (count >= kPasswordSize) count = kPasswordSize - 1;  // cannot happen below the length limit
        std::memcpy(password, text_ + from, count);
        password[count] = '\0';
    }
    size_t position() const { return at_; }
    // How many decimal digits follow directly.
    size_t digitsAhead() const {
        size_t n = 0;
        while (isDigit(text_[at_ + n])) ++n;
        return n;
    }
    // Offset of the next `c` at or after the position, or 0 when none.
    size_t find(char c) const {
        const char* hit = std::strchr(text_ + at_, c);
        return hit == nullptr || c == '\0' ? 0 : static_cast<size_t>(hit - text_);
    }
    void moveTo(size_t offset) { at_ = offset; }
    size_t end() const { return std::strlen(text_); }

private:
    std::vector<char> copy_;
    char* text_;
    size_t at_ = 0;
    bool second_;
};

// ---- Shared pieces ------------------------------------------------------------

// A password that runs up to the next `delimiter`, which is passed over; an
// empty one, or one without its closing delimiter, is malformed.
Result delimitedPassword(Scanner& s, char delimiter, uint32_t& flags, uint32_t flag, char (&out)[kPasswordSize]) {
    size_t close = s.find(delimiter);
    if (close == 0) {
        s.moveTo(s.end());
        return kBadOption;
    }
    size_t from = s.position();
    s.moveTo(close + 1);
    if (close == from) return kBadOption;
    s.copyOut(from, close - from, out);
    flags |= flag;
    return kOk;
}

// -S: the password forms. `flag` is the password bit of the flag word.
Result password(Scanner& s, uint32_t& flags, uint32_t flag, char (&out)[kPasswordSize]) {
    if (flags & flag) return kOptionConflict;
    if (!s.second()) {
        // The character after the S delimits the password on both sides.
        char delimiter = s.take();
        if (delimiter == '\0') return kBadOption;
        return delimitedPassword(s, delimiter, flags, flag, out);
    }
    if (s.peek() == '"') {
        s.take();
        return delimitedPassword(s, '"', flags, flag, out);
    }
    // Unquoted: the run up to the first blank; it does not count as a password option.
    if (s.peek() == '\0') return kBadOption;
    size_t from = s.position();
    while (s.peek() != '\0' && !isBlank(s.peek())) s.take();
    s.copyOut(from, s.position() - from, out);
    return kOk;
}

// Attribute letters of type-0 -J: every character up to the next space (or
// the end) must be one of H, N, R, S; at least one is needed.
Result attributeLettersToSpace(Scanner& s, uint32_t& flags) {
    bool any = false;
    while (s.peek() != ' ' && s.peek() != '\0') {
        switch (upper(s.take())) {
            case 'H': flags |= kZipOmitHidden; break;
            case 'S': flags |= kZipOmitSystem; break;
            case 'R': flags |= kZipOmitReadOnly; break;
            case 'N': flags |= kZipOmitNormal; break;
            default: return kBadOption;
        }
        any = true;
    }
    return any ? kOk : kBadOption;
}

static_assert(kZipOmitHidden == kUnzipNoHidden && kZipOmitSystem == kUnzipNoSystem &&
              kZipOmitReadOnly == kUnzipNoReadOnly && kZipOmitNormal == kUnzipNoNormal);

// The attribute bit of a letter H, S, R or N, else 0.
uint32_t attributeBit(char c) {
    switch (upper(c)) {
        case 'H': return kZipOmitHidden;
        case 'S': return kZipOmitSystem;
        case 'R': return kZipOmitReadOnly;
        case 'N': return kZipOmitNormal;
        default: return 0;
    }
}

// A decimal number of the separated date form: digits are read while they
// come and the value so far does not exceed `limit`. False without a digit.
bool readNumber(Scanner& s, int limit, int* value) {
    if (!isDigit(s.peek())) return false;
    *value = 0;
    while (isDigit(s.peek()) && *value <= limit) *value = *value * 10 + (s.take() - '0');
    return true;
}

int twoDigits(Scanner& s) {
    int high = s.take() - '0';
    return high * 10 + (s.take() - '0');
}

// The date after -TA, -TB, -t or -T, as a DOS date (0 outside 1980-2107).
Result date(Scanner& s, uint32_t* out) {
    size_t digits = s.digitsAhead();
    if (digits == 0) {
        *out = todayDosDate();
        return kOk;
    }
    int order = platform::localeDateOrder();
    if (order < 0 || order > 2) return kBadDate;
    int month = 0, day = 0, year = 0;
    if (digits == 6 || digits == 8) {
        // Fixed fields, not range-checked: two digits each, the year four when
        // there are eight digits.
        auto readYear = [&] {
            int high = twoDigits(s);
            return digits == 8 ? high * 100 + twoDigits(s) : high;
        };
        switch (order) {
            case 0: month = twoDigits(s), day = twoDigits(s), year = readYear(); break;
            case 1: day = twoDigits(s), month = twoDigits(s), year = readYear(); break;
            default: year = readYear(), month = twoDigits(s), day = twoDigits(s); break;
        }
    } else {
        // Three numbers, each separated from the next by one character of any
        // kind. A field that is missing (the string ended, or no digit where
        // the number should start) makes the date bad.
        int* fields[3];
        int limits[3];
        switch (order) {
            case 0: fields[0] = &month, fields[1] = &day, fields[2] = &year; break;
            case 1: fields[0] = &day, fields[1] = &month, fields[2] = &year; break;
            default: fields[0] = &year, fields[1] = &month, fields[2] = &day; break;
        }
        for (int i = 0; i < 3; ++i)
            limits[i] = fields[i] == &month ? 12 : fields[i] == &day ? 31 : 2099;
        for (int i = 0; i < 3; ++i) {
            if (i > 0 && s.take() == '\0') return kBadDate;
            if (!readNumber(s, limits[i], fields[i])) return kBadDate;
        }
        if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0 || year > 2099) return kBadDate;
    }
    *out = dosDateInRange(widenYear(year), month, day);
    return kOk;
}

// ---- Zip options ----------------------------------------------------------------

// The -E sub-letters; -1 for an unknown one.
int level(Scanner& s) {
    char c = upper(s.take());
    if (!s.second()) {
        switch (c) {
            case 'T': return 0;
            case 'D':
                if (s.peek() >= '0' && s.peek() <= '3') return s.take() - '0' + 1;
                return 3;
            case 'C': return 5;
            case 'I': return 6;
            case 'H': return 7;
            case 'M': return 8;
            case 'S': return 9;
            default: return -1;
        }
    }
    switch (c) {
        case '0': return 0;
        case 'S': return 1;
        case 'F': return 2;
        case 'N': return 3;
        case 'X': return 4;
        case 'T':
            switch (upper(s.take())) {
                case 'C': return 5;
                case 'I': return 6;
                case 'H': return 7;
                case 'M': return 8;
                case 'S': return 9;
                default: return -1;
            }
        default: return -1;
    }
}

Result zipOption(Scanner& s, char letter, OptionSet& o) {
    uint32_t& f = o.flags;
    const bool second = s.second();
    switch (upper(letter)) {
        case '$':
            if (f & kZipVolumeLabel) return kOptionConflict;
            f |= kZipVolumeLabel;
            o.drive[0] = isLetter(s.peek()) ? s.take() : platform::currentDriveLetter();
            return kOk;
        case '.':
            switch (upper(s.take())) {
                case 'C': return kOk;
                case 'D': f |= kZipStoreDrive; return kOk;
                case 'L':
                    f |= kZipLongNames;
                    if (upper(s.peek()) == 'R') {
                        s.take();
                        f |= kZipLongNamesAsIs;
                    }
                    return kOk;
                case 'Q': f |= kZipAskReplace; return kOk;
                case 'R': f |= kZipMoveReadOnly; return kOk;
                case 'V': f |= kZipVersionBlock; return kOk;
                default: return kBadOption;
            }
        case 'A':
            if (s.peek() == '+') {
                s.take();
                if (f & kZipMove) return kOptionConflict;
                f |= kZipClearArchiveBit;
            }
            return kOk;
        case 'D':
            if (f & (kZipFreshen | kZipUpdate)) return kOptionConflict;
            if (f & kZipMultiVolume) return kNotOnThisKind;
            f |= kZipDelete;
            return kOk;
        case 'E': {
            int l = level(s);
            if (l < 0) return kBadOption;
            o.level = static_cast<uint16_t>(l);
            return kOk;
        }
        case 'F':
            if (f & (kZipDelete | kZipUpdate)) return kOptionConflict;
            if (f & kZipMultiVolume) return kNotOnThisKind;
            f |= kZipFreshen;
            return kOk;
        case 'I':
            f |= kZipArchiveBitOnly;
            if (s.peek() == '-') {
                s.take();
                f &= ~kZipClearArchiveBit;
            } else {
                f |= kZipClearArchiveBit;
            }
            return kOk;
        case 'J':
            if (!second) return attributeLettersToSpace(s, f);
            if (letter != 'j') return kBadOption;
            while (uint32_t bit = attributeBit(s.peek())) s.take(), f |= bit;
            return f & (kZipOmitHidden | kZipOmitSystem | kZipOmitReadOnly | kZipOmitNormal) ? kOk : kBadOption;
        case 'K':
            if (f & kZipNewestTime) return kOptionConflict;
            f |= kZipKeepArchiveTime;
            return kOk;
        case 'O':
            if (f & kZipKeepArchiveTime) return kOptionConflict;
            f |= kZipNewestTime;
            return kOk;
        case 'M': f |= kZipMove; return kOk;
        case 'N':
            if (second) return kBadOption;
            f |= kZipFullPaths;
            return kOk;
        case 'P':
            f |= second && letter == 'P' ? kZipFullPaths : kZipRelativePaths;
            return kOk;
        case 'R': f |= kZipRecurse; return kOk;
        case 'S': return password(s, f, kZipPassword, o.password);
        case 'T': {
            bool after;
            if (second) {
                after = letter == 't';
            } else {
                char which = upper(s.take());
                if (which != 'A' && which != 'B') return kBadOption;
                after = which == 'A';
            }
            f |= after ? kZipDateAfter : kZipDateBefore;
            return date(s, after ? &o.dateAfter : &o.dateBefore);
        }
        case 'U':
            if (f & kZipDelete) return kOptionConflict;
            if (f & kZipMultiVolume) return kNotOnThisKind;
            f = (f & ~kZipFreshen) | kZipUpdate;
            return kOk;
        case 'W':
            if (!second) {
                while (s.peek() != ' ' && s.peek() != '\0') {
                    switch (upper(s.take())) {
                        case 'H': f |= kZipAdmitHidden; break;
                        case 'S': f |= kZipAdmitSystem; break;
                        default: return kBadOption;
                    }
                }
                return kOk;
            }
            if (letter != 'w') return kBadOption;
            for (;;) {
                char c = upper(s.peek());
                if (c == 'H') f |= kZipAdmitHidden;
                else if (c == 'S') f |= kZipAdmitSystem;
                else break;
                s.take();
            }
            return f & (kZipAdmitHidden | kZipAdmitSystem) ? kOk : kBadOption;
        default: return kBadOption;
    }
}

// ---- Unzip options --------------------------------------------------------------

Result unzipOption(Scanner& s, char letter, uint32_t& f, char (&pass)[kPasswordSize]) {
    const bool second = s.second();
    switch (upper(letter)) {
        case '$':
            if (f & kUnzipVolumeLabel) return kOptionConflict;
            f |= kUnzipVolumeLabel;
            return kOk;
        case '.':
            switch (upper(s.take())) {
                case 'D': f |= kUnzipKeepDrive; return kOk;
                case 'L': f |= kUnzipLongNames; return kOk;
                case 'O': f |= kUnzipSkipSilently; return kOk;
                case 'V':
                    if (upper(s.peek()) == 'E') {
                        s.take();
                        f |= kUnzipVersionNewerOrEqual;
                    } else {
                        f |= kUnzipVersionNewer;
                    }
                    return kOk;
                default: return kBadOption;
            }
        case 'D': f |= kUnzipDirectories; return kOk;
        case 'F':
            if (f & kUnzipUpdate) return kOptionConflict;
            f |= kUnzipFreshen;
            return kOk;
        case 'N': f = (f & ~kUnzipFreshen) | kUnzipUpdate; return kOk;
        case 'J':
            if (!second) return attributeLettersToSpace(s, f);
            if (letter != 'J') return kBadOption;
            while (uint32_t bit = attributeBit(s.peek())) s.take(), f &= ~bit;
            return (f & kUnzipAttributeBits) == kUnzipAttributeBits ? kBadOption : kOk;
        case 'O':
            if (s.peek() == '-') {
                s.take();
                f = (f & ~kUnzipOverwrite) | kUnzipNeverOverwrite;
            } else {
                f = (f & ~kUnzipNeverOverwrite) | kUnzipOverwrite;
            }
            return kOk;
        case 'R':
            if (s.peek() == '+') {
                s.take();
                f = (f & ~kUnzipKeepReadOnly) | kUnzipMakeWritable;
            } else if (s.peek() == '-') {
                s.take();
                f = (f & ~kUnzipMakeWritable) | kUnzipKeepReadOnly;
            } else {
                f &= ~(kUnzipMakeWritable | kUnzipKeepReadOnly);
            }
            return kOk;
        case 'S': return password(s, f, kUnzipPassword, pass);
        case 'T':
            if (second && letter != 't') return kBadOption;
            f |= kUnzipTest;
            return kOk;
        default: return kBadOption;
    }
}

// The common frame: length check, the copy, the loop and the parse place.
template <class Handler>
Result parse(const char* text, Handler&& option) {
    setParsePlace(65535);
    if (text == nullptr || *text == '\0') return kOk;
    size_t length = strnlen(text, kOptionLimit);
    if (length >= kOptionLimit) {
        setParsePlace(static_cast<uint16_t>(kOptionLimit));
        return kTooLong;
    }
    Scanner s(text, length, secondParseType());
    Result r = s.run([&](char letter) { return option(s, letter); });
    if (r != kOk) setParsePlace(s.place());
    return r;
}

}  // namespace

Result zipOptions(const char* text, OptionSet& options) {
    options.level = kDefaultLevel;
    std::memset(options.password, 0, sizeof options.password);
    std::memcpy(options.drive, "x:\\", sizeof options.drive);
    Result r = parse(text, [&](Scanner& s, char letter) { return zipOption(s, letter, options); });
    uint32_t& f = options.flags;
    if (f & kZipMove)
        f &= ~kZipClearArchiveBit;  // the files are deleted: no attribute to clear
    else
        f &= ~kZipMoveReadOnly;  // only meaningful when moving
    if (r == kOk && (f & kZipRelativePaths) && !(f & kZipRecurse)) f &= ~kZipRelativePaths;
    return r;
}

Result unzipOptions(const char* text, uint32_t& flags, char (&password)[kPasswordSize]) {
    std::memset(password, 0, kPasswordSize);
    if (secondParseType()) flags |= kUnzipAttributeBits;
    Result r = parse(text, [&](Scanner& s, char letter) { return unzipOption(s, letter, flags, password); });
    if (r == kOk && (flags & (kUnzipFreshen | kUnzipUpdate))) flags &= ~(kUnzipOverwrite | kUnzipNeverOverwrite);
    return r;
}

}  // namespace zar::frame

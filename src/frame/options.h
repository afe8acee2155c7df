// The option strings of the zip and unzip calls. Two parsers, one for zipping
// and one for unzipping, each in the two syntaxes that the parse type selects,
// turn a string such as "-r -ex -S/secret/" into an OptionSet. When a parse
// fails the run state's parse place tells the host where it stopped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/result.h"

namespace zar::frame {

// ---- Zip flags ----------------------------------------------------------------
inline constexpr uint32_t kZipDelete = 0x00000001;           // -D: delete the named entries
inline constexpr uint32_t kZipOmitHidden = 0x00000002;       // -JH: hidden bit not stored
inline constexpr uint32_t kZipOmitSystem = 0x00000004;       // -JS: system bit not stored
inline constexpr uint32_t kZipOmitReadOnly = 0x00000008;     // -JR: read-only bit not stored
inline constexpr uint32_t kZipOmitNormal = 0x00000010;       // -JN: bit 0x80 not stored
inline constexpr uint32_t kZipKeepArchiveTime = 0x00000020;  // -K
inline constexpr uint32_t kZipRecurse = 0x00000040;          // -R
inline constexpr uint32_t kZipMove = 0x00000080;             // -M: delete the files once written
inline constexpr uint32_t kZipFreshen = 0x00000100;          // -F
inline constexpr uint32_t kZipUpdate = 0x00000200;           // -U
inline constexpr uint32_t kZipPassword = 0x00000400;         // a password option was given
inline constexpr uint32_t kZipVolumeLabel = 0x00000800;      // -$: store the drive's label
inline constexpr uint32_t kZipFullPaths = 0x00001000;        // -N (type 1: -P): full directory part
inline constexpr uint32_t kZipRelativePaths = 0x00002000;    // -P (type 1: -p): path below the file specification
inline constexpr uint32_t kZipAdmitHidden = 0x00004000;      // -WH
inline constexpr uint32_t kZipAdmitSystem = 0x00008000;      // -WS
inline constexpr uint32_t kZipNewestTime = 0x00010000;       // -O: archive takes its newest entry's time
inline constexpr uint32_t kZipClearArchiveBit = 0x00020000;  // -A+, -I
inline constexpr uint32_t kZipArchiveBitOnly = 0x00040000;   // -I: only files with the archive bit
inline constexpr uint32_t kZipDateAfter = 0x00080000;        // -TA (type 1: -t)
inline constexpr uint32_t kZipDateBefore = 0x00100000;       // -TB (type 1: -T)
inline constexpr uint32_t kZipMultiVolume = 0x00200000;      // preset by the driver
inline constexpr uint32_t kZipStoreDrive = 0x00400000;       // -.D
inline constexpr uint32_t kZipVersionBlock = 0x00800000;     // -.V
inline constexpr uint32_t kZipShortNames = 0x01000000;       // set by the driver
inline constexpr uint32_t kZipLongNames = 0x02000000;        // -.L
inline constexpr uint32_t kZipLongNamesAsIs = 0x04000000;    // -.LR
inline constexpr uint32_t kZipMoveReadOnly = 0x08000000;     // -.R: with -M, read-only files go too
inline constexpr uint32_t kZipAskReplace = 0x10000000;       // -.Q

// ---- Unzip flags --------------------------------------------------------------
inline constexpr uint32_t kUnzipDirectories = 0x00000001;       // -D: recreate stored directories
inline constexpr uint32_t kUnzipNoHidden = 0x00000002;          // -JH: hidden bit not restored
inline constexpr uint32_t kUnzipNoSystem = 0x00000004;          // -JS
inline constexpr uint32_t kUnzipNoReadOnly = 0x00000008;        // -JR
inline constexpr uint32_t kUnzipNoNormal = 0x00000010;          // -JN: bit 0x80 not restored
inline constexpr uint32_t kUnzipOverwrite = 0x00000020;         // -O
inline constexpr uint32_t kUnzipNeverOverwrite = 0x00000040;    // -O-
inline constexpr uint32_t kUnzipTest = 0x00000080;              // -T (type 1: -t)
inline constexpr uint32_t kUnzipFreshen = 0x00000100;           // -F
inline constexpr uint32_t kUnzipUpdate = 0x00000200;            // -N
inline constexpr uint32_t kUnzipPassword = 0x00000400;          // a password option was given
inline constexpr uint32_t kUnzipVolumeLabel = 0x00000800;       // -$
inline constexpr uint32_t kUnzipMakeWritable = 0x00200000;      // -R+
inline constexpr uint32_t kUnzipKeepDrive = 0x00400000;         // -.D
inline constexpr uint32_t kUnzipVersionNewerOrEqual = 0x00800000;  // -.VE
inline constexpr uint32_t kUnzipVersionNewer = 0x01000000;      // -.V
inline constexpr uint32_t kUnzipLongNames = 0x02000000;         // -.L
inline constexpr uint32_t kUnzipKeepReadOnly = 0x04000000;      // -R-
inline constexpr uint32_t kUnzipSkipSilently = 0x08000000;      // -.O

// The attribute bits, which type-1 unzipping sets before it reads the string.
inline constexpr uint32_t kUnzipAttributeBits = kUnzipNoHidden | kUnzipNoSystem | kUnzipNoReadOnly | kUnzipNoNormal;

// Compression level codes: 0 stores, 1 to 4 are the Deflate settings (3 the
// default), 5 to 9 the rest of the -E table.
inline constexpr uint16_t kDefaultLevel = 3;

inline constexpr size_t kPasswordSize = 128;  // 127 characters and the terminator
inline constexpr size_t kOptionLimit = 128;   // option strings are shorter than this

struct OptionSet {
    uint32_t flags = 0;  // preset by the driver (0, or kZipMultiVolume)
    uint16_t level = kDefaultLevel;
    char password[kPasswordSize] = {};
    char drive[4] = {'x', ':', '\\', '\0'};
    uint32_t dateAfter = 0;   // DOS date
    uint32_t dateBefore = 0;  // DOS date
};

// Parses a zip option string in the syntax of the parse type. The flags and
// dates keep what the caller put in; level, password and drive are reset
// first. A null or empty string is no error. kOk, kBadOption, kTooLong,
// kOptionConflict, kBadDate or kNotOnThisKind; a failed parse leaves the set as
// far as it got. The parse place is 65535 after success; after a failure it
// is the offset just past the last character read (128 for a string that is
// too long).
Result zipOptions(const char* text, OptionSet& options);

// The same for unzipping: only flags and password are touched.
Result unzipOptions(const char* text, uint32_t& flags, char (&password)[kPasswordSize]);

}  // namespace zar::frame

// Name handling: the comparison of file names as the file system makes it,
// the one that ignores case (for patterns), and splitting and joining of
// paths. '\' and '/' both count as separators.
#pragma once

#include <cstddef>
#include <string>

namespace zar::fs {

inline bool isSeparator(char c) { return c == '\\' || c == '/'; }

// True when the two OEM names name one file as the file system sees it: byte
// for byte where it tells letter case apart, else as namesEqual. For the
// file list, the update matching and the registry; never for patterns.
bool sameFileName(const char* a, const char* b);

// True when the two OEM names are equal ignoring case (both converted to the
// ANSI form and upper-cased first). For patterns, extensions and drives.
bool namesEqual(const char* a, const char* b);
// The same over the first n characters.
bool namesEqualN(const char* a, const char* b, size_t n);

// The same text in the host's (ANSI) code page, and in the one names are
// stored in (OEM).
std::string ansiForm(std::string text);
std::string oemForm(std::string text);

// The kind of path a split reads. Names stored in archives follow the DOS
// rule on every platform: "C:\dir\f" and "C:f" begin with a drive. Paths of
// this machine have drives only where platform::pathsHaveDrives() says so;
// where they have none (POSIX), ':' is an ordinary character and "a:b/f" is
// the file "f" in the directory "a:b".
enum class PathKind { Stored, Host };

// Splits a path into drive, directory, file name and extension; any output may
// be null. A path that begins with two separators is a UNC path, whose drive
// is the two separators, the server and the share. Otherwise the drive is a
// letter and colon (for a host path only where paths have drives), the
// directory runs to the last separator (kept), and the extension is the file
// name from its last '.' on (the '.' kept).
void splitPath(const char* path, std::string* drive, std::string* directory, std::string* name,
               std::string* extension, PathKind kind = PathKind::Stored);
// As splitPath, with the extension left on the name.
void splitName(const char* path, std::string* drive, std::string* directory, std::string* name,
               PathKind kind = PathKind::Stored);
// True when `path` begins with a drive letter and colon, as `kind` reads it.
bool beginsWithDrive(const std::string& path, PathKind kind);
// Concatenates the non-null parts; a '.' goes before an extension that does
// not begin with one.
std::string joinPath(const char* drive, const char* directory, const char* name, const char* extension);

}  // namespace zar::fs

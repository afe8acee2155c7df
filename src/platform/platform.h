// The platform interface: every service of the operating system that the
// library uses, in the terms of the Windows services its behaviour is written
// against. Only src/platform/ includes operating-system headers; a backend
// (posix/, win32/) implements every function declared here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zar::platform {

// ---- Files --------------------------------------------------------------

// An open file. The value doubles as the host's archive handle, so it is a
// 32-bit number; all bits set means "no file".
using FileHandle = uint32_t;
inline constexpr FileHandle kInvalidFile = 0xFFFFFFFFu;

inline constexpr uint32_t kAccessRead = 0x80000000u;
inline constexpr uint32_t kAccessWrite = 0x40000000u;
inline constexpr uint32_t kAccessReadWrite = kAccessRead | kAccessWrite;

inline constexpr uint32_t kShareNone = 0;
inline constexpr uint32_t kShareRead = 1;
inline constexpr uint32_t kShareReadWrite = 3;
// Others may delete the file while it is open (it goes when the last handle
// closes): for the library's own temporary files, so that the unload can
// remove one that a run ended by its host still holds open.
inline constexpr uint32_t kShareDelete = 4;

enum class Disposition : uint32_t {
    CreateNew = 1,         // fail when the file exists
    CreateAlways = 2,      // create, or empty an existing file
    OpenExisting = 3,      // fail when the file is missing
    OpenAlways = 4,        // open, creating the file when missing
    TruncateExisting = 5,  // open an existing file and empty it
};

enum class SeekFrom { Begin, Current, End };

// Names are byte strings; a '\' in a name is a separator like '/'.
FileHandle openFile(const char* name, uint32_t access, uint32_t share, Disposition disposition,
                    uint32_t attributes);
// Reads up to `count` bytes; false on failure. `*done` holds the bytes read.
bool readFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done);
// readFile from `offset` on. Where the system allows (POSIX) the file
// position stays where it was; elsewhere it is left past the bytes read.
bool readFileAt(FileHandle file, uint64_t offset, void* buffer, uint32_t count, uint32_t* done);
// Writes up to `count` bytes; false on failure. `*done` holds the bytes written.
bool writeFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done);
// Moves the file position; returns the new position, or -1 on failure.
int64_t seekFile(FileHandle file, int64_t offset, SeekFrom from);
// The file's size, or -1 on failure.
int64_t fileSize(FileHandle file);
// What tells one state of an open file from another: which file it is, its
// size, and when its contents or its metadata last changed, as the file
// system keeps those times (a change time cannot be set back by anyone). Two
// equal stamps taken of one handle mean that nothing changed the file in
// between, also when the handle's number now names a file opened anew.
struct FileStamp {
    uint64_t volume = 0, index = 0, size = 0;
    int64_t changed = 0, modified = 0;
    bool operator==(const FileStamp&) const = default;
};
bool fileStamp(FileHandle file, FileStamp* stamp);
// Cuts the file at its current position.
bool truncateFile(FileHandle file);
bool closeFile(FileHandle file);

bool deleteFile(const char* name);
bool copyFile(const char* from, const char* to, bool failIfExists);
// Renames `from` to `to`, replacing `to` in one step when it exists.
bool renameFile(const char* from, const char* to);
// Puts the closed file `replacement` in the place of `target`: it takes
// `target`'s permissions and attributes, its bytes are flushed to the disk,
// and it is renamed over `target` in one step. Whatever happens, `target` is
// then the old file or the new one, never a mixture. Both lie on one volume.
bool replaceFile(const char* replacement, const char* target);
bool createDirectory(const char* name);
bool removeDirectory(const char* name);

// ---- Attributes and times ------------------------------------------------

inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrVolumeLabel = 0x08;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// The DOS attribute bits of a file or directory, or kInvalidAttributes.
uint32_t fileAttributes(const char* name);
// True when `name` is an existing directory; cheaper than fileAttributes.
bool isDirectory(const char* name);
bool setFileAttributes(const char* name, uint32_t attributes);

// File times count 100-nanosecond ticks since 1 January 1601, UTC.
bool fileTime(FileHandle file, uint64_t* lastWrite);
bool setFileTime(FileHandle file, uint64_t lastWrite);
uint64_t currentFileTime();
// The last-write time of the item `name`, without opening it.
bool fileTimeOf(const char* name, uint64_t* lastWrite);

// The last-write time of the item `name` (a directory too), without opening it.
bool setFileTimeOf(const char* name, uint64_t lastWrite);

// Unix permission bits (rwx for owner, group and others: 0777), where files
// carry them; elsewhere these calls do nothing and answer false.
inline constexpr uint32_t kPermissionBits = 0777;
bool hasUnixModes();
bool setFileMode(FileHandle file, uint32_t permissions);
bool setFileModeOf(const char* name, uint32_t permissions);
// The process's file creation mask (the permission bits that creating a
// file takes away from those asked for), or kUnknownCreationMask where it
// cannot be read without changing it.
inline constexpr uint32_t kUnknownCreationMask = 0xFFFFFFFFu;
uint32_t fileCreationMask();
// For the `permissions` of the calls that create files: those that the DOS
// attributes give, as openFile does.
inline constexpr uint32_t kPermissionsFromAttributes = 0xFFFFFFFFu;

// The file version of `name`'s version resource as 8 bytes that compare as an
// unsigned byte string: the most significant 32-bit word first, each word most
// significant byte first. False when the file has no version (on POSIX, plain
// files never have one).
bool fileVersion(const char* name, uint8_t version[8]);

// A calendar time broken into fields, as the conversions below use it.
struct CalendarTime {
    uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
// UTC file time to local file time and back, through the time zone rules in
// force at that instant.
bool fileTimeToLocal(uint64_t utc, uint64_t* local);
bool localToFileTime(uint64_t local, uint64_t* utc);
bool fileTimeToCalendar(uint64_t time, CalendarTime* out);
bool calendarToFileTime(const CalendarTime& in, uint64_t* time);

// ---- Names ----------------------------------------------------------------

// True when the file system takes names that differ only in letter case for
// one file (Windows); false when it compares them byte for byte (POSIX), so
// that "README" and "readme" are two files. Everything that decides whether
// two names are one file asks this; wildcard patterns ignore case either way.
// Where names ignore case, names without long names are stored upper-cased,
// as the 8.3 names are; elsewhere a file's short name is its name and keeps
// its case.
bool namesIgnoreCase();
// True when the host's own names are UTF-8 (POSIX); false when they are in
// the host's ANSI code page (Windows). Stored names are read, and new ones
// marked, by this answer.
bool namesAreUtf8();
// The absolute form of `name` ("." and ".." folded), without touching the disk.
std::string fullPath(const char* name);
// True when a path that begins with two separators ("\\server\share\...")
// names a share on another machine. Where it does not (POSIX), such a path
// leads to this machine's root.
bool uncPathsNameShares();
// True when a path of this machine may begin with a drive ("C:\dir", "C:f");
// false where it has no drives (POSIX), so that ':' is an ordinary character
// of a file name there and "a:b" is the file "a:b". Names stored in archives
// keep their drives either way: this is about the host's own paths.
bool pathsHaveDrives();
// Conversions between the host's code page and the one names are stored in,
// in place; they are exact inverses. Upper-casing likewise in place.
void ansiToOem(char* text);
void oemToAnsi(char* text);
void upperCase(char* text);
char upperChar(char c);

// ---- Temporary files -------------------------------------------------------

// The directory for temporary files, ending in a separator; empty on failure.
std::string tempDirectory();
// Creates a new empty file with a unique name beginning with `prefix` in
// `directory` and returns its name; empty on failure.
std::string makeUniqueFile(const std::string& directory, const char* prefix);
// Creates a new directory with a unique name beginning with `prefix` in
// `directory`, which only its owner may enter (mode 0700 on POSIX), and
// returns its name; empty on failure.
std::string makeUniqueDirectory(const std::string& directory, const char* prefix);
// Creates a new empty file with a unique name beginning with `prefix` in
// `directory` and returns it open for reading and writing, its name in
// `*name`; kInvalidFile on failure. It is made to take the place of a file
// the user keeps, so unlike makeUniqueFile's owner-only files it has the DOS
// `attributes` from the start: the permissions that openFile gives a file it
// creates with them, and the other bits as setFileAttributes keeps them.
// Where files carry Unix permissions, `permissions` other than
// kPermissionsFromAttributes replace the ones the attributes give (the
// file creation mask still applies).
FileHandle createUniqueFile(const std::string& directory, const char* prefix, uint32_t attributes,
                            std::string* name, uint32_t permissions = kPermissionsFromAttributes);

// ---- Anonymous files -------------------------------------------------------
//
// A temporary file that must not outlive the process, even one killed
// outright: it is anonymous while it is written, and it goes when its handle
// is closed, however the process ends. Where the file system holds files
// without a name (Linux: O_TMPFILE), it has none, and nothing but its handle
// reaches it. A backend whose files must have a name (Windows) gives it a
// unique one beginning with `prefix`, has the system delete it when its handle
// is closed, and reports that name, which the caller then registers as it does
// the names of its other temporary files.

// The `attributes` of a private anonymous file: only its owner may read it,
// as makeUniqueFile's files.
inline constexpr uint32_t kPrivateFile = kInvalidAttributes;

// Creates a new empty anonymous file in `directory`, open for reading and
// writing, with the DOS `attributes` and `permissions` as createUniqueFile
// gives them (or kPrivateFile). `*name` is empty, or the name a backend had to give it (see
// above). Only with `toBeNamed` can the file be given a name later
// (nameAnonymousFile, replaceWithAnonymousFile). kInvalidFile where the volume
// of `directory`, or the system, holds no anonymous files (and on any other
// failure): the caller then makes a named file (makeUniqueFile,
// createUniqueFile) in their place.
FileHandle createAnonymousFile(const std::string& directory, const char* prefix, uint32_t attributes, bool toBeNamed,
                               std::string* name, uint32_t permissions = kPermissionsFromAttributes);
// Gives the anonymous file `file`, made in `directory` to be named, a new
// unique name beginning with `prefix` there, and returns it: from then on the
// file is an ordinary one that stays when its handle is closed. Empty on
// failure; the file is then still anonymous.
std::string nameAnonymousFile(FileHandle file, const std::string& directory, const char* prefix);
// The same under the name `name`, in the directory the file was made in, that
// no item may hold yet: false when one does (and on any other failure), the
// file then still anonymous.
bool linkAnonymousFile(FileHandle file, const char* name);
// replaceFile for an anonymous file: puts the complete anonymous file
// `replacement`, made in `target`'s directory to be named, in the place of
// `target`, with `target`'s permissions and attributes. Its bytes reach the
// disk before it has a name; it then gets a unique one beginning with `prefix`
// and is renamed over `target` in one step, and the directory entry is
// flushed. Whatever happens, `target` is then the old file or the new one, and
// no other name is left (but by a process killed between the naming and the
// rename, two calls apart). The handle stays open: the caller closes it. False
// when a step fails; `target` is then as it was.
bool replaceWithAnonymousFile(FileHandle replacement, const char* prefix, const char* target);
// copyFile from an open file (an anonymous one, say): its bytes from the first
// on, whatever its position, which does not move; the handle stays open.
bool copyOpenFile(FileHandle from, const char* to, bool failIfExists);

// ---- Volumes ---------------------------------------------------------------

enum class DriveType { Unknown, Removable, Fixed };

DriveType driveType(const char* path);
// Free bytes on the volume that holds `path`, capped to 32 bits.
bool freeSpace(const char* path, uint32_t* bytes);
bool volumeLabel(const char* path, std::string* label);
bool setVolumeLabel(const char* path, const char* label);

// ---- Memory ----------------------------------------------------------------

// Working memory for large buffers; null when none can be had.
void* allocateBlock(size_t size);
void freeBlock(void* block);

// ---- User interface ----------------------------------------------------------

// Message-box styles and answers, numbered as the standard message boxes are.
inline constexpr uint32_t kBoxOk = 0x0;
inline constexpr uint32_t kBoxOkCancel = 0x1;
inline constexpr uint32_t kBoxYesNoCancel = 0x3;
inline constexpr uint32_t kBoxIconQuestion = 0x20;
inline constexpr uint32_t kBoxIconExclamation = 0x30;
inline constexpr uint32_t kBoxDefaultButton2 = 0x100;

inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Shows a modal message box and returns the button chosen, or 0 when no box
// can be shown (no window system, or no terminal to ask on).
int messageBox(const char* text, const char* caption, uint32_t style);

// Lets the window system deliver the messages waiting for this thread.
void peekMessages();

// The date order of the user's locale: 0 month-day-year, 1 day-month-year,
// 2 year-month-day.
int localeDateOrder();

// ---- Faults for tests -----------------------------------------------------------

// Tests make the n-th next call of one kind fail, to reach the error paths of
// a full disk, a short read or a refused allocation. n = 1 fails the next call;
// 0 disarms. Each kind counts on its own.
// Name counts the namings of anonymous files (nameAnonymousFile,
// linkAnonymousFile and replaceWithAnonymousFile).
enum class Fault { Read, Write, Seek, Allocate, Name };
void failNthCall(Fault kind, int n);
// Tests stand in for a volume that holds no anonymous files: while refused,
// createAnonymousFile fails as it does there, and the library falls back to
// named temporary files. False restores.
void refuseAnonymousFiles(bool refuse);
// Tests answer the message boxes themselves: while an override is set,
// messageBox() calls it instead of asking on the terminal. Null restores the
// terminal.
using DialogOverride = int (*)(const char* text, const char* caption, uint32_t style);
void setDialogOverride(DialogOverride dialog);

// ---- Directory search ---------------------------------------------------------

// Set, with the directory bit, on a directory that is a junction to another
// place, which walks leave alone: a walk that followed the directory bit alone
// would never end on a loop. The POSIX search never sets it: it follows
// symbolic links and says so in the FoundItem, with the identity that lets a
// walk see a loop for itself.
inline constexpr uint32_t kAttrReparsePoint = 0x400;

// What a file or directory is on its volume, whatever path leads to it: two
// items with equal identities are one (the volume's serial number and the
// file index on Windows, the device and inode numbers on POSIX). All zeros
// when the backend cannot tell.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool known() const { return volume != 0 || index != 0; }
    bool operator==(const FileIdentity&) const = default;
};

// One item a directory search reports.
struct FoundItem {
    std::string name;       // the (long) name, without its directory
    std::string shortName;  // the 8.3 name; empty when the item has none
    uint32_t attributes = 0;
    uint64_t size = 0;
    uint64_t lastWrite = 0;  // UTC file time
    uint32_t mode = 0;       // the Unix mode (type and permission bits); 0 where files have none
    FileIdentity identity;   // of what the item leads to: a link's target
    // A symbolic link, followed: the other fields describe its target.
    bool link = false;
    // A symbolic link that cannot be followed (its target is missing, or out
    // of reach): reported so that it is not passed over unseen. Name and
    // attributes describe the link itself; size, time and identity are zero.
    bool brokenLink = false;
};

// A search in progress; only the backend knows what it holds.
struct Search;

// Starts a search for `pattern`, a path whose last component may hold '*' and
// '?' and is matched ignoring case, and reports the first item found. Null when
// nothing matches or the directory cannot be read. "." and ".." are never
// reported. The caller ends every search it started with findClose.
Search* findFirstFile(const char* pattern, FoundItem* item);
// The next item; false when the search has run out.
bool findNextFile(Search* search, FoundItem* item);
void findClose(Search* search);

// The identities of the directory `name` and of each directory above it as
// the file system itself climbs (a link in `name` leads to its target, whose
// parents follow), from `name` up to the root of the file system. Empty when
// `name` is no directory; it stops short where a parent is out of reach.
std::vector<FileIdentity> directoryAncestry(const char* name);

// ---- Drives --------------------------------------------------------------------

// The letter of the current drive ('A' for the first).
char currentDriveLetter();

// ---- Unload ----------------------------------------------------------------------

// Hands the backend the library's clean-up for the moment the process unloads
// it. Where the system tells a library so (Windows: DllMain at process
// detach) the backend calls `handler` then, before the library's static
// objects go; elsewhere this does nothing, and the caller's static destructor
// does the work. The handler may run twice: once is enough for it.
void onUnload(void (*handler)());

// Tests stand in for the user's locale: while an override of 0 or more is set,
// localeDateOrder() answers it; a negative value restores the locale.
void setDateOrderOverride(int order);

}  // namespace zar::platform

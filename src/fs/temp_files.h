// The library's temporary files and the registry that remembers them (and the
// archives that are open), so that file selection never picks them up. The
// registry's text is one string of full paths, each in double quotes,
// separated by one blank; it is absent (empty) when nothing is registered.
// Lookups go by the paths themselves, so a name that holds a '"' is found.
#pragma once

#include <string>

#include "frame/result.h"
#include "platform/platform.h"

namespace zar::fs {

// Makes a new empty file with the prefix "AZR" in `directory` (empty: the
// temporary directory) and registers it. Returns its name, empty on failure.
// The caller unregisters and deletes it when done (TempFile does both).
std::string makeTempFile(const std::string& directory = "");

// Adds the full path of `name`: kOk, kPathNotFound for an empty name, kNoMemory.
Result registerTempFile(const char* name);
// Removes every entry equal to the full path of `name` (compared as the file
// system compares names, see sameFileName); an unknown name leaves the
// registry as it was. kOk or kNoMemory.
Result unregisterTempFile(const char* name);
// True when the full path of `name` is registered: where case tells names
// apart, "A.ZIP" is not the registered "a.zip".
bool isRegisteredTempFile(const char* name);
// Deletes every file the registry still names and empties it: what a run left
// that never returned (its host ended the process from a report). Open
// archives are registered too, so this is for the unload, once none is open.
void removeLeftoverTempFiles();
// The registry text itself.
const std::string& tempRegistry();

// A temporary file of the library's, gone on every exit path. A named one is
// registered while it lasts. One made open (makeScratch, makeOpen) is
// anonymous where the system allows (see platform::createAnonymousFile), so
// that not even a killed process leaves it behind, and a registered named file
// elsewhere; the TempFile owns its handle either way.
class TempFile {
public:
    TempFile() = default;
    // A named, registered file, not open.
    static TempFile make(const std::string& directory = "") { return TempFile(makeTempFile(directory)); }
    // A file open for reading and writing in `directory` (empty: the
    // temporary directory) that only its owner may read, as make()'s; named
    // and registered only where it cannot be anonymous. With `toBeNamed` it
    // may be put in another file's place later (replace, renameTo). Invalid
    // on failure.
    static TempFile makeScratch(const std::string& directory = "", bool toBeNamed = false);
    // A file open for writing in `directory` (empty: the current directory),
    // to be renamed over another file there (renameTo). It has the DOS
    // `attributes` from the start (see platform::createUniqueFile), not the
    // owner-only permissions of make(). `fullDirectory`, when given, holds
    // platform::fullPath(directory) or is empty; it is worked out there only
    // when a named file is to be registered, so that a caller making many
    // files in one directory asks for it at most once. `permissions` as
    // platform::createUniqueFile takes them. Invalid on failure.
    static TempFile makeOpen(const std::string& directory, std::string* fullDirectory, uint32_t attributes,
                             uint32_t permissions = platform::kPermissionsFromAttributes);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    ~TempFile() { remove(); }

    bool valid() const { return !name_.empty() || file_ != platform::kInvalidFile; }
    // The name; empty for a file that has none.
    const std::string& name() const { return name_; }
    // The open handle, or kInvalidFile (make()'s files, and after close()).
    platform::FileHandle file() const { return file_; }
    // True for a file made anonymous: closing its handle ends it.
    bool anonymous() const { return anonymous_; }
    // The directory a file made open lies in, as it was given (the temporary
    // directory's name for an empty one).
    const std::string& directory() const { return directory_; }
    // Closes the handle; an anonymous file goes with it.
    void close();
    // Closes, unregisters and deletes the file now.
    void remove();
    // Gives up ownership of a named file: it stays, still registered, closed.
    // Empty for an anonymous file, which is removed.
    std::string release();
    // Renames the file to `target` (a name in the file system's form),
    // replacing a file there in one step, and closes it: it is then no
    // temporary file any more. An anonymous file (made to be named, in
    // `target`'s directory) takes the name `target` itself where nothing
    // stands yet; else it gets a name of its own the moment before. False on
    // failure; the file is then still owned (an anonymous one that was named
    // loses the name again).
    bool renameTo(const char* target);
    // Gives an anonymous file the name `target` where nothing stands under
    // it, and closes it, as renameTo does. False, with the file still owned,
    // when something stands there, on any other failure, and for a named
    // file: such a name is only ever taken over by renameTo.
    bool linkNew(const char* target);
    // The same with platform::replaceFile's guarantees (or
    // replaceWithAnonymousFile's), for a complete file in `target`'s
    // directory: `target`'s permissions and attributes, the bytes on the
    // disk, one rename. False on failure; the file is then still owned.
    bool replace(const char* target);
    // Copies the file's bytes over `target` (as platform::copyFile); the file
    // stays a temporary file, open when it was.
    bool copyTo(const char* target);

private:
    explicit TempFile(std::string name, std::string registered = {})
        : name_(std::move(name)), registered_(std::move(registered)) {}
    void unregister() const { unregisterTempFile((registered_.empty() ? name_ : registered_).c_str()); }
    void clear();
    // The file now stands under another name and is no temporary file: its
    // handle is closed and its registration ends.
    void handedOver();
    // An anonymous file as platform::createAnonymousFile made it: registered
    // when the system gave it a name. Invalid on failure.
    static TempFile makeAnonymous(const std::string& directory, uint32_t attributes, bool toBeNamed,
                                  uint32_t permissions = platform::kPermissionsFromAttributes);
    std::string name_;
    std::string registered_;  // the full path it is registered by, when known; else name_ is looked up
    std::string directory_;   // for a file made open
    platform::FileHandle file_ = platform::kInvalidFile;
    bool anonymous_ = false;
};

}  // namespace zar::fs

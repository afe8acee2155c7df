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
// The registry text itself.
const std::string& tempRegistry();

// A registered temporary file that is unregistered and deleted on every exit path.
class TempFile {
public:
    TempFile() = default;
    static TempFile make(const std::string& directory = "") { return TempFile(makeTempFile(directory)); }
    // Makes a new file with the prefix "AZR" in `directory` (empty: the
    // current directory) to be renamed over another file there, registers it
    // and hands it open for writing in `*file`. It has the DOS `attributes`
    // from the start (see platform::createUniqueFile), not the owner-only
    // permissions of make(). `fullDirectory` is
    // platform::fullPath(directory), or empty to have it worked out: a caller
    // that makes many files in one directory works it out once. The caller
    // closes `*file`
    // before the TempFile goes. Invalid, with kInvalidFile, on failure.
    static TempFile makeOpen(const std::string& directory, const std::string& fullDirectory, uint32_t attributes,
                             platform::FileHandle* file);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    TempFile(TempFile&& other) noexcept
        : name_(std::move(other.name_)), registered_(std::move(other.registered_)) {
        other.name_.clear();
        other.registered_.clear();
    }
    TempFile& operator=(TempFile&& other) noexcept;
    ~TempFile() { remove(); }

    bool valid() const { return !name_.empty(); }
    const std::string& name() const { return name_; }
    // Unregisters and deletes the file now.
    void remove();
    // Gives up ownership: the file stays, still registered.
    std::string release();
    // Renames the closed file to `target` (a name in the file system's form),
    // replacing a file there in one step, and unregisters it: it is then no
    // temporary file any more. False when the rename fails; the file is then
    // still owned.
    bool renameTo(const char* target);

private:
    explicit TempFile(std::string name, std::string registered = {})
        : name_(std::move(name)), registered_(std::move(registered)) {}
    void unregister() const { unregisterTempFile((registered_.empty() ? name_ : registered_).c_str()); }
    std::string name_;
    std::string registered_;  // the full path it is registered by, when known; else name_ is looked up
};

}  // namespace zar::fs
